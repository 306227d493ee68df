#include "data/fileaccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <QThread>

#include <windows.h>
#endif

namespace eschf {

#ifdef Q_OS_WIN

namespace {

QString lastErrorText(DWORD code)
{
    return qt_error_string(int(code));
}

const wchar_t* wide(const QString& path)
{
    return reinterpret_cast<const wchar_t*>(path.utf16());
}

} // namespace

WholeFile readWholeFile(const QString& path)
{
    WholeFile result;
    const QString native = QDir::toNativeSeparators(path);
    const HANDLE handle =
        CreateFileW(wide(native), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        result.error = lastErrorText(GetLastError());
        return result;
    }
    result.opened = true;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(handle, &size) && size.QuadPart > 0 && size.QuadPart < (qint64(1) << 31))
        result.bytes.reserve(qsizetype(size.QuadPart));
    // Read to the end rather than to the size seen at opening: the file may still be growing.
    char chunk[64 * 1024];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(handle, chunk, DWORD(sizeof chunk), &got, nullptr)) {
            result.error = lastErrorText(GetLastError());
            CloseHandle(handle);
            return result;
        }
        if (got == 0)
            break;
        result.bytes.append(chunk, qsizetype(got));
    }
    CloseHandle(handle);
    result.complete = true;
    return result;
}

bool deleteFile(const QString& path, QString* error)
{
    const QString native = QDir::toNativeSeparators(path);
    // Long enough for another run to finish reading the file, short enough not to stall this one.
    constexpr int kTries = 20;
    constexpr int kPauseMs = 50;
    for (int attempt = 1;; ++attempt) {
        if (DeleteFileW(wide(native)))
            return true;
        const DWORD code = GetLastError();
        if (code != ERROR_SHARING_VIOLATION || attempt == kTries) {
            *error = lastErrorText(code);
            return false;
        }
        QThread::msleep(kPauseMs);
    }
}

bool mayDeleteFile(const QString& path, QString* why)
{
    const QFileInfo file(path);
    if (!file.isWritable()) {
        *why = QStringLiteral("файл только для чтения");
        return false;
    }
    // Opening for deletion with every sharing allowed fails exactly when someone else's handle forbids it.
    const HANDLE handle = CreateFileW(wide(QDir::toNativeSeparators(path)), DELETE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *why = lastErrorText(GetLastError());
        return false;
    }
    CloseHandle(handle);
    return true;
}

#else

WholeFile readWholeFile(const QString& path)
{
    WholeFile result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    result.opened = true;
    result.bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.error = file.errorString();
        return result;
    }
    result.complete = true;
    return result;
}

bool deleteFile(const QString& path, QString* error)
{
    QFile file(path);
    if (file.remove())
        return true;
    *error = file.errorString();
    return false;
}

// Unlinking asks the folder alone; an immutable folder answers no to the same question.
bool mayDeleteFile(const QString& path, QString* why)
{
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (folder.isWritable())
        return true;
    *why = QStringLiteral("нет права записи в папку %1").arg(QDir::toNativeSeparators(folder.filePath()));
    return false;
}

#endif

} // namespace eschf
