#pragma once

#include <QString>

namespace eschf::test {

QString sourcePath(const QString& relative);   // a file of the source tree
QString testDataPath(const QString& relative); // a file under tests/data

// Makes an SQLite database at filePath from db/sqlite/schema.sql (an existing file is replaced).
void createSqliteDatabase(const QString& filePath);
// Runs a script of SQL on an SQLite file, outside Qt (the tests' own seeding and checks).
void execSqlite(const QString& filePath, const QString& sql);
// The first column of the first row of a query on an SQLite file, as text; a null reads as "NULL".
QString querySqlite(const QString& filePath, const QString& sql);

// Writes MdbConnect.ini-style lines as UTF-8, each ended by CR LF.
void writeSettings(const QString& filePath, const QString& line1, const QString& line2);

// The SQLite connection string for a database file.
QString sqliteConnectionString(const QString& databaseFile);

// Keeps the entries of a folder from being deleted or added while it lives: as root (whom
// permissions do not stop) through the file system's immutable flag, otherwise by taking away the
// write permission. locked() is false where neither holds; the test then has to skip.
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
    int m_mode = -1; // the permissions to give back
};

} // namespace eschf::test
