#include "settings/invpredprsmodel.h"

#include "data/query.h"
#include "data/tdm.h"

#include <QBrush>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include <limits>

namespace eschf {

namespace {

const QString tableName = QStringLiteral("invPredprs");

QString columnName(int column)
{
    static const std::array<QString, InvPredprsModel::ColumnCount> names = {
        QStringLiteral("unn"), QStringLiteral("dopUnn"), QStringLiteral("newDopUnn")};
    return names.at(column);
}

QString columnTitle(int column)
{
    static const std::array<QString, InvPredprsModel::ColumnCount> titles = {
        QStringLiteral("УНП"), QStringLiteral("Код филиала"), QStringLiteral("Новый код филиала")};
    return titles.at(column);
}

std::optional<int> toInt32(const QString& text)
{
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}

int checkedCode(const QString& typed, int column)
{
    const QString text = typed.trimmed();
    if (text.isEmpty())
        throw RowRefused(QStringLiteral("Не задан %1.").arg(columnTitle(column).toLower()), column);
    bool isWhole = false;
    text.toLongLong(&isWhole);
    if (!isWhole)
        throw RowRefused(QStringLiteral("%1 «%2» не является целым числом.").arg(columnTitle(column), text),
                         column);
    const std::optional<int> value = toInt32(text);
    if (!value)
        throw RowRefused(QStringLiteral("%1 %2 вне допустимых пределов (от %3 до %4).")
                             .arg(columnTitle(column), text)
                             .arg(std::numeric_limits<int>::min())
                             .arg(std::numeric_limits<int>::max()),
                         column);
    return *value;
}

QString keyText(const QVariant& unn, const QVariant& dopUnn)
{
    return QStringLiteral("УНП %1, код филиала %2")
        .arg(unn.isNull() ? QStringLiteral("(пусто)") : unn.toString(),
             dopUnn.isNull() ? QStringLiteral("(пусто)") : dopUnn.toString());
}

QSqlField field(int column, const QVariant& value)
{
    QSqlField result(columnName(column), value.metaType(), tableName);
    result.setValue(value);
    return result;
}

// One row of invPredprs written through the statement the driver makes for the table, so that the
// names are quoted in the connection's own manner. Returns the number of rows hit.
int execOnTable(const QSqlDatabase& db, QSqlDriver::StatementType type, const QSqlRecord& values,
                const QSqlRecord& key)
{
    const QSqlDriver* driver = db.driver();
    QString text = driver->sqlStatement(type, tableName, values, true);
    if (!key.isEmpty())
        text += QLatin1Char(' ') + driver->sqlStatement(QSqlDriver::WhereStatement, tableName, key, true);
    QSqlQuery query = newQuery(db);
    if (!query.prepare(text))
        throw Error(query.lastError().text());
    if (type != QSqlDriver::DeleteStatement) {
        for (int i = 0; i < values.count(); ++i)
            query.addBindValue(values.value(i));
    }
    for (int i = 0; i < key.count(); ++i) {
        if (!key.isNull(i)) // the driver wrote IS NULL for it
            query.addBindValue(key.value(i));
    }
    if (!query.exec())
        throw Error(query.lastError().text());
    return query.numRowsAffected();
}

// The stored key: what the row was read or last written with.
QSqlRecord keyRecord(const QVariant& unn, const QVariant& dopUnn)
{
    QSqlRecord key;
    key.append(field(InvPredprsModel::Unn, unn));
    key.append(field(InvPredprsModel::DopUnn, dopUnn));
    return key;
}

void rollbackQuietly(TDM& dm)
{
    try {
        dm.rollback();
    } catch (const Error&) {
        // The failure being reported matters more; a transaction the database dropped is gone anyway.
    }
}

// Runs write in a transaction that is kept only when exactly one row was hit.
template <typename Write>
void writeOneRow(TDM& dm, const QVariant& unn, const QVariant& dopUnn, Write write)
{
    dm.transaction();
    int hit = 0;
    try {
        hit = write();
    } catch (const Error&) {
        rollbackQuietly(dm);
        throw;
    }
    if (hit == 1) {
        dm.commit();
        return;
    }
    rollbackQuietly(dm);
    if (hit == 0)
        throw Error(QStringLiteral("Строка (%1) не найдена в таблице: её изменили или удалили после "
                                   "открытия окна. Откройте окно заново.")
                        .arg(keyText(unn, dopUnn)));
    throw Error(QStringLiteral("В таблице %1 строк с ключом (%2); ничего не изменено.")
                    .arg(hit)
                    .arg(keyText(unn, dopUnn)));
}

} // namespace

InvPredprsModel::InvPredprsModel(TDM& dm, QObject* parent) : QAbstractTableModel(parent), m_dm(dm) {}

void InvPredprsModel::reload()
{
    beginResetModel();
    m_rows.clear();
    m_edit.reset();
    m_readOnly = true;
    Statement& query = m_dm.qSelectInvPredprs;
    try {
        query.close();
        query.open();
        while (!query.eof()) {
            Row row;
            for (int column = 0; column < ColumnCount; ++column)
                row.values.at(column) = query.field(columnName(column));
            row.stored = true;
            m_rows.push_back(std::move(row));
            query.next();
        }
        // Not left open: an open cursor would hold the connection's read snapshot.
        query.close();
    } catch (const Error&) {
        try {
            query.close();
        } catch (const Error&) {
        }
        m_rows.clear();
        endResetModel();
        throw;
    }
    m_readOnly = false;
    endResetModel();
}

int InvPredprsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int InvPredprsModel::rowOf(const QString& unn, int dopUnn) const
{
    for (std::size_t row = 0; row < m_rows.size(); ++row) {
        const Row& stored = m_rows.at(row);
        if (stored.stored && stored.values.at(Unn).toString() == unn && !stored.values.at(DopUnn).isNull() &&
            stored.values.at(DopUnn).toInt() == dopUnn)
            return static_cast<int>(row);
    }
    return -1;
}

int InvPredprsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString InvPredprsModel::displayText(const QVariant& value)
{
    return value.isNull() ? QString() : value.toString();
}

QVariant InvPredprsModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const int row = index.row();
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        if (isEditing(row))
            return m_edit->texts.at(column);
        return displayText(m_rows.at(row).values.at(column));
    case Qt::TextAlignmentRole:
        return column == Unn ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                             : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::ForegroundRole:
        // A typed code that cannot be stored shows before the row is posted.
        if (isEditing(row) && column != Unn) {
            const QString text = m_edit->texts.at(column).trimmed();
            if (!text.isEmpty() && !toInt32(text))
                return QBrush(Qt::red);
        }
        return {};
    default:
        return {};
    }
}

