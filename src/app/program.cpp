#include "app/program.h"

#include "app/messages.h"
#include "app/tfrmmain.h"
#include "data/settingsfile.h"
#include "data/tdm.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace eschf {

namespace {

// The operators read Russian whatever the system's language.
void loadQtTranslations(QApplication& app)
{
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    const QStringList folders{
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations")),
        QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    auto translator = std::make_unique<QTranslator>();
    for (const QString& folder : folders) {
        if (translator->load(russian, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
            translator->setParent(&app);
            QCoreApplication::installTranslator(translator.release());
            return;
        }
    }
}

} // namespace

void prepareApplication(QApplication& app)
{
    QFont tahoma = QApplication::font();
    tahoma.setFamilies({QStringLiteral("Tahoma")});
    // Where Tahoma is not installed the font system picks a close sans-serif.
    tahoma.setStyleHint(QFont::SansSerif);
    QApplication::setFont(tahoma);
    loadQtTranslations(app);
}

int runLoader(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Загрузка ЭСЧФ в базу"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption configOption(
        QStringLiteral("config"),
        QStringLiteral("Файл настроек вместо %1.").arg(QDir::toNativeSeparators(defaultSettingsPath())),
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
