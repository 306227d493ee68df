#pragma once

#include <QStyledItemDelegate>

class QListWidget;

namespace eschf {

// Gives every line of the log list the width of its widest line. The list measures one line for
// all (thousands of lines are laid out again each time a run rewrites one); with this width it
// scrolls sideways to the end of every line, during a run too, and cuts none short.
class LogLineDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    // Parented to list, whose model it follows from now on.
    explicit LogLineDelegate(QListWidget* list);

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    void measureRows(int first, int last);

    QListWidget* m_list;
    int m_widest = 0; // of the lines' texts
};

} // namespace eschf
