#pragma once

#include "data/connection.h"
#include "testsupport.h"

#include <QSqlDatabase>
#include <QString>
#include <QtTest>

namespace eschf::test {

// Where a test's rows run: the embedded database, or a SQL Server named by ESCHF_TEST_MSSQL (an
// ODBC connection string to an empty database the tests may fill and empty).
using Rows = SqliteRows;

enum class Backend
{
    Sqlite,
    MsSql,
};

// The two rows "SQLite" and "SQL Server" of a test's global data (initTestCase_data).
void addBackendRows();
// The backend of the current global row (after addBackendRows()).
Backend currentBackend();
QString serverConnectionString();

// For init(): the backend of the row, the server's rows skipped when no server is named.
#define ESCHF_FETCH_BACKEND(var)                                                                             \
    const eschf::test::Backend var = eschf::test::currentBackend();                                          \
    if (var == eschf::test::Backend::MsSql && eschf::test::serverConnectionString().isEmpty())               \
    QSKIP("ESCHF_TEST_MSSQL names no SQL Server")

// An empty SQL Server database and the schema's tables.
// The tables of db/mssql/schema.sql, children before their parents.
const QStringList& serverTables();
// Drops the schema's tables that exist and makes them anew.
void recreateServerTables(const QSqlDatabase& db);
void dropServerTables(const QSqlDatabase& db);
// One batch; an INSERT INTO tbPredpr naming idPredpr is let through the identity column.
void execOnServer(const QSqlDatabase& db, const QString& sql);
// Every row of a query, as TestDatabase::select gives them.
Rows selectOnServer(const QSqlDatabase& db, const QString& sql);

// A database for one test, or the benchmark's server. SQLite: a file made from db/sqlite/schema.sql. SQL
// Server: the tables of db/mssql/schema.sql made afresh in the named database (leftovers of an interrupted
// run dropped first) and dropped again when it goes. The test's own SQL runs outside the program's data
// module; values read back come as text in one form for both (NULL as "NULL", dates as "YYYY-MM-DD
// HH:MM:SS.SSS", bits as 0 and 1).
class TestDatabase
{
public:
    TestDatabase(Backend backend, QString sqliteFile);
    // The server an ODBC connection string names, rather than ESCHF_TEST_MSSQL's.
    explicit TestDatabase(const QString& serverConnection);
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    Backend backend() const { return m_backend; }
    bool isServer() const { return m_backend == Backend::MsSql; }
    // Line 1 of a settings file that reaches this database.
    QString connectionString() const;
    // As the program translates that line.
    ConnectionParams connectionParams() const;
    // The SQLite file; empty for a server.
    QString sqliteFile() const { return isServer() ? QString() : m_sqliteFile; }

    // tests/data/directory.sql.
    void seedDirectory() const;
    // SQL with one or more statements; an INSERT INTO tbPredpr naming idPredpr is let through the
    // server's identity column.
    void exec(const QString& sql) const;
    // The first column of the first row, as text.
    QString query(const QString& sql) const;
    // Every column of the first row, joined by "|": one comparison for a whole row, without the
    // dialects' differing ways of joining text in SQL.
    QString row(const QString& sql) const;
    // Every row so, in the order the query gives (none: empty): what group_concat gave on SQLite.
    QStringList lines(const QString& sql) const;
    Rows select(const QString& sql) const;
    // Every row of every table of the schema, as text in a fixed order: what a test compares to
    // tell that nothing in the database changed.
    QString contents() const;

private:
    void openServer(const QString& connection);
    QSqlDatabase server() const;

    Backend m_backend;
    QString m_sqliteFile;
    QString m_serverConnection; // the ODBC string of the server
    QString m_connectionName;   // the server connection of this database
};

} // namespace eschf::test

Q_DECLARE_METATYPE(eschf::test::Backend)
