#include "data/fileidentity.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <optional>
#include <sys/stat.h>
#endif

namespace eschf {

namespace {

#ifdef Q_OS_UNIX
std::optional<struct stat> statusOf(const QString& path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return info;
}

QString identityOf(const struct stat& info)
{
    return QString::number(quint64(info.st_dev)) + u':' + QString::number(quint64(info.st_ino));
}
#endif

} // namespace

QString fileIdentity(const QString& path)
{
#ifdef Q_OS_UNIX
    const std::optional<struct stat> info = statusOf(path);
    return info ? identityOf(*info) : QString();
#else
    // Names are compared without regard to case there, links resolved.
    return QFileInfo(path).canonicalFilePath().toCaseFolded();
#endif
}

QString fileVersion(const QString& path)
{
#ifdef Q_OS_UNIX
    const std::optional<struct stat> info = statusOf(path);
    if (!info)
        return QString();
    return QStringLiteral("%1:%2:%3.%4")
        .arg(identityOf(*info))
        .arg(qint64(info->st_size))
        .arg(qint64(info->st_mtim.tv_sec))
        .arg(qint64(info->st_mtim.tv_nsec));
#else
    const QFileInfo info(path);
    if (!info.exists())
        return QString();
    return fileIdentity(path) + u':' + QString::number(info.size()) + u':' +
           QString::number(info.lastModified().toMSecsSinceEpoch());
#endif
}

} // namespace eschf
