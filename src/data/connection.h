#pragma once

#include <QString>
#include <QStringList>

namespace eschf {

// What Qt needs to open the database named by line 1 of MdbConnect.ini.
struct ConnectionSpec
{
    QString driver;         // "QODBC" or "QSQLITE"
    QString databaseName;   // the ODBC connection string, or the SQLite file's absolute path
    QString connectOptions; // QSqlDatabase::setConnectOptions text
    QStringList secrets;    // passwords that no message may show
};

// Translates line 1 of the settings file. baseDir is the settings file's folder (an SQLite file is
// relative to it); odbcDrivers are the names of the installed ODBC drivers, as installedOdbcDrivers()
// gives them. Throws Error for a string that names no database it can reach.
ConnectionSpec translateConnectionString(const QString& connectionString, const QString& baseDir,
                                         const QStringList& odbcDrivers);

// The ODBC drivers registered with the driver manager, empty when there is none.
QStringList installedOdbcDrivers();

// text with every secret replaced by "***".
QString maskSecrets(QString text, const QStringList& secrets);

} // namespace eschf
