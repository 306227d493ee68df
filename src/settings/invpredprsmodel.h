#pragma once

#include "data/error.h"

#include <QAbstractTableModel>
#include <QString>
#include <QVariant>

#include <array>
#include <optional>
#include <vector>

namespace eschf {

class TDM;

// A row the table would not take: the message says what is wrong; column is the cell to correct
// (-1 when no single cell is to blame).
class RowRefused : public Error
{
public:
    RowRefused(QString message, int column) : Error(std::move(message)), m_column(column) {}
    int column() const { return m_column; }

private:
    int m_column;
};

// The rows of invPredprs as the branch redirection grid edits them, in the manner of a data-aware
// grid over an editable query: one row at a time is in editing, its typed texts kept apart from
// the stored values until the row is posted. A post writes that one row, identified by the
// (unn, dopUnn) it was read with, and makes sure exactly one row of the table was hit; a refused
// row stays in editing with the operator's texts as typed. Rows keep their places after a post:
// the order of the query returns only with the next reload.
//
// QSqlTableModel is not used: it takes any number of rows hit by an update or delete as success,
// and it cannot keep a text that does not fit an integer column while the row stays in editing.
class InvPredprsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        Unn,
        DopUnn,
        NewDopUnn,
        ColumnCount
    };
    static constexpr int unnMaxLength = 20;

    explicit InvPredprsModel(TDM& dm, QObject* parent = nullptr);

    // Reads the table again through qSelectInvPredprs, dropping any edit. On failure throws the
    // database layer's Error and leaves the model empty and read-only.
    void reload();
    bool isReadOnly() const { return m_readOnly; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Puts the text into the row being edited; starts editing the row when none is. Refused for a
    // row other than the one in editing: that one has to be posted or cancelled first.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The stored row of the redirection of unn's branch dopUnn, or -1.
    int rowOf(const QString& unn, int dopUnn) const;

    // The row in editing, or -1.
    int editRow() const { return m_edit ? m_edit->row : -1; }
    bool isEditing(int row) const { return m_edit && m_edit->row == row; }
    // The row in editing is new: not yet in the table.
    bool isInserting() const { return m_edit && m_edit->isNew; }
    bool isModified() const { return m_edit && m_edit->modified; }

    // A new empty row at position row (rowCount() appends), in editing. Only while no row is.
    void insertNewRow(int row);
    // Writes the row in editing to the table and ends the edit. A new row nothing was typed into
    // is dropped; an unchanged row only leaves editing. Throws RowRefused, the row left in editing.
    void post();
    // Drops the edit: a new row goes away, a stored row shows its stored values again.
    void cancel();
    // Deletes the row from the table (a new row is only dropped). Throws Error, the row left as it was.
    void deleteRow(int row);

private:
    struct Row
    {
        std::array<QVariant, ColumnCount> values; // as stored, in the types the database gave
        bool stored = false;
    };
    struct Edit
    {
        int row = -1;
        bool isNew = false;
        bool modified = false;
        std::array<QString, ColumnCount> texts;
    };
    struct Values
    {
        QString unn;
        int dopUnn = 0;
        int newDopUnn = 0;
    };

    static QString displayText(const QVariant& value);
    Values checkedValues() const;
    bool keyExists(const QString& unn, int dopUnn);
    void writeRow(const Values& values, const Row& row);
    void emitRowChanged(int row);

    TDM& m_dm;
    std::vector<Row> m_rows;
    std::optional<Edit> m_edit;
    bool m_readOnly = true;
};

} // namespace eschf
