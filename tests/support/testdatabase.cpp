#include "testdatabase.h"

#include "data/error.h"
#include "data/query.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlRecord>

#include <atomic>

namespace eschf::test {

namespace {

QString valueText(const QVariant& value)
{
    if (value.isNull())
        return QStringLiteral("NULL");
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    default:
        return value.toString();
    }
}

// The server refuses an explicit value for an identity column unless told.
QString withIdentityInsert(const QString& sql)
{
    static const QRegularExpression namesId(
        QStringLiteral("INSERT\\s+INTO\\s+tbPredpr\\s*\\(\\s*idPredpr\\b"),
        QRegularExpression::CaseInsensitiveOption);
    if (!sql.contains(namesId))
        return sql;
    return QStringLiteral("SET IDENTITY_INSERT tbPredpr ON;\n%1;\nSET IDENTITY_INSERT tbPredpr OFF;")
        .arg(sql);
}

const QString& serverSchema()
{
    static const QString text = [] {
        QFile schema(sourcePath(QStringLiteral("db/mssql/schema.sql")));
        if (!schema.open(QIODevice::ReadOnly))
            throw Error(QStringLiteral("cannot read %1").arg(schema.fileName()));
        return QString::fromUtf8(schema.readAll());
    }();
    return text;
}

} // namespace

const QStringList& serverTables()
{
    static const QStringList tables = [] {
        static const QRegularExpression create(QStringLiteral("^\\s*CREATE\\s+TABLE\\s+(\\w+)"),
                                               QRegularExpression::MultilineOption |
                                                   QRegularExpression::CaseInsensitiveOption);
        QStringList names;
        for (const QRegularExpressionMatch& m : create.globalMatch(serverSchema()))
            names.prepend(m.captured(1));
        return names;
    }();
    return tables;
}

void execOnServer(const QSqlDatabase& db, const QString& sql)
{
    QSqlQuery q = newQuery(db);
    if (!q.exec(withIdentityInsert(sql)))
        throw Error(QStringLiteral("%1 in %2").arg(q.lastError().text(), sql));
}

void dropServerTables(const QSqlDatabase& db)
{
    for (const QString& table : serverTables())
        execOnServer(db, QStringLiteral("IF OBJECT_ID('%1') IS NOT NULL DROP TABLE %1").arg(table));
}

void recreateServerTables(const QSqlDatabase& db)
{
    dropServerTables(db);
    static const QRegularExpression go(QStringLiteral("^\\s*GO\\s*$"), QRegularExpression::MultilineOption);
    for (const QString& batch : serverSchema().split(go)) {
        if (!batch.trimmed().isEmpty())
            execOnServer(db, batch);
    }
}

void addBackendRows()
{
    QTest::addColumn<Backend>("backend");
    QTest::newRow("SQLite") << Backend::Sqlite;
    QTest::newRow("SQL Server") << Backend::MsSql;
}

QString serverConnectionString()
{
    return qEnvironmentVariable("ESCHF_TEST_MSSQL");
}

Backend currentBackend()
{
    QFETCH_GLOBAL(Backend, backend);
    return backend;
}

TestDatabase::TestDatabase(Backend backend, QString sqliteFile)
    : m_backend(backend), m_sqliteFile(std::move(sqliteFile))
{
    if (isServer())
        openServer(serverConnectionString());
    else
        createSqliteDatabase(m_sqliteFile);
}

TestDatabase::TestDatabase(const QString& serverConnection) : m_backend(Backend::MsSql)
{
    openServer(serverConnection);
}

void TestDatabase::openServer(const QString& connection)
{
    m_serverConnection = connection;
    static std::atomic<int> serial{0};
    m_connectionName = QStringLiteral("testdatabase-%1").arg(++serial);
    const ConnectionParams params = connectionParams();
    QSqlDatabase db = QSqlDatabase::addDatabase(params.driver, m_connectionName);
    db.setDatabaseName(params.databaseName);
    if (!db.open()) {
        const QString reason = maskSecrets(db.lastError().text(), params.secrets);
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
        throw Error(reason);
    }
    recreateServerTables(db);
}

TestDatabase::~TestDatabase()
{
    if (!isServer())
        return;
    try {
        dropServerTables(server());
    } catch (const Error& e) {
        qWarning("%s", qPrintable(e.message()));
    }
    {
        QSqlDatabase db = server();
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

QSqlDatabase TestDatabase::server() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

QString TestDatabase::connectionString() const
{
    return isServer() ? m_serverConnection : sqliteConnectionString(m_sqliteFile);
}

ConnectionParams TestDatabase::connectionParams() const
{
    const QString baseDir = isServer() ? QString() : QFileInfo(m_sqliteFile).absolutePath();
    return translateConnectionString(connectionString(), baseDir, installedOdbcDrivers());
}

void TestDatabase::seedDirectory() const
{
    if (!isServer()) {
        test::seedDirectory(m_sqliteFile);
        return;
    }
    QFile script(testDataPath(QStringLiteral("directory.sql")));
    if (!script.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("cannot read %1").arg(script.fileName()));
    exec(QString::fromUtf8(script.readAll()));
}

void TestDatabase::exec(const QString& sql) const
{
    if (!isServer()) {
        execSqlite(m_sqliteFile, sql);
        return;
    }
    execOnServer(server(), sql);
}

QString TestDatabase::query(const QString& sql) const
{
    if (!isServer())
        return querySqlite(m_sqliteFile, sql);
    const Rows rows = select(sql);
    if (rows.rows.isEmpty() || rows.rows.front().isEmpty())
        throw Error(QStringLiteral("no row from %1").arg(sql));
    return rows.rows.front().front();
}

QString TestDatabase::row(const QString& sql) const
{
    const Rows rows = select(sql);
    if (rows.rows.isEmpty())
        throw Error(QStringLiteral("no row from %1").arg(sql));
    return rows.rows.front().join(u'|');
}

QStringList TestDatabase::lines(const QString& sql) const
{
    QStringList lines;
    for (const QStringList& values : select(sql).rows)
        lines.append(values.join(u'|'));
    return lines;
}

QString TestDatabase::contents() const
{
    QString text;
    for (const QString& table : serverTables()) {
        QStringList lines;
        for (const QStringList& values : select(QStringLiteral("SELECT * FROM ") + table).rows)
            lines.append(values.join(u'|'));
        lines.sort();
        text += table + u'\n' + lines.join(u'\n') + u'\n';
    }
    return text;
}

Rows TestDatabase::select(const QString& sql) const
{
    if (!isServer())
        return selectSqlite(m_sqliteFile, sql);
    return selectOnServer(server(), sql);
}

Rows selectOnServer(const QSqlDatabase& db, const QString& sql)
{
    QSqlQuery q = newQuery(db);
    if (!q.exec(sql))
        throw Error(QStringLiteral("%1 in %2").arg(q.lastError().text(), sql));
    Rows rows;
    const QSqlRecord record = q.record();
    for (int i = 0; i < record.count(); ++i)
        rows.columns.append(record.fieldName(i));
    while (q.next()) {
        QStringList row;
        for (int i = 0; i < record.count(); ++i)
            row.append(valueText(q.value(i)));
        rows.rows.append(row);
    }
    if (q.lastError().isValid())
        throw Error(QStringLiteral("%1 in %2").arg(q.lastError().text(), sql));
    return rows;
}

} // namespace eschf::test
