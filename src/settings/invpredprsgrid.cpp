#include "settings/invpredprsgrid.h"

#include "settings/invpredprsmessages.h"
#include "settings/invpredprsmodel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPersistentModelIndex>
#include <QScopedValueRollback>

#include <numeric>

namespace eschf {

namespace {

const QString refusalHint = QStringLiteral("Исправьте строку или отмените её изменения клавишей Esc.");

// The indicator column of a data-aware grid: marks the current row and whether it is being edited.
class RowIndicator : public QHeaderView
{
public:
    explicit RowIndicator(InvPredprsGrid* grid) : QHeaderView(Qt::Vertical, grid), m_grid(grid)
    {
        setSectionsClickable(false);
        setSectionResizeMode(QHeaderView::Fixed);
    }

    QSize sizeHint() const override
    {
        return {std::max(12, fontMetrics().height()), QHeaderView::sizeHint().height()};
    }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override
    {
        painter->save();
        QHeaderView::paintSection(painter, rect, logicalIndex);
        painter->restore();
        if (logicalIndex != m_grid->currentIndex().row())
            return;
        const InvPredprsModel* model = m_grid->gridModel();
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(palette().color(QPalette::WindowText));
        if (model->isEditing(logicalIndex)) {
            QFont bold = font();
            bold.setBold(true);
            painter->setFont(bold);
            painter->drawText(rect, Qt::AlignCenter,
                              model->isInserting() ? QStringLiteral("*") : QStringLiteral("I"));
        } else {
            const int size = std::max(4, std::min(rect.width(), rect.height()) / 2);
            const QPointF centre = QRectF(rect).center();
            const QPolygonF triangle({{centre.x() - size / 3.0, centre.y() - size / 2.0},
                                      {centre.x() + size * 2.0 / 3.0 - size / 3.0, centre.y()},
                                      {centre.x() - size / 3.0, centre.y() + size / 2.0}});
            painter->setBrush(palette().color(QPalette::WindowText));
            painter->drawPolygon(triangle);
        }
        painter->restore();
    }

private:
    InvPredprsGrid* m_grid;
};

} // namespace

InvPredprsGrid::InvPredprsGrid(InvPredprsModel* model, QWidget* parent) : QTableView(parent), m_model(model)
{
    setVerticalHeader(new RowIndicator(this));
    setModel(model);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWordWrap(false);
    setCornerButtonEnabled(false);

    QHeaderView* columns = horizontalHeader();
    columns->setSectionsClickable(false); // no sorting: the order is the query's
    columns->setHighlightSections(false);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setStretchLastSection(false);
    columns->setMinimumSectionSize(fontMetrics().averageCharWidth() * 2);
    columns->setDefaultAlignment(Qt::AlignCenter);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);

    const int defaultWidth = columns->defaultSectionSize();
    setDesignedWidths({defaultWidth, defaultWidth, 156});
    connect(columns, &QHeaderView::sectionResized, this,
            [this](int section, int, int newSize) { keepFitAfterDrag(section, newSize); });
    // The indicator follows edits that begin or end without the cursor moving.
    connect(model, &QAbstractItemModel::headerDataChanged, verticalHeader()->viewport(),
            qOverload<>(&QWidget::update));
}

void InvPredprsGrid::setDesignedWidths(const std::array<int, 3>& widths)
{
    for (std::size_t i = 0; i < widths.size(); ++i)
        m_designedWidths.at(i) = std::max(1, widths.at(i));
    fitColumns();
}

void InvPredprsGrid::fitColumns()
{
    const int total = viewport()->width();
    const double designed = std::accumulate(m_designedWidths.begin(), m_designedWidths.end(), 0.0);
    if (total <= 0 || designed <= 0)
        return;
    QScopedValueRollback guard(m_fitting, true);
    // Cumulative rounding, so that the widths add up to the viewport exactly.
    double sum = 0;
    int left = 0;
    for (int section = 0; section < static_cast<int>(m_designedWidths.size()); ++section) {
        sum += m_designedWidths.at(section);
        const int right = qRound(total * sum / designed);
        horizontalHeader()->resizeSection(section, right - left);
        left = right;
    }
}

// A column the operator drags takes its width from the last one; the proportions that result are
// kept for the next fitting.
void InvPredprsGrid::keepFitAfterDrag(int section, int newSize)
{
    if (m_fitting)
        return;
    QHeaderView* columns = horizontalHeader();
    const int last = columns->count() - 1;
    if (section < last) {
        int others = 0;
        for (int i = 0; i < last; ++i)
            others += columns->sectionSize(i);
        const int room = viewport()->width() - others;
        QScopedValueRollback guard(m_fitting, true);
        if (room < columns->minimumSectionSize())
            columns->resizeSection(section, newSize - (columns->minimumSectionSize() - room));
        int used = 0;
        for (int i = 0; i < last; ++i)
            used += columns->sectionSize(i);
        columns->resizeSection(last, viewport()->width() - used);
        for (int i = 0; i <= last; ++i)
            m_designedWidths.at(i) = columns->sectionSize(i);
    } else {
        fitColumns();
    }
}

void InvPredprsGrid::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    fitColumns();
}

// The text of an open cell editor goes into the row before the row is posted or the cursor moves.
void InvPredprsGrid::commitOpenEditor()
{
    closeOpenEditor(true);
}

