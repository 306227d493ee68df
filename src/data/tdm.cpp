#include "data/tdm.h"

#include "data/fileidentity.h"
#include "data/paramconvert.h"
#include "data/query.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlRecord>

using namespace Qt::Literals::StringLiterals;

namespace eschf {

namespace {

QString hideSecrets(QString text, const QStringList& secrets)
{
    for (const QString& secret : secrets) {
        if (!secret.isEmpty())
            text.replace(secret, u"***"_s);
    }
    return text;
}

QString errorText(const QSqlError& error)
{
    QString text = error.text().trimmed();
    if (text.isEmpty())
        text = u"неизвестная ошибка базы данных"_s;
    return text;
}

// The name a parameter has in the text: Qt binds only [A-Za-z0-9_], so "[name]" stands as ":name_".
QString placeholderOf(const QString& name)
{
    if (name.startsWith(u'[') && name.endsWith(u']'))
        return u':' + name.mid(1, name.size() - 2) + u'_';
    return u':' + name;
}

ParamDecl smallint(const QString& name, bool nullable = false)
{
    return {name, ParamType::SmallInt, 5, 0, nullable};
}
ParamDecl integer(const QString& name, bool nullable = false)
{
    return {name, ParamType::Int, 10, 0, nullable};
}
ParamDecl bigint(const QString& name, bool nullable = false)
{
    return {name, ParamType::BigInt, 19, 0, nullable};
}
ParamDecl tinyint(const QString& name, bool nullable = false)
{
    return {name, ParamType::TinyInt, 3, 0, nullable};
}
ParamDecl bit(const QString& name, bool nullable = false)
{
    return {name, ParamType::Bit, 0, 0, nullable};
}
ParamDecl datetime(const QString& name, bool nullable = false)
{
    return {name, ParamType::DateTime, 23, 3, nullable};
}
ParamDecl decimal(const QString& name, int precision, int scale, bool nullable = false)
{
    return {name, ParamType::Decimal, precision, scale, nullable};
}
ParamDecl varchar(const QString& name, int width, bool nullable = false)
{
    return {name, ParamType::VarChar, width, 0, nullable};
}
ParamDecl untyped(const QString& name)
{
    return {name, ParamType::Untyped, 0, 0, true};
}

std::vector<ParamDecl> invoiceKey()
{
    return {smallint(u"idSender"_s), smallint(u"compilingYear"_s), bigint(u"number"_s)};
}

std::vector<ParamDecl> withKey(std::vector<ParamDecl> rest)
{
    std::vector<ParamDecl> all = invoiceKey();
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
}

// --- the texts: SQL Server's as the department's database has always received them; SQLite's
// say the same in its dialect.

const QStringList invoicesInsertText{
    u"INSERT INTO invoices( idSender, compilingYear, number, invoice, dateCancelled, documentType, "
    u"dateTransaction, idProvider, providerStatus, specialDealGoods, principalId, principalYear, "_s,
    u"principalNumber, principalDate, vendorId, vendorYear, vendorNumber, vendorDate, pDeclaration, "
    u"dateRelease, dateActualExport, pTaxesNumber, pTaxesDate, idRecipient, "_s,
    u"recipientStatus, rDeclaration, rTaxesNumber, rTaxesDate, dateImport, contractNumber, contractDate, "
    u"description, totalCostVat, totalExcise, totalVat, totalCost) "_s,
    u"VALUES (:idSender, :compilingYear, :number, :invoice, :dateCancelled, :documentType, "
    u":dateTransaction, :idProvider, :providerStatus, :specialDealGoods, :principalId, :principalYear, "_s,
    u":principalNumber, :principalDate, :vendorId, :vendorYear,:vendorNumber, :vendorDate, :pDeclaration, "
    u":dateRelease, :dateActualExport, :pTaxesNumber, :pTaxesDate, "_s,
    u":idRecipient, :recipientStatus, :rDeclaration,:rTaxesNumber, :rTaxesDate, :dateImport, "
    u":contractNumber, :contractDate, :description, :totalCostVat, :totalExcise, :totalVat, :totalCost)"_s,
};

const QString rosterInsertColumns =
    u"INSERT INTO roster(idSender, compilingYear, number, pnt, itemNumber, [name], code, code_oced, "
    u"units, [count], price, cost, summaExcise, rate, idRateType, summaVat, costVat)"_s;
const QString rosterInsertValues =
    u"VALUES (:idSender, :compilingYear, :number, :pnt, :itemNumber, :name_, :code, :code_oced, :units, "
    u":count_, :price, :cost, :summaExcise, :rate, :idRateType, :summaVat, :costVat)"_s;

const QStringList rosterInsertMsSql{rosterInsertColumns, rosterInsertValues, QString(),
                                    u"Select Scope_Identity() as 'IdentValue'"_s};
// Run as two statements: SQLite takes one at a time. INSERT ... RETURNING would do on QSQLITE, but
// the SQLite ODBC driver gives no result set for an INSERT.
const QStringList rosterInsertSqlite{rosterInsertColumns, rosterInsertValues, QString(),
                                     u"SELECT last_insert_rowid() AS IdentValue"_s};

const QStringList findSklMsSql{
    u"SELECT kodSkl "_s,
    u"FROM docCaption "_s,
    u"WHERE RIGHT('0000000000'+:DocNumber,10) = RIGHT('0000000000' + CAST(docCaption.NumDoc AS varchar), "
    u"10) and docCaption.vidDoc=:VidDoc AND docCaption.DateDoc=:DocDate"_s,
};
const QStringList findSklSqlite{
    u"SELECT kodSkl "_s,
    u"FROM docCaption "_s,
    u"WHERE substr('0000000000' || :DocNumber, -10) = substr('0000000000' || CAST(docCaption.NumDoc AS "
    u"TEXT), "
    u"-10) and docCaption.vidDoc=:VidDoc AND docCaption.DateDoc=:DocDate"_s,
};

const QStringList selPredprByUnnMsSql{u"Select TOP 1 idPredpr "_s, u"from tbPredpr "_s, u"WHERE UNN=:UNN"_s};
const QStringList selPredprByUnnSqlite{u"Select idPredpr "_s, u"from tbPredpr "_s, u"WHERE UNN=:UNN"_s,
                                       u"LIMIT 1"_s};

const QStringList selNastrMsSql{u"Select UNN"_s, u"from tbPredpr "_s,
                                u"WHERE idPredpr=(SELECT idPredpr FROM tbNastrPredpr)"_s};
// SQLite quietly takes the first row of a scalar subquery; SQL Server refuses more than one. The
// malformed JSON path is the one way a plain query can fail with a text of our own.
const QStringList selNastrSqlite{
    u"Select UNN"_s, u"from tbPredpr "_s,
    u"WHERE idPredpr=(SELECT CASE WHEN count(*) > 1 THEN json_extract('{}', 'Подзапрос вернул больше "
    u"одного значения: строк в tbNastrPredpr ' || count(*)) ELSE max(idPredpr) END FROM tbNastrPredpr)"_s};

const QStringList same{};

// What the connection reaches decides, not the driver: ODBC may lead to SQLite too. Qt names SQL
// Server, but not SQLite behind ODBC; only SQLite knows sqlite_version().
Dialect dialectReached(const QSqlDatabase& db)
{
    switch (db.driver()->dbmsType()) {
    case QSqlDriver::SQLite:
        return Dialect::Sqlite;
    case QSqlDriver::MSSqlServer:
    case QSqlDriver::Sybase:
        return Dialect::MsSql;
    default:
        break;
    }
    QSqlQuery probe = newQuery(db);
    const bool sqlite = probe.exec(u"SELECT sqlite_version()"_s) && probe.next();
    return sqlite ? Dialect::Sqlite : Dialect::MsSql;
}

} // namespace

// --- Statement

Statement::Statement(TDM& owner, QString name, std::vector<ParamDecl> params, QStringList msSqlLines,
                     QStringList sqliteLines)
    : m_owner(owner), m_name(std::move(name)), m_params(std::move(params)),
      m_msSqlLines(std::move(msSqlLines)), m_sqliteLines(std::move(sqliteLines))
{
    if (m_sqliteLines.isEmpty())
        m_sqliteLines = m_msSqlLines;
    for (const ParamDecl& p : m_params) {
        m_placeholders.append(placeholderOf(p.name));
        m_values.push_back(typedNull(p.type));
    }
    m_sources.resize(m_params.size());
    m_refusals.resize(m_params.size());
}

std::size_t Statement::indexOf(QStringView name) const
{
    for (std::size_t i = 0; i < m_params.size(); ++i) {
        if (m_params[i].name == name)
            return i;
    }
    throw Error(u"%1: нет параметра %2"_s.arg(m_name, name.toString()));
}

void Statement::setParam(QStringView name, const QVariant& value, ValueSource source)
{
    const std::size_t i = indexOf(name);
    m_sources[i] = source;
    try {
        m_values[i] = convertParam(m_name, m_params[i], value);
        m_refusals[i].reset();
    } catch (const ParamRefused& e) {
        m_refusals[i] = Refusal{e.message(), e.value(), e.problem()};
        m_values[i] = typedNull(m_params[i].type);
    }
}

void Statement::clear(std::size_t param)
{
    m_values[param] = typedNull(m_params[param].type);
    m_sources[param] = {};
    m_refusals[param].reset();
}

void Statement::setNull(QStringView name)
{
    clear(indexOf(name));
}

void Statement::setAllNull()
{
    for (std::size_t i = 0; i < m_params.size(); ++i)
        clear(i);
}

// "Позиция 2, roster/rosterItem/cost"; empty when the setter did not say.
QString Statement::placeOf(std::size_t param) const
{
    const ValueSource& source = m_sources[param];
    if (!source.element)
        return QString();
    const QString element = QString::fromUtf16(source.element);
    if (source.item > 0)
        return u"Позиция %1, %2"_s.arg(source.item).arg(element);
    return element;
}

std::optional<ValuePlace> Statement::valuePlaceOf(std::size_t param) const
{
    const ValueSource& source = m_sources[param];
    if (!source.element)
        return std::nullopt;
    return ValuePlace{QString::fromUtf16(source.element), source.item};
}

void Statement::throwIfRefused() const
{
    for (std::size_t i = 0; i < m_params.size(); ++i) {
        const std::optional<Refusal>& refusal = m_refusals[i];
        if (!refusal)
            continue;
        const QString place = placeOf(i);
        if (place.isEmpty())
            throw Error(refusal->message);
        throw Error(u"%1: значение «%2» — %3. Подробности: %4"_s.arg(place, refusal->value, refusal->problem,
                                                                     refusal->message),
                    valuePlaceOf(i));
    }
}

// Where the database's refusal lies in the invoice, as far as the values tell: a text wider than
// its column, else a parameter whose column the database's text names. Empty when neither; param
// then stays as it was.
QString Statement::refusedByDatabase(const QString& databaseText, std::size_t* param) const
{
    for (std::size_t i = 0; i < m_params.size(); ++i) {
        const ParamDecl& decl = m_params[i];
        const qsizetype length = m_values[i].toString().size();
        if (decl.type == ParamType::VarChar && length > decl.precision && m_sources[i].element) {
            *param = i;
            return u"%1: текст длиной %2 знаков не помещается в столбец шириной %3"_s.arg(placeOf(i))
                .arg(length)
                .arg(decl.precision);
        }
    }
    for (std::size_t i = 0; i < m_params.size(); ++i) {
        if (!m_sources[i].element)
            continue;
        QString column = m_params[i].name;
        column.remove(u'[').remove(u']');
        // As the databases quote a column: 'cost', roster.cost, length(name), [name].
        const QRegularExpression word(u"[.'(\\[]"_s + QRegularExpression::escape(column) +
                                          u"(?=[)'\\]]|\\s|$)"_s,
                                      QRegularExpression::CaseInsensitiveOption);
        if (databaseText.contains(word)) {
            *param = i;
            return u"%1: значение «%2» не принято базой данных"_s.arg(placeOf(i), m_values[i].toString());
        }
    }
    return QString();
}

QVariant Statement::param(QStringView name) const
{
    return m_values[indexOf(name)];
}

Error Statement::failure(const QSqlError& error) const
{
    const QString text = hideSecrets(errorText(error), m_owner.m_connection.secrets);
    std::size_t param = m_params.size();
    const QString place = refusedByDatabase(text, &param);
    Error result = place.isEmpty()
                       ? Error(text)
                       : Error(u"%1. Подробности: %2: %3"_s.arg(place, m_name, text), valuePlaceOf(param));
    if (m_owner.dialect() == Dialect::MsSql && error.nativeErrorCode() == u"1222"_s)
        result.markLockTimedOut();
    return result;
}

void Statement::prepare()
{
    if (!m_owner.isOpen())
        throw Error(u"%1: нет соединения с базой данных"_s.arg(m_name));
    if (m_prepared)
        return;
    m_parts.clear();
    const Dialect dialect = m_owner.dialect();
    const QStringList& lines = dialect == Dialect::Sqlite ? m_sqliteLines : m_msSqlLines;
    QStringList texts{QString()};
    for (const QString& line : lines) {
        if (dialect == Dialect::Sqlite && line.trimmed().isEmpty())
            texts.append(QString());
        else
            texts.last() += line + u"\r\n"_s;
    }
    for (const QString& text : texts) {
        if (text.trimmed().isEmpty())
            continue;
        Part part;
        part.query = newQuery(m_owner.m_db);
        if (!part.query.prepare(text)) {
            const Error error = failure(part.query.lastError());
            m_parts.clear();
            throw error;
        }
        for (std::size_t i = 0; i < m_params.size(); ++i) {
            const QRegularExpression placeholder(
                QRegularExpression::escape(m_placeholders[static_cast<qsizetype>(i)]) +
                u"(?![A-Za-z0-9_])"_s);
            if (text.contains(placeholder))
                part.params.push_back(i);
        }
        m_parts.push_back(std::move(part));
    }
    if (m_parts.empty())
        throw Error(u"%1: пустой текст запроса"_s.arg(m_name));
    m_prepared = true;
}

// Runs every part; the last one stays on its result for open().
void Statement::runParts()
{
    throwIfRefused();
    close();
    prepare();
    ++m_owner.m_statementsRun;
    const Dialect dialect = m_owner.dialect();
    for (std::size_t p = 0; p < m_parts.size(); ++p) {
        Part& part = m_parts[p];
        for (const std::size_t i : part.params)
            part.query.bindValue(m_placeholders[static_cast<qsizetype>(i)],
                                 bindingValue(m_params[i], m_values[i], dialect));
        if (!part.query.exec()) {
            const Error error = failure(part.query.lastError());
            releaseQueries();
            throw error;
        }
        m_rowsAffected = part.query.numRowsAffected();
        if (p + 1 < m_parts.size())
            part.query.finish();
    }
}

void Statement::exec()
{
    runParts();
    m_parts.back().query.finish();
}

void Statement::fetchAll(QSqlQuery& query)
{
    const QSqlRecord record = query.record();
    m_columns.clear();
    int identity = -1;
    for (int i = 0; i < record.count(); ++i) {
        m_columns.append(record.fieldName(i));
        if (!m_identityColumn.isEmpty() &&
            record.fieldName(i).compare(m_identityColumn, Qt::CaseInsensitive) == 0)
            identity = i;
    }
    while (query.next()) {
        std::vector<QVariant> row(static_cast<std::size_t>(record.count()));
        for (int i = 0; i < record.count(); ++i)
            row[static_cast<std::size_t>(i)] = query.value(i);
        if (identity >= 0 && !row[static_cast<std::size_t>(identity)].isNull()) {
            // SQL Server gives Scope_Identity() as numeric(38,0), read as text.
            QVariant& v = row[static_cast<std::size_t>(identity)];
            bool ok = false;
            const qlonglong n = v.toString().section(u'.', 0, 0).toLongLong(&ok);
            if (!ok)
                throw Error(u"%1: %2 \"%3\" не целое число"_s.arg(m_name, m_identityColumn, v.toString()));
            v = n;
        }
        m_rows.push_back(std::move(row));
    }
    if (query.lastError().isValid())
        throw failure(query.lastError());
}

void Statement::open()
{
    runParts();
    QSqlQuery& query = m_parts.back().query;
    try {
        // On SQL Server an insert reports its row count before the identity's result set.
        while (!query.isSelect()) {
            if (!query.nextResult()) {
                if (query.lastError().isValid())
                    throw failure(query.lastError());
                throw Error(u"%1: запрос не вернул набор строк"_s.arg(m_name));
            }
        }
        fetchAll(query);
    } catch (...) {
        releaseQueries();
        m_rows.clear();
        throw;
    }
    query.finish();
    m_open = true;
    m_row = 0;
}

void Statement::close()
{
    m_open = false;
    m_rows.clear();
    m_row = 0;
}

// SQL Server goes on with a batch after a statement of it was refused: its later results stay
// pending, and the connection serves no other statement until they are read or thrown away. Freeing
// the queries throws them away; the statement is prepared again when it next runs.
void Statement::releaseQueries()
{
    m_parts.clear();
    m_prepared = false;
}

void Statement::detach()
{
    close();
    releaseQueries();
    m_preparedTexts.clear();
}

bool Statement::isOpen() const
{
    return m_open;
}

bool Statement::eof() const
{
    return !m_open || m_row >= m_rows.size();
}

bool Statement::next()
{
    if (eof())
        return false;
    ++m_row;
    return !eof();
}

QVariant Statement::field(QStringView column) const
{
    if (eof())
        throw Error(u"%1: нет текущей строки для поля %2"_s.arg(m_name, column.toString()));
    for (qsizetype i = 0; i < m_columns.size(); ++i) {
        if (QStringView(m_columns[i]).compare(column, Qt::CaseInsensitive) == 0)
            return m_rows[m_row][static_cast<std::size_t>(i)];
    }
    throw Error(u"%1: нет поля %2"_s.arg(m_name, column.toString()));
}

int Statement::numRowsAffected() const
{
    return m_rowsAffected;
}

void Statement::setText(const QStringList& lines)
{
    close();
    if (lines == m_sqliteLines && lines == m_msSqlLines)
        return;
    // A run looks up the same organisations over and over, and preparing is most of what a lookup
    // costs: the texts used last are kept with their prepared statements.
    if (m_prepared) {
        if (m_preparedTexts.size() >= kPreparedTextsKept) {
            auto oldest = m_preparedTexts.begin();
            for (auto kept = m_preparedTexts.begin(); kept != m_preparedTexts.end(); ++kept) {
                if (kept->second.lastUse < oldest->second.lastUse)
                    oldest = kept;
            }
            m_preparedTexts.erase(oldest);
        }
        m_preparedTexts[m_sqliteLines.join(u'\n')] = PreparedText{std::move(m_parts), ++m_textUses};
    }
    m_msSqlLines = lines;
    m_sqliteLines = lines;
    m_parts.clear();
    m_prepared = false;
    const auto kept = m_preparedTexts.find(lines.join(u'\n'));
    if (kept != m_preparedTexts.end()) {
        m_parts = std::move(kept->second.parts);
        m_preparedTexts.erase(kept);
        m_prepared = true;
    }
}

QString Statement::text() const
{
    return text(m_owner.dialect());
}

QString Statement::text(Dialect dialect) const
{
    const QStringList& lines = dialect == Dialect::Sqlite ? m_sqliteLines : m_msSqlLines;
    QString text;
    for (const QString& line : lines)
        text += line + u"\r\n"_s;
    return text;
}

// --- TDM

TDM::TDM(QString connectionName)
    : InvoicesInsert(*this, u"InvoicesInsert"_s,
                     withKey({
                         varchar(u"invoice"_s, 25, true),
                         datetime(u"dateCancelled"_s, true),
                         tinyint(u"documentType"_s),
                         datetime(u"dateTransaction"_s, true),
                         integer(u"idProvider"_s),
                         tinyint(u"providerStatus"_s),
                         bit(u"specialDealGoods"_s),
                         smallint(u"principalId"_s, true),
                         smallint(u"principalYear"_s, true),
                         bigint(u"principalNumber"_s, true),
                         datetime(u"principalDate"_s, true),
                         smallint(u"vendorId"_s, true),
                         smallint(u"vendorYear"_s, true),
                         bigint(u"vendorNumber"_s, true),
                         datetime(u"vendorDate"_s, true),
                         varchar(u"pDeclaration"_s, 25, true),
                         datetime(u"dateRelease"_s, true),
                         datetime(u"dateActualExport"_s, true),
                         varchar(u"pTaxesNumber"_s, 25, true),
                         datetime(u"pTaxesDate"_s, true),
                         integer(u"idRecipient"_s),
                         tinyint(u"recipientStatus"_s),
                         varchar(u"rDeclaration"_s, 25, true),
                         varchar(u"rTaxesNumber"_s, 25, true),
                         datetime(u"rTaxesDate"_s, true),
                         datetime(u"dateImport"_s, true),
                         varchar(u"contractNumber"_s, 20, true),
                         datetime(u"contractDate"_s, true),
                         varchar(u"description"_s, 512, true),
                         decimal(u"totalCostVat"_s, 18, 3),
                         decimal(u"totalExcise"_s, 18, 3),
                         decimal(u"totalVat"_s, 18, 3),
                         decimal(u"totalCost"_s, 18, 3),
                     }),
                     invoicesInsertText, same),
      RosterInsert(*this, u"RosterInsert"_s,
                   withKey({
                       integer(u"pnt"_s, true),
                       bigint(u"itemNumber"_s, true),
                       varchar(u"[name]"_s, 512),
                       varchar(u"code"_s, 10, true),
                       varchar(u"code_oced"_s, 5, true),
                       smallint(u"units"_s, true),
                       decimal(u"[count]"_s, 18, 4, true),
                       decimal(u"price"_s, 18, 3, true),
                       decimal(u"cost"_s, 18, 3),
                       decimal(u"summaExcise"_s, 18, 3, true),
                       decimal(u"rate"_s, 6, 4, true),
                       tinyint(u"idRateType"_s, true),
                       decimal(u"summaVat"_s, 18, 3),
                       decimal(u"costVat"_s, 18, 3),
                   }),
                   rosterInsertMsSql, rosterInsertSqlite),
      DescriptionsInsert(*this, u"DescriptionsInsert"_s, {tinyint(u"idDesc"_s), integer(u"idStr"_s)},
                         {u"INSERT INTO descriptions(idDesc, idStr)"_s, u"VALUES (:idDesc, :idStr)"_s}, same),
      DocumentsInsert(
          *this, u"DocumentsInsert"_s,
          withKey({
              integer(u"code"_s),
              datetime(u"docDate"_s),
              varchar(u"blankCode"_s, 50, true),
              varchar(u"seria"_s, 25, true),
              varchar(u"docNumber"_s, 50),
              tinyint(u"vidDoc"_s),
              integer(u"kodSkl"_s, true),
              integer(u"idPredpr"_s, true),
          }),
          {u"INSERT INTO documents(idSender, compilingYear, number, code, docDate, blankCode, seria, "
           u"docNumber,vidDoc,kodSkl,idPredpr)"_s,
           u"VALUES (:idSender, :compilingYear, :number, :code, :docDate, :blankCode, :seria, "
           u":docNumber,:vidDoc,:kodSkl,:idPredpr)"_s},
          same),
      DocCheck(*this, u"DocCheck"_s, {untyped(u"idSen"_s), untyped(u"Year"_s), untyped(u"numb"_s)},
               {u"Select * from documents where idSender=:idSen and compilingYear=:Year and number=:numb"_s},
               same),
      FindSkl(*this, u"FindSkl"_s,
              {varchar(u"DocNumber"_s, 10, true), tinyint(u"VidDoc"_s), datetime(u"DocDate"_s, true)},
              findSklMsSql, findSklSqlite),
      SelectVariousPredprs(*this, u"SelectVariousPredprs"_s, {}, {}, {}),
      SelPredprByUnn(*this, u"SelPredprByUnn"_s, {varchar(u"UNN"_s, 20, true)}, selPredprByUnnMsSql,
                     selPredprByUnnSqlite),
      qSelectInvPredpr(*this, u"qSelectInvPredpr"_s, {varchar(u"unn"_s, 20), integer(u"dopUnn"_s)},
                       {u"SELECT newDopUnn"_s, u"FROM invPredprs"_s, u"WHERE unn=:unn and dopUnn=:dopUnn"_s},
                       same),
      FindOriginal(*this, u"FindOriginal"_s,
                   {smallint(u"idSender"_s), smallint(u"compilingYear"_s), bigint(u"Number"_s)},
                   {u"SELECT idSender "_s, u"FROM invoices "_s,
                    u"WHERE idSender=:idSender and compilingYear=:compilingYear and Number=:Number"_s},
                   same),
      UpdateAsComplete(*this, u"UpdateAsComplete"_s, invoiceKey(),
                       {u"Update invoices "_s, u"set completed=1 "_s,
                        u"where idSender=:idSender and compilingYear=:compilingYear and number=:number"_s,
                        QString()},
                       same),
      DeleteInvoice(
          *this, u"DeleteInvoice"_s,
          {smallint(u"idSender"_s), smallint(u"compilingyear"_s), bigint(u"number"_s)},
          {u"DELETE FROM invoices "_s,
           u"WHERE idSender=:idSender AND compilingyear=:compilingyear AND number=:number AND Sv=0"_s},
          same),
      Check(
          *this, u"Check"_s, {untyped(u"idSen"_s), untyped(u"Year"_s), untyped(u"numb"_s)},
          {u"Select completed from invoices where idSender=:idSen and compilingYear=:Year and number=:numb"_s},
          same),
      SelNastr(*this, u"SelNastr"_s, {}, selNastrMsSql, selNastrSqlite),
      DelZero(*this, u"DelZero"_s, {}, {u"DELETE FROM invoices"_s, u"WHERE completed is null"_s}, same),
      CountZero(*this, u"CountZero"_s, {},
                {u"SELECT count(*) AS ZeroCount FROM invoices"_s, u"WHERE completed is null"_s}, same),
      qSelectInvPredprs(*this, u"qSelectInvPredprs"_s, {},
                        {u"SELECT *"_s, u"FROM invPredprs"_s, u"ORDER BY unn, dopUnn"_s}, same),
      m_connectionName(std::move(connectionName))
{
    RosterInsert.m_identityColumn = u"IdentValue"_s;
}

TDM::~TDM()
{
    close();
}

std::vector<Statement*> TDM::statements()
{
    return {&InvoicesInsert,
            &RosterInsert,
            &DescriptionsInsert,
            &DocumentsInsert,
            &DocCheck,
            &FindSkl,
            &SelectVariousPredprs,
            &SelPredprByUnn,
            &qSelectInvPredpr,
            &FindOriginal,
            &UpdateAsComplete,
            &DeleteInvoice,
            &Check,
            &SelNastr,
            &DelZero,
            &CountZero,
            &qSelectInvPredprs};
}

void TDM::open(const ConnectionParams& connection)
{
    close();
    m_connection = connection;
    const bool sqliteFile = connection.driver == u"QSQLITE"_s;
    if (sqliteFile && !QFileInfo(connection.databaseName).isFile())
        throw Error(hideSecrets(u"Файл базы данных не найден: %1"_s.arg(connection.databaseName),
                                connection.secrets));

    QString options = connection.connectOptions;
    if (sqliteFile && !options.contains(u"QSQLITE_BUSY_TIMEOUT"_s)) {
        if (!options.isEmpty())
            options += u';';
        options += u"QSQLITE_BUSY_TIMEOUT=5000"_s;
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(connection.driver, m_connectionName);
        if (!db.isValid()) {
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connectionName);
            throw Error(u"Драйвер базы данных %1 недоступен"_s.arg(connection.driver));
        }
        db.setDatabaseName(connection.databaseName);
        db.setConnectOptions(options);
        db.setNumericalPrecisionPolicy(QSql::HighPrecision);
        if (!db.open()) {
            const QString text = hideSecrets(errorText(db.lastError()), connection.secrets);
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connectionName);
            throw Error(text);
        }
        m_db = db;
    }
    m_dialect = dialectReached(m_db);
    m_statementsRun = 0;
    m_fileIdentity = sqliteFile ? fileIdentity(connection.databaseName) : QString();
    if (m_dialect == Dialect::Sqlite) {
        try {
            configureSqlite();
        } catch (...) {
            close();
            throw;
        }
    }
}