bool InvPredprsModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (m_readOnly || role != Qt::EditRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return false;
    const int row = index.row();
    if (m_edit && m_edit->row != row)
        return false;
    const QString text = value.toString();
    if (!m_edit) {
        if (text == displayText(m_rows.at(row).values.at(index.column())))
            return true;
        Edit edit;
        edit.row = row;
        for (int column = 0; column < ColumnCount; ++column)
            edit.texts.at(column) = displayText(m_rows.at(row).values.at(column));
        m_edit = edit;
    }
    QString& cell = m_edit->texts.at(index.column());
    if (cell == text)
        return true;
    cell = text;
    m_edit->modified = true;
    emit dataChanged(index, index);
    emit headerDataChanged(Qt::Vertical, row, row);
    return true;
}

QVariant InvPredprsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal && section >= 0 && section < ColumnCount)
        return columnTitle(section);
    return {}; // the indicator column carries no row numbers
}

Qt::ItemFlags InvPredprsModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags result = QAbstractTableModel::flags(index);
    if (!m_readOnly && index.isValid())
        result |= Qt::ItemIsEditable;
    return result;
}

void InvPredprsModel::insertNewRow(int row)
{
    if (m_readOnly || m_edit)
        return;
    row = std::clamp(row, 0, rowCount());
    beginInsertRows({}, row, row);
    m_rows.insert(m_rows.begin() + row, Row{});
    Edit edit;
    edit.row = row;
    edit.isNew = true;
    m_edit = edit;
    endInsertRows();
}