void InvPredprsGrid::closeOpenEditor(bool commit)
{
    if (state() != QAbstractItemView::EditingState)
        return;
    const QList<QWidget*> children = viewport()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* editor : children) {
        if (editor->isHidden()) // an editor already released, waiting for deletion
            continue;
        if (commit)
            commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void InvPredprsGrid::showRefusal(const RowRefused& refused)
{
    invpredprs::ask(this, invpredprs::Ask::Error, refused.message() + QStringLiteral("\n\n") + refusalHint);
}

bool InvPredprsGrid::postEditRow()
{
    commitOpenEditor();
    if (m_model->editRow() < 0)
        return true;
    try {
        m_model->post();
        return true;
    } catch (const RowRefused& refused) {
        showRefusal(refused);
        const int row = m_model->editRow();
        const int column = refused.column() >= 0 ? refused.column() : std::max(0, currentIndex().column());
        QScopedValueRollback guard(m_restoringCursor, true);
        setCurrentIndex(m_model->index(row, column));
        return false;
    }
}

bool InvPredprsGrid::postBeforeClose()
{
    commitOpenEditor();
    if (m_model->editRow() < 0)
        return true;
    try {
        m_model->post();
        return true;
    } catch (const RowRefused& refused) {
        const bool drop =
            invpredprs::ask(this, invpredprs::Ask::Question,
                            refused.message() + QStringLiteral("\n\nЗакрыть окно, не сохраняя эту строку?"));
        if (drop) {
            m_model->cancel();
            return true;
        }
        const int column = refused.column() >= 0 ? refused.column() : std::max(0, currentIndex().column());
        QScopedValueRollback guard(m_restoringCursor, true);
        setCurrentIndex(m_model->index(m_model->editRow(), column));
        return false;
    }
}

bool InvPredprsGrid::hasEmptyNewRowAtCursor() const
{
    return m_model->isInserting() && !m_model->isModified() && currentIndex().row() == m_model->editRow();
}

void InvPredprsGrid::insertRowAt(int row)
{
    const int column = std::max(0, currentIndex().column());
    m_model->insertNewRow(row);
    if (m_model->editRow() == row)
        setCurrentIndex(m_model->index(row, column));
}

void InvPredprsGrid::insertRowBeforeCurrent()
{
    if (m_model->isReadOnly() || hasEmptyNewRowAtCursor())
        return;
    const QPersistentModelIndex current = currentIndex();
    if (!postEditRow())
        return;
    insertRowAt(current.isValid() ? current.row() : 0);
}

void InvPredprsGrid::appendRow()
{
    if (m_model->isReadOnly() || hasEmptyNewRowAtCursor())
        return;
    if (!postEditRow())
        return;
    insertRowAt(m_model->rowCount());
}

void InvPredprsGrid::deleteCurrentRow()
{
    commitOpenEditor();
    const QModelIndex current = currentIndex();
    if (m_model->isReadOnly() || !current.isValid())
        return;
    if (m_model->editRow() >= 0 && m_model->editRow() != current.row() && !postEditRow())
        return;
    if (!invpredprs::ask(this, invpredprs::Ask::Question, QStringLiteral("Удалить запись?")))
        return;
    try {
        m_model->deleteRow(current.row());
    } catch (const Error& error) {
        invpredprs::ask(this, invpredprs::Ask::Error,
                        QStringLiteral("Запись не удалена: %1").arg(error.message()));
    }
}

void InvPredprsGrid::cancelEdit()
{
    closeOpenEditor(false);
    const int row = m_model->editRow();
    if (row < 0)
        return;
    const bool wasNew = m_model->isInserting();
    const int column = std::max(0, currentIndex().column());
    m_model->cancel();
    // Back to the row the new one was inserted before.
    if (wasNew && row < m_model->rowCount())
        setCurrentIndex(m_model->index(row, column));
}

void InvPredprsGrid::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const int lastRow = m_model->rowCount() - 1;
    switch (event->key()) {
    case Qt::Key_Insert:
        if (modifiers == Qt::NoModifier) {
            insertRowBeforeCurrent();
            event->accept();
            return;
        }
        break;
    case Qt::Key_Down:
        if (modifiers == Qt::NoModifier && (lastRow < 0 || currentIndex().row() == lastRow)) {
            appendRow();
            event->accept();
            return;
        }
        break;
    case Qt::Key_Delete:
        if (modifiers == Qt::ControlModifier) {
            deleteCurrentRow();
            event->accept();
            return;
        }
        break;
    case Qt::Key_Escape:
        // Kept from the window: Esc cancels an edit here, it does not close anything.
        cancelEdit();
        event->accept();
        return;
    default:
        break;
    }
    QTableView::keyPressEvent(event);
}

QModelIndex InvPredprsGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    const QPersistentModelIndex target = QTableView::moveCursor(cursorAction, modifiers);
    const int editRow = m_model->editRow();
    if (editRow < 0 || !target.isValid() || target.row() == editRow)
        return target;
    if (!postEditRow())
        return currentIndex();
    return target; // still the row meant, if posting dropped an empty new row above it
}

void InvPredprsGrid::mousePressEvent(QMouseEvent* event)
{
    const QPersistentModelIndex target = indexAt(event->position().toPoint());
    commitOpenEditor();
    const int editRow = m_model->editRow();
    if (editRow < 0 || !target.isValid() || target.row() == editRow) {
        QTableView::mousePressEvent(event);
        return;
    }
    event->accept();
    if (postEditRow() && target.isValid())
        setCurrentIndex(target);
}

void InvPredprsGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    verticalHeader()->viewport()->update();
    const int editRow = m_model->editRow();
    if (m_restoringCursor || editRow < 0 || !current.isValid() || current.row() == editRow)
        return;
    // The row in editing was left some other way than by the keys or the mouse.
    postEditRow();
}

} // namespace eschf
