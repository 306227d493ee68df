#include "app/loglinedelegate.h"

#include <QListWidget>

#include <algorithm>

namespace eschf {

LogLineDelegate::LogLineDelegate(QListWidget* list) : QStyledItemDelegate(list), m_list(list)
{
    const QAbstractItemModel* const model = list->model();
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { measureRows(first, last); });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                measureRows(topLeft.row(), bottomRight.row());
            });
    connect(model, &QAbstractItemModel::modelReset, this, [this] { m_widest = 0; });
}

// A line that grows narrower keeps the width it had: the list only ever scrolls further.
void LogLineDelegate::measureRows(int first, int last)
{
    const QFontMetrics metrics = m_list->fontMetrics();
    for (int row = first; row <= last; ++row) {
        if (const QListWidgetItem* const line = m_list->item(row))
            m_widest = std::max(m_widest, metrics.horizontalAdvance(line->text()));
    }
}

// The style's own measure of the sample line, widened by what the widest text needs more.
QSize LogLineDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const int sampleText = m_list->fontMetrics().horizontalAdvance(index.data().toString());
    size.setWidth(std::max(size.width(), size.width() - sampleText + m_widest));
    return size;
}

} // namespace eschf
