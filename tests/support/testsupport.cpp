#include "testsupport.h"

#include "data/error.h"

#include <QDir>
#include <QFile>

#include <sqlite3.h>

namespace eschf::test {

namespace {

struct Db
{
    sqlite3* handle = nullptr;
    explicit Db(const QString& filePath)
    {
        if (sqlite3_open(QFile::encodeName(filePath).constData(), &handle) != SQLITE_OK)
            throw Error(QStringLiteral("cannot open %1").arg(filePath));
        sqlite3_busy_timeout(handle, 10000);
    }
    ~Db() { sqlite3_close(handle); }
};

} // namespace

QString sourcePath(const QString& relative)
{
    return QDir(QStringLiteral(ESCHF_SOURCE_DIR)).filePath(relative);
}

QString testDataPath(const QString& relative)
{
    return QDir(QStringLiteral(ESCHF_TEST_DATA_DIR)).filePath(relative);
}

void execSqlite(const QString& filePath, const QString& sql)
{
    Db db(filePath);
    char* message = nullptr;
    if (sqlite3_exec(db.handle, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : "unknown error");
        sqlite3_free(message);
        throw Error(QStringLiteral("SQL failed on %1: %2").arg(filePath, text));
    }
}

QString querySqlite(const QString& filePath, const QString& sql)
{
    Db db(filePath);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db.handle, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        throw Error(QString::fromUtf8(sqlite3_errmsg(db.handle)));
    QString result;
    if (sqlite3_step(stmt) == SQLITE_ROW) {
        result = sqlite3_column_type(stmt, 0) == SQLITE_NULL
                     ? QStringLiteral("NULL")
                     : QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    }
    sqlite3_finalize(stmt);
    return result;
}

void createSqliteDatabase(const QString& filePath)
{
    QFile::remove(filePath);
    QFile::remove(filePath + QStringLiteral("-wal"));
    QFile::remove(filePath + QStringLiteral("-shm"));
    QFile schema(sourcePath(QStringLiteral("db/sqlite/schema.sql")));
    if (!schema.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("cannot read %1").arg(schema.fileName()));
    execSqlite(filePath, QString::fromUtf8(schema.readAll()));
}

void writeSettings(const QString& filePath, const QString& line1, const QString& line2)
{
    QFile file(filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw Error(QStringLiteral("cannot write %1").arg(filePath));
    file.write((line1 + QStringLiteral("\r\n") + line2 + QStringLiteral("\r\n")).toUtf8());
}

QString sqliteConnectionString(const QString& databaseFile)
{
    return QStringLiteral("Provider=SQLite;Data Source=") + databaseFile;
}

} // namespace eschf::test
