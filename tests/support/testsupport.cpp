#include "testsupport.h"

#include "data/error.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <sqlite3.h>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace eschf::test {

namespace {

struct Db
{
    sqlite3* handle = nullptr;
    explicit Db(const QString& filePath)
    {
        if (sqlite3_open(filePath.toUtf8().constData(), &handle) != SQLITE_OK)
            throw Error(QStringLiteral("cannot open %1").arg(filePath));
        sqlite3_busy_timeout(handle, 10000);
    }
    ~Db() { sqlite3_close(handle); }
};

// Runs SQL on an open handle; what fails is thrown with `what` in front of SQLite's reason.
void execOn(sqlite3* handle, const QByteArray& sql, const QString& what)
{
    char* message = nullptr;
    if (sqlite3_exec(handle, sql.constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : "unknown error");
        sqlite3_free(message);
        throw Error(QStringLiteral("%1: %2").arg(what, text));
    }
}

QString columnText(sqlite3_stmt* stmt, int column)
{
    if (sqlite3_column_type(stmt, column) == SQLITE_NULL)
        return QStringLiteral("NULL");
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)));
}

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
    execOn(db.handle, sql.toUtf8(), QStringLiteral("SQL failed on %1").arg(filePath));
}

QString querySqlite(const QString& filePath, const QString& sql)
{
    Db db(filePath);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db.handle, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        throw Error(QString::fromUtf8(sqlite3_errmsg(db.handle)));
    const QString result = sqlite3_step(stmt) == SQLITE_ROW ? columnText(stmt, 0) : QString();
    sqlite3_finalize(stmt);
    return result;
}

SqliteRows selectSqlite(const QString& filePath, const QString& sql)
{
    Db db(filePath);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db.handle, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        throw Error(QString::fromUtf8(sqlite3_errmsg(db.handle)));
    SqliteRows result;
    const int columns = sqlite3_column_count(stmt);
    for (int c = 0; c < columns; ++c)
        result.columns.append(QString::fromUtf8(sqlite3_column_name(stmt, c)));
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        QStringList row;
        for (int c = 0; c < columns; ++c)
            row.append(columnText(stmt, c));
        result.rows.append(row);
    }
    sqlite3_finalize(stmt);
    return result;
}

struct SqliteWriteLock::Handle
{
    Db db;
    explicit Handle(const QString& filePath) : db(filePath) {}
};

