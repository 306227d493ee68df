#pragma once

#include <QString>
#include <QStringList>

namespace eschf {

// What Qt needs to open the database named by line 1 of MdbConnect.ini.
struct ConnectionParams
{
    QString driver;       // "QODBC" or "QSQLITE"
    QString databaseName; // the ODBC connection string as QODBC takes it, or the SQLite file's absolute path
    QString connectOptions; // QSqlDatabase::setConnectOptions text
    QStringList secrets;    // passwords that no message may show
};

// Which SQL Server ODBC drivers a translation may choose from.
enum class DriverPlatform
{
    Windows, // the Microsoft drivers, down to the "SQL Server" driver every Windows has
    Unix,    // Microsoft's ODBC Driver NN for SQL Server, else FreeTDS
};

// Translates line 1 of the settings file. baseDir is the settings file's folder (an SQLite file is
// relative to it); odbcDrivers are the names of the installed ODBC drivers, as installedOdbcDrivers()
// gives them. Throws Error for a string that names no database it can reach; no password is ever in
// its text.
ConnectionParams translateConnectionString(const QString& connectionString, const QString& baseDir,
                                           const QStringList& odbcDrivers);
// The same, choosing the driver as on the given platform.
ConnectionParams translateConnectionString(const QString& connectionString, const QString& baseDir,
                                           const QStringList& odbcDrivers, DriverPlatform platform);

// The ODBC drivers registered with the driver manager, empty when there is none.
QStringList installedOdbcDrivers();

// text with every secret, and every value of a Password= or PWD= keyword, replaced by "***".
QString maskSecrets(QString text, const QStringList& secrets);

} // namespace eschf
