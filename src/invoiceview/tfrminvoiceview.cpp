#include "invoiceview/tfrminvoiceview.h"

#include "data/error.h"
#include "data/tdm.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// A cell wider than this many average characters wraps its text and shows it whole as a tooltip.
constexpr int kWidestColumnChars = 40;
// An invoice names a handful of parties: all of them are in sight at once.
constexpr int kPartiesShownWhole = 8;

const QColor kMarkedBackground(255, 226, 222);
const QColor kMarkedText(150, 0, 0);

// A read-only grid whose selected cells Ctrl+C (and Ctrl+Insert) copies: a row a line, TAB between
// cells, as a spreadsheet pastes them.
class ViewGrid : public QTableWidget
{
public:
    using QTableWidget::QTableWidget;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        const bool copy = event->matches(QKeySequence::Copy) ||
                          (event->key() == Qt::Key_Insert && event->modifiers() == Qt::ControlModifier);
        if (!copy) {
            QTableWidget::keyPressEvent(event);
            return;
        }
        QModelIndexList cells = selectionModel()->selectedIndexes();
        if (cells.isEmpty() && currentIndex().isValid())
            cells.append(currentIndex());
        std::sort(cells.begin(), cells.end());
        QString text;
        int row = cells.isEmpty() ? 0 : cells.front().row();
        for (qsizetype i = 0; i < cells.size(); ++i) {
            if (i > 0)
                text += cells.at(i).row() != row ? u'\n' : u'\t';
            row = cells.at(i).row();
            text += cells.at(i).data().toString();
        }
        QGuiApplication::clipboard()->setText(text);
    }
};

QLabel* wrappingLabel(const QString& text, QWidget* parent)
{
    auto* const label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    return label;
}

QString outcomeText(const std::optional<eschf::FileResult>& result)
{
    if (!result)
        return QStringLiteral("Файл ещё не загружался");
    return QStringLiteral("Итог: %1 — %2")
        .arg(eschf::outcomeLetter(result->outcome), eschf::outcomeWords(*result));
}

// The grid's height that shows its header and up to rows rows whole.
int heightOfRows(const QTableWidget* grid, int rows)
{
    int height = grid->horizontalHeader()->sizeHint().height() + 2 * grid->frameWidth();
    for (int row = 0; row < std::min(rows, grid->rowCount()); ++row)
        height += grid->rowHeight(row);
    return height;
}

QWidget* titled(const QString& title, QWidget* content, QWidget* parent)
{
    auto* const box = new QGroupBox(title, parent);
    auto* const layout = new QVBoxLayout(box);
    layout->addWidget(content);
    return box;
}

} // namespace

TfrmInvoiceView::TfrmInvoiceView(eschf::InvoiceView view, QWidget* owner)
    : QDialog(owner), m_view(std::move(view))
{
    setObjectName(QStringLiteral("frmInvoiceView"));
    setWindowTitle(QStringLiteral("ЭСЧФ — %1").arg(QFileInfo(m_view.filePath).fileName()));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    createControls();
    placeOnScreen();
    selectFailure();
}

TfrmInvoiceView* TfrmInvoiceView::showFor(eschf::TDM& dm, const QString& ownUnn, const QString& filePath,
                                          const std::optional<eschf::FileResult>& result, QWidget* owner)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    eschf::InvoiceView view = eschf::readInvoiceView(dm, ownUnn, filePath, result);
    QApplication::restoreOverrideCursor();
    auto* const form = new TfrmInvoiceView(std::move(view), owner);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->show();
    return form;
}

void TfrmInvoiceView::createControls()
{
    auto* const layout = new QVBoxLayout(this);
    OutcomeLbl = wrappingLabel(outcomeText(m_view.result), this);
    OutcomeLbl->setObjectName(QStringLiteral("OutcomeLbl"));
    QFont bold = OutcomeLbl->font();
    bold.setBold(true);
    OutcomeLbl->setFont(bold);
    const QString reason = m_view.result ? m_view.result->reason : QString();
    ReasonLbl = wrappingLabel(reason, this);
    ReasonLbl->setObjectName(QStringLiteral("ReasonLbl"));
    ReasonLbl->setVisible(!reason.isEmpty());
    layout->addWidget(OutcomeLbl);
    layout->addWidget(ReasonLbl);
    layout->addWidget(
        wrappingLabel(QStringLiteral("Файл: %1").arg(QDir::toNativeSeparators(m_view.filePath)), this));

    if (!m_view.unreadable.isEmpty()) {
        auto* const unreadable =
            wrappingLabel(QStringLiteral("ЭСЧФ не читается: %1").arg(m_view.unreadable), this);
        unreadable->setObjectName(QStringLiteral("UnreadableLbl"));
        layout->addWidget(unreadable);
        layout->addStretch(1);
    } else {
        HeadGrid = createGrid(m_view.head, "HeadGrid", true);
        DocumentGrid = createGrid(m_view.document, "DocumentGrid", true);
        TotalsGrid = createGrid(m_view.totals, "TotalsGrid", true);
        PartiesGrid = createGrid(m_view.parties, "PartiesGrid", false);
        PartiesGrid->setMinimumHeight(heightOfRows(PartiesGrid, kPartiesShownWhole));
        ItemsGrid = createGrid(m_view.items, "ItemsGrid", false);
        // It scrolls sideways: a stretched last column would keep changing the width to scroll.
        ItemsGrid->horizontalHeader()->setStretchLastSection(false);

        auto* const top = new QWidget(this);
        auto* const topLayout = new QHBoxLayout(top);
        topLayout->setContentsMargins(0, 0, 0, 0);
        topLayout->addWidget(titled(m_view.head.title, HeadGrid, top), 0, Qt::AlignTop);
        auto* const right = new QVBoxLayout;
        right->addWidget(titled(m_view.document.title, DocumentGrid, top));
        right->addWidget(titled(m_view.totals.title, TotalsGrid, top));
        right->addStretch(1);
        topLayout->addLayout(right);
        topLayout->addStretch(1);

        auto* const splitter = new QSplitter(Qt::Vertical, this);
        splitter->setChildrenCollapsible(false);
        splitter->addWidget(top);
        splitter->addWidget(titled(m_view.parties.title, PartiesGrid, splitter));
        splitter->addWidget(titled(m_view.items.title, ItemsGrid, splitter));
        splitter->setStretchFactor(0, 0);
        splitter->setStretchFactor(1, 1);
        splitter->setStretchFactor(2, 2);
        layout->addWidget(splitter, 1);
    }

    auto* const buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("Закрыть"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);
}

