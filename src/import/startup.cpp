#include "import/startup.h"

#include "data/error.h"
#include "data/tdm.h"

#include <QFileInfo>

namespace eschf {

namespace {

// The own organisation that must not start the download script.
const QString noDownloadUnn = QStringLiteral("100200300");

bool settingsFileExists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

void readOwnUnn(TDM& dm, StartupState& state)
{
    // Left open: the import reads the own taxpayer number from it for every invoice.
    dm.SelNastr.close();
    dm.SelNastr.open();
    state.ownUnn = dm.SelNastr.eof() ? QString() : dm.SelNastr.field(u"UNN").toString();
}

// A failure must say something, or start-up would pass for a success.
QString failureText(const QString& message, const QStringList& secrets)
{
    if (message.trimmed().isEmpty())
        return QStringLiteral("Запуск прерван неизвестной ошибкой.");
    return maskSecrets(message, secrets);
}

void purgeIncomplete(TDM& dm, StartupState& state)
{
    dm.DelZero.exec();
    state.purged = dm.DelZero.numRowsAffected();
}

void countIncomplete(TDM& dm, StartupState& state)
{
    dm.CountZero.open();
    state.incomplete = dm.CountZero.field(u"ZeroCount").toInt();
    dm.CountZero.close();
}

} // namespace

QString settingsMissingMessage()
{
    return QStringLiteral("Файл MdbConnect.ini не найден.");
}

StartupState runStartup(TDM& dm, const QString& settingsPath, bool purge)
{
    StartupState state;
    state.settingsPath = settingsPath;
    if (!settingsFileExists(settingsPath))
        return state;
    state.settingsFound = true;

    QStringList secrets;
    try {
        state.settings = readSettingsFile(settingsPath);
        state.path = invoiceFolderPrefix(state.settings->invoiceFolder);
        state.connection = translateConnectionString(state.settings->connectionString,
                                                     state.settings->directory, installedOdbcDrivers());
        secrets = state.connection->secrets;
        dm.open(*state.connection);
        readOwnUnn(dm, state);
        state.downloadEnabled = *state.ownUnn != noDownloadUnn;
        if (purge)
            purgeIncomplete(dm, state);
        else
            countIncomplete(dm, state);
    } catch (const Error& e) {
        state.failure = failureText(e.message(), secrets);
    } catch (const std::exception& e) {
        state.failure = failureText(QString::fromLocal8Bit(e.what()), secrets);
    } catch (...) {
        state.failure = failureText(QString(), secrets);
    }
    return state;
}

} // namespace eschf
