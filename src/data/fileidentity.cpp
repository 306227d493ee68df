#include "data/fileidentity.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace eschf {

QString fileIdentity(const QString& path)
{
#ifdef Q_OS_UNIX
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return QString();
    return QString::number(quint64(info.st_dev)) + u':' + QString::number(quint64(info.st_ino));
#else
    // Names are compared without regard to case there, links resolved.
    return QFileInfo(path).canonicalFilePath().toCaseFolded();
#endif
}

} // namespace eschf