QTableWidget* TfrmInvoiceView::createGrid(const eschf::ViewTable& table, const char* name, bool fitRows)
{
    auto* const grid = new ViewGrid(int(table.rows.size()), int(table.columns.size()), this);
    grid->setObjectName(QLatin1String(name));
    grid->setHorizontalHeaderLabels(table.columns);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid->verticalHeader()->hide();
    grid->setWordWrap(true);
    grid->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    grid->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    for (int row = 0; row < table.rows.size(); ++row) {
        const QList<eschf::ViewCell>& cells = table.rows.at(row);
        for (int column = 0; column < cells.size(); ++column) {
            auto* const item = new QTableWidgetItem(cells.at(column).text);
            item->setToolTip(cells.at(column).text);
            if (cells.at(column).marked) {
                item->setBackground(kMarkedBackground);
                item->setForeground(kMarkedText);
            }
            grid->setItem(row, column, item);
        }
    }
    grid->resizeColumnsToContents();
    const int widest = grid->fontMetrics().averageCharWidth() * kWidestColumnChars;
    for (int column = 0; column < grid->columnCount(); ++column)
        grid->setColumnWidth(column, std::min(grid->columnWidth(column), widest));
    grid->resizeRowsToContents();
    grid->horizontalHeader()->setStretchLastSection(true);
    if (fitRows) {
        grid->setFixedHeight(heightOfRows(grid, grid->rowCount()));
        grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        int width = 2 * grid->frameWidth();
        for (int column = 0; column < grid->columnCount(); ++column)
            width += grid->columnWidth(column);
        grid->setMinimumWidth(width);
    }
    return grid;
}

QTableWidget* TfrmInvoiceView::grid(eschf::ViewSection section) const
{
    switch (section) {
    case eschf::ViewSection::Head:
        return HeadGrid;
    case eschf::ViewSection::Parties:
        return PartiesGrid;
    case eschf::ViewSection::Items:
        return ItemsGrid;
    case eschf::ViewSection::Totals:
        return TotalsGrid;
    case eschf::ViewSection::Document:
        return DocumentGrid;
    }
    return nullptr;
}

void TfrmInvoiceView::selectFailure()
{
    if (!m_view.selected)
        return;
    QTableWidget* const target = grid(m_view.selected->section);
    if (!target)
        return;
    target->setCurrentCell(m_view.selected->row, m_view.selected->column);
}

void TfrmInvoiceView::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_view.selected)
        return;
    if (QTableWidget* const target = grid(m_view.selected->section)) {
        target->setFocus();
        // Once the layout has given the grid its size: before, every cell lies off its viewport.
        QTimer::singleShot(0, target, [target] {
            target->horizontalScrollBar()->setValue(0);
            target->scrollToItem(target->currentItem(), QAbstractItemView::EnsureVisible);
        });
    }
}

// As wide as the items need, within the screen, and centred on it.
void TfrmInvoiceView::placeOnScreen()
{
    const QRect available = screen()->availableGeometry();
    int wanted = sizeHint().width();
    if (ItemsGrid) {
        int items = 2 * ItemsGrid->frameWidth() + 4 * style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
        for (int column = 0; column < ItemsGrid->columnCount(); ++column)
            items += ItemsGrid->columnWidth(column);
        wanted = std::max(wanted, items);
    }
    const QSize size(std::min(wanted, available.width() * 9 / 10),
                     ItemsGrid ? available.height() * 17 / 20 : sizeHint().height());
    resize(size);
    QRect frame = frameGeometry();
    frame.moveCenter(available.center());
    move(frame.topLeft());
}
