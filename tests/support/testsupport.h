#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace eschf::test {

QString sourcePath(const QString& relative);   // a file of the source tree
QString testDataPath(const QString& relative); // a file under tests/data

// Makes an SQLite database at filePath from db/sqlite/schema.sql (an existing file is replaced).
void createSqliteDatabase(const QString& filePath);
// Fills an SQLite database with the organisation directory of tests/data/directory.sql: the own
// organisation 190000001 (id 1), supplier 290000002 (id 2), supplier 390000003 with its head
// office (id 3) and branch 7 (id 4, which branch 5 is redirected to), three branches of 590000005
// (ids 10-12), consignee 690000006 (id 20) and two documents for FindSkl.
void seedDirectory(const QString& filePath);
// Runs a script of SQL on an SQLite file, outside Qt (the tests' own seeding and checks).
void execSqlite(const QString& filePath, const QString& sql);
// The first column of the first row of a query on an SQLite file, as text; a null reads as "NULL".
QString querySqlite(const QString& filePath, const QString& sql);

// Every row of a query on an SQLite file, each value as text (a null reads as "NULL").
struct SqliteRows
{
    QStringList columns;
    QList<QStringList> rows;
};
SqliteRows selectSqlite(const QString& filePath, const QString& sql);

// Holds the write lock of an SQLite database, as another program in the middle of a long write
// would, until released or destroyed.
class SqliteWriteLock
{
public:
    // wait false: no waiting for another writer; held() tells whether the lock was had.
    explicit SqliteWriteLock(const QString& filePath, bool wait = true);
    ~SqliteWriteLock();
    bool held() const { return m_handle != nullptr; }
    SqliteWriteLock(const SqliteWriteLock&) = delete;
    SqliteWriteLock& operator=(const SqliteWriteLock&) = delete;

    void release();

private:
    struct Handle;
    std::unique_ptr<Handle> m_handle;
};

// Writes MdbConnect.ini-style lines as UTF-8, each ended by CR LF.
void writeSettings(const QString& filePath, const QString& line1, const QString& line2);

// The SQLite connection string for a database file.
QString sqliteConnectionString(const QString& databaseFile);

// The name the SQLite 3 ODBC driver is registered under; empty when it is not.
QString sqliteOdbcDriver();

// Whether the tests run under Wine rather than on Windows itself.
bool underWine();
// A file name as a driver of the host system takes it: under Wine, ODBC drivers are the host's
// (Wine's odbc32 hands the connection string to unixODBC as it stands), so they need the Unix
// name; elsewhere the name itself.
QString hostPath(const QString& path);

// Keeps the entries of a folder from being deleted or added while it lives: as root (whom
// permissions do not stop) through the file system's immutable flag, otherwise by taking away the
// write permission. On Windows the files in it are held open without delete sharing, as another
// program reading them would (which keeps them from being deleted only). locked() is false where
// none of this holds; the test then has to skip.
class FolderLock
{
public:
    explicit FolderLock(QString folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    bool locked() const { return m_locked; }
    void unlock();

private:
    QString m_folder;
    bool m_locked = false;
    bool m_immutable = false;
    int m_mode = -1;        // the permissions to give back
    QList<void*> m_handles; // the files held open on Windows
};

} // namespace eschf::test