SqliteWriteLock::SqliteWriteLock(const QString& filePath, bool wait)
    : m_handle(std::make_unique<Handle>(filePath))
{
    if (!wait) {
        sqlite3_busy_timeout(m_handle->db.handle, 0);
        if (sqlite3_exec(m_handle->db.handle, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
            m_handle.reset();
        return;
    }
    execOn(m_handle->db.handle, "BEGIN IMMEDIATE",
           QStringLiteral("cannot take the write lock of %1").arg(filePath));
}

SqliteWriteLock::~SqliteWriteLock()
{
    release();
}

void SqliteWriteLock::release()
{
    if (m_handle) {
        sqlite3_exec(m_handle->db.handle, "ROLLBACK", nullptr, nullptr, nullptr);
        m_handle.reset();
    }
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

void seedDirectory(const QString& filePath)
{
    QFile script(testDataPath(QStringLiteral("directory.sql")));
    if (!script.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("cannot read %1").arg(script.fileName()));
    execSqlite(filePath, QString::fromUtf8(script.readAll()));
}

void writeSettings(const QString& filePath, const QString& line1, const QString& line2)
{
    QFile file(filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw Error(QStringLiteral("cannot write %1").arg(filePath));
    file.write((line1 + QStringLiteral("\r\n") + line2 + QStringLiteral("\r\n")).toUtf8());
}

QString sqliteOdbcDriver()
{
    // As unixODBC has it registered: under Wine too, whose odbc32 hands connections to the host's.
    QStringList registered;
    QFile ini(QStringLiteral("/etc/odbcinst.ini"));
    if (ini.open(QIODevice::ReadOnly)) {
        static const QRegularExpression section(QStringLiteral("^\\[(.+)\\]\\s*$"));
        for (const QByteArray& line : ini.readAll().split('\n')) {
            const QRegularExpressionMatch m = section.match(QString::fromUtf8(line));
            if (m.hasMatch())
                registered << m.captured(1);
        }
    }
    for (const QString& name : {QStringLiteral("SQLite3"), QStringLiteral("SQLite3 ODBC Driver")}) {
        if (registered.contains(name))
            return name;
    }
    return {};
}

QString sqliteConnectionString(const QString& databaseFile)
{
    return QStringLiteral("Provider=SQLite;Data Source=") + databaseFile;
}

namespace {

#ifdef Q_OS_LINUX
bool setImmutable(const QString& folder, bool on)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}
#endif

#ifdef Q_OS_WIN
// Functions only Wine's DLLs export; void (*)() is the type any function pointer casts through.
using AnyFunction = void (*)();
AnyFunction wineExport(const wchar_t* module, const char* name)
{
    const HMODULE handle = GetModuleHandleW(module);
    return handle != nullptr ? reinterpret_cast<AnyFunction>(GetProcAddress(handle, name)) : nullptr;
}
#endif

#ifdef Q_OS_LINUX
// Whether a new entry can still be made in the folder: the lock is real only when it cannot.
bool canCreateIn(const QString& folder)
{
    QFile probe(QDir(folder).filePath(QStringLiteral(".lock-probe")));
    if (!probe.open(QIODevice::WriteOnly))
        return false;
    probe.close();
    probe.remove();
    return true;
}
#endif

} // namespace

bool underWine()
{
#ifdef Q_OS_WIN
    return wineExport(L"ntdll.dll", "wine_get_version") != nullptr;
#else
    return false;
#endif
}

QString hostPath(const QString& path)
{
#ifdef Q_OS_WIN
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(wineExport(L"kernel32.dll", "wine_get_unix_file_name"));
    if (unixName == nullptr)
        return path;
    const QString native = QDir::toNativeSeparators(QDir(path).absolutePath());
    char* name = unixName(reinterpret_cast<const wchar_t*>(native.utf16()));
    if (name == nullptr)
        return path;
    const QString result = QString::fromUtf8(name);
    HeapFree(GetProcessHeap(), 0, name);
    return result;
#else
    return path;
#endif
}

FolderLock::FolderLock(QString folder) : m_folder(std::move(folder))
{
#ifdef Q_OS_LINUX
    if (::geteuid() == 0) {
        m_immutable = setImmutable(m_folder, true);
    } else {
        struct stat info
        {
        };
        if (::stat(QFile::encodeName(m_folder).constData(), &info) == 0) {
            m_mode = info.st_mode & 07777;
            ::chmod(QFile::encodeName(m_folder).constData(), 0555);
        }
    }
    m_locked = !canCreateIn(m_folder);
    if (!m_locked)
        unlock();
#elif defined(Q_OS_WIN)
    const QDir dir(m_folder);
    m_locked = true;
    for (const QString& name : dir.entryList(QDir::Files)) {
        const QString native = QDir::toNativeSeparators(dir.filePath(name));
        const HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t*>(native.utf16()), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            m_locked = false;
        else
            m_handles.append(handle);
    }
    if (!m_locked)
        unlock();
#endif
}

FolderLock::~FolderLock()
{
    unlock();
}

void FolderLock::unlock()
{
#ifdef Q_OS_LINUX
    if (m_immutable)
        setImmutable(m_folder, false);
    else if (m_mode >= 0)
        ::chmod(QFile::encodeName(m_folder).constData(), static_cast<mode_t>(m_mode));
    m_mode = -1;
#elif defined(Q_OS_WIN)
    for (void* handle : std::as_const(m_handles))
        CloseHandle(handle);
    m_handles.clear();
#endif
    m_locked = false;
    m_immutable = false;
}

} // namespace eschf::test