void TDM::setLockWait(int milliseconds)
{
    if (m_dialect != Dialect::MsSql || !isOpen())
        return;
    // Sent directly, not prepared: a SET run through sp_prepexec would end with it.
    QSqlQuery query = newQuery(m_db);
    if (!query.exec(u"SET LOCK_TIMEOUT %1"_s.arg(milliseconds)))
        throw Error(hideSecrets(errorText(query.lastError()), m_connection.secrets));
}

bool TDM::databaseStillThere() const
{
    return m_fileIdentity.isEmpty() || fileIdentity(m_connection.databaseName) == m_fileIdentity;
}

bool TDM::connectionAnswers()
{
    if (!isOpen() || !databaseStillThere())
        return false;
    QSqlQuery probe = newQuery(m_db);
    const bool answered = probe.exec(u"SELECT 1"_s) && probe.next();
    probe.finish();
    return answered;
}

void TDM::configureSqlite()
{
    // An invoice file is deleted as soon as its invoice is committed: the commit must be on disk.
    const QStringList pragmas{u"PRAGMA journal_mode=WAL"_s, u"PRAGMA synchronous=FULL"_s,
                              u"PRAGMA foreign_keys=ON"_s, u"PRAGMA busy_timeout=5000"_s};
    for (const QString& pragma : pragmas) {
        QSqlQuery q = newQuery(m_db);
        if (!q.exec(pragma))
            throw Error(hideSecrets(errorText(q.lastError()), m_connection.secrets));
    }
}

