#pragma once

#include <QTableView>

#include <array>

namespace eschf {

class InvPredprsModel;
class RowRefused;

// The editable grid of branch redirections, behaving as a data-aware grid does: the row in editing
// is posted when the cursor leaves it (keys, mouse or any other change of the current row), and a
// refused row keeps the cursor. Insert adds a row before the current one, Down on the last row
// appends one, Ctrl+Delete deletes the current row after a question, Esc cancels the row's edit
// (the first Esc in an open cell only that cell's). A row indicator marks the current row: a
// triangle, "I" while a stored row is being changed, "*" for a new row. The column widths always
// fill the grid's width, in proportion to their designed widths.
class InvPredprsGrid : public QTableView
{
    Q_OBJECT
public:
    explicit InvPredprsGrid(InvPredprsModel* model, QWidget* parent = nullptr);

    InvPredprsModel* gridModel() const { return m_model; }

    // Widths the columns are fitted from; the last is the third column's designed width.
    void setDesignedWidths(const std::array<int, 3>& widths);

    // Posts the row in editing. A refusal is shown to the operator, the cursor put on the cell to
    // correct, and false returned.
    bool postEditRow();
    // Before the window closes: posts the row in editing; a refused row is dropped only when the
    // operator says so. False keeps the window open.
    bool postBeforeClose();

    // The keyboard commands, as the keys give them.
    void insertRowBeforeCurrent();
    void appendRow();
    void deleteCurrentRow();
    void cancelEdit();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitColumns();
    void keepFitAfterDrag(int section, int newSize);
    void commitOpenEditor();
    void closeOpenEditor(bool commit);
    bool hasEmptyNewRowAtCursor() const;
    void insertRowAt(int row);
    void showRefusal(const RowRefused& refused);

    InvPredprsModel* m_model;
    std::array<double, 3> m_designedWidths{};
    bool m_fitting = false;
    bool m_restoringCursor = false;
};

} // namespace eschf