InvPredprsModel::Values InvPredprsModel::checkedValues() const
{
    Values values;
    values.unn = m_edit->texts.at(Unn).trimmed();
    if (values.unn.isEmpty())
        throw RowRefused(QStringLiteral("Не задан УНП."), Unn);
    if (values.unn.size() > unnMaxLength)
        throw RowRefused(QStringLiteral("УНП «%1» длиннее %2 знаков (в нём %3).")
                             .arg(values.unn)
                             .arg(unnMaxLength)
                             .arg(values.unn.size()),
                         Unn);
    values.dopUnn = checkedCode(m_edit->texts.at(DopUnn), DopUnn);
    values.newDopUnn = checkedCode(m_edit->texts.at(NewDopUnn), NewDopUnn);
    return values;
}

bool InvPredprsModel::keyExists(const QString& unn, int dopUnn)
{
    Statement& query = m_dm.qSelectInvPredpr;
    query.close();
    query.setParam(u"unn", unn);
    query.setParam(u"dopUnn", dopUnn);
    query.open();
    const bool found = !query.eof();
    query.close();
    return found;
}

void InvPredprsModel::writeRow(const Values& values, const Row& row)
{
    QSqlRecord record;
    record.append(field(Unn, values.unn));
    record.append(field(DopUnn, values.dopUnn));
    record.append(field(NewDopUnn, values.newDopUnn));
    const QSqlDatabase db = m_dm.database();
    if (!row.stored) {
        writeOneRow(m_dm, values.unn, values.dopUnn,
                    [&] { return execOnTable(db, QSqlDriver::InsertStatement, record, {}); });
        return;
    }
    const QVariant& unn = row.values.at(Unn);
    const QVariant& dopUnn = row.values.at(DopUnn);
    writeOneRow(m_dm, unn, dopUnn,
                [&] { return execOnTable(db, QSqlDriver::UpdateStatement, record, keyRecord(unn, dopUnn)); });
}

void InvPredprsModel::post()
{
    if (!m_edit)
        return;
    const int row = m_edit->row;
    if (!m_edit->modified) {
        cancel();
        return;
    }
    const Values values = checkedValues();
    Row& stored = m_rows.at(row);
    const bool keyKept = stored.stored && values.unn == displayText(stored.values.at(Unn)).trimmed() &&
                         !stored.values.at(DopUnn).isNull() &&
                         stored.values.at(DopUnn).toLongLong() == values.dopUnn;
    if (keyKept && !stored.values.at(NewDopUnn).isNull() &&
        stored.values.at(NewDopUnn).toLongLong() == values.newDopUnn) {
        cancel(); // typed back to what is stored
        return;
    }
    try {
        if (!keyKept && keyExists(values.unn, values.dopUnn))
            throw RowRefused(
                QStringLiteral("Перенаправление для УНП %1 с кодом филиала %2 уже есть в таблице.")
                    .arg(values.unn)
                    .arg(values.dopUnn),
                DopUnn);
        writeRow(values, stored);
    } catch (const RowRefused&) {
        throw;
    } catch (const Error& error) {
        throw RowRefused(QStringLiteral("База данных не приняла строку: %1").arg(error.message()), -1);
    }
    stored.values = {values.unn, values.dopUnn, values.newDopUnn};
    stored.stored = true;
    m_edit.reset();
    emitRowChanged(row);
}

void InvPredprsModel::cancel()
{
    if (!m_edit)
        return;
    const int row = m_edit->row;
    if (m_edit->isNew) {
        // Out of editing before the views hear of the removal: they may move their current row.
        m_edit.reset();
        beginRemoveRows({}, row, row);
        m_rows.erase(m_rows.begin() + row);
        endRemoveRows();
        return;
    }
    m_edit.reset();
    emitRowChanged(row);
}

void InvPredprsModel::deleteRow(int row)
{
    if (m_readOnly || row < 0 || row >= rowCount())
        return;
    if (m_edit && m_edit->row != row)
        throw Error(QStringLiteral("Сначала сохраните или отмените изменения в редактируемой строке."));
    const Row& target = m_rows.at(row);
    if (target.stored) {
        const QVariant unn = target.values.at(Unn);
        const QVariant dopUnn = target.values.at(DopUnn);
        const QSqlDatabase db = m_dm.database();
        writeOneRow(m_dm, unn, dopUnn,
                    [&] { return execOnTable(db, QSqlDriver::DeleteStatement, {}, keyRecord(unn, dopUnn)); });
    }
    m_edit.reset();
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

void InvPredprsModel::emitRowChanged(int row)
{
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
    emit headerDataChanged(Qt::Vertical, row, row);
}

} // namespace eschf
