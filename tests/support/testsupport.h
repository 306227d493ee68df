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

} // namespace eschf::test
