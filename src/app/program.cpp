#include "app/program.h"

#include "app/messages.h"
#include "app/tfrmmain.h"
#include "data/settingsfile.h"
#include "data/tdm.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

namespace eschf {

int runLoader(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Загрузка ЭСЧФ в базу"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption configOption(
        QStringLiteral("config"), QStringLiteral("Файл настроек вместо MdbConnect.ini в папке программы."),
        QStringLiteral("PATH"));
    parser.addOption(configOption);
    if (!parser.parse(arguments)) {
        showMessage(nullptr, MessageKind::Error, parser.errorText());
        return 2;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    const QString settingsPath = parser.isSet(configOption)
                                     ? QFileInfo(parser.value(configOption)).absoluteFilePath()
                                     : defaultSettingsPath();
    TDM dm(QStringLiteral("MDBConnection"));
    TfrmMain window(dm, settingsPath);
    if (window.settingsMissing())
        return 1;
    window.show();
    return QApplication::exec();
}

} // namespace eschf