void TDM::close()
{
    for (Statement* s : statements())
        s->detach();
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

bool TDM::isOpen() const
{
    return m_db.isValid() && m_db.isOpen();
}

Dialect TDM::dialect() const
{
    return m_dialect;
}

QSqlDatabase TDM::database() const
{
    return m_db;
}

void TDM::transaction()
{
    if (!isOpen())
        throw Error(u"Нет соединения с базой данных"_s);
    if (m_dialect == Dialect::Sqlite && m_db.driverName() == u"QSQLITE"_s) {
        // Take the write lock at once: a deferred transaction that reads first cannot wait for a
        // writer of another connection, it fails at once.
        QSqlQuery q = newQuery(m_db);
        if (!q.exec(u"BEGIN IMMEDIATE"_s))
            throw Error(hideSecrets(errorText(q.lastError()), m_connection.secrets));
        return;
    }
    if (!m_db.transaction())
        throw Error(hideSecrets(errorText(m_db.lastError()), m_connection.secrets));
}

void TDM::commit()
{
    if (!isOpen() || !m_db.commit())
        throw Error(hideSecrets(errorText(m_db.lastError()), m_connection.secrets));
}

void TDM::rollback()
{
    if (!isOpen() || !m_db.rollback())
        throw Error(hideSecrets(errorText(m_db.lastError()), m_connection.secrets));
}

void TDM::execOrThrow(const QString& text)
{
    if (!isOpen())
        throw Error(u"Нет соединения с базой данных"_s);
    QSqlQuery q = newQuery(m_db);
    if (!q.exec(text))
        throw Error(hideSecrets(errorText(q.lastError()), m_connection.secrets));
}

// With autocommit off SQL Server has begun no transaction before the first statement that touches
// a table, and SAVE TRANSACTION needs one.
void TDM::savepoint()
{
    execOrThrow(m_dialect == Dialect::MsSql
                    ? u"IF @@TRANCOUNT = 0 BEGIN TRANSACTION\r\nSAVE TRANSACTION eschf_file"_s
                    : u"SAVEPOINT eschf_file"_s);
}

void TDM::rollbackToSavepoint()
{
    if (m_dialect == Dialect::MsSql) {
        execOrThrow(u"ROLLBACK TRANSACTION eschf_file"_s);
        return;
    }
    execOrThrow(u"ROLLBACK TO SAVEPOINT eschf_file"_s);
    execOrThrow(u"RELEASE SAVEPOINT eschf_file"_s);
}

// SQL Server keeps no savepoint to release: the next one of the same name replaces it.
void TDM::releaseSavepoint()
{
    if (m_dialect == Dialect::Sqlite)
        execOrThrow(u"RELEASE SAVEPOINT eschf_file"_s);
}

} // namespace eschf
