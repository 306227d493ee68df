// Placeholder until start-up lands.
#include "import/startup.h"

namespace eschf {

QString settingsMissingMessage()
{
    return QStringLiteral("Файл MdbConnect.ini не найден.");
}

StartupState runStartup(TDM&, const QString& settingsPath)
{
    StartupState state;
    state.settingsPath = settingsPath;
    state.failure = QStringLiteral("start-up is not built yet");
    return state;
}

} // namespace eschf
