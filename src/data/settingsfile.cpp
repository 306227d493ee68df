// Placeholder until the settings file lands.
#include "data/settingsfile.h"

#include <QCoreApplication>
#include <QDir>

namespace eschf {

QString defaultSettingsPath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("MdbConnect.ini"));
}

} // namespace eschf
