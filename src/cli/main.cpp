// eschf-import: loads the invoice folder into the database without a window. Start-up is the
// same as the main window's; what it finds and what stops it go to stderr, so that stdout holds
// the files' outcomes and the summary alone.
#include "cli/consoleimport.h"
#include "data/settingsfile.h"
#include "data/tdm.h"
#include "import/importrun.h"
#include "import/invoiceview.h"
#include "import/report.h"
#include "import/startup.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <atomic>
#include <cstdio>
#include <memory>
#include <variant>

namespace {

struct Options
{
    QString settingsPath;
    bool updateOld = false; // rewrite stored invoices that are not reconciled yet
    eschf::RunMode mode = eschf::RunMode::Load;
    QString reportPath; // empty: no report
    QString showPath;   // an invoice to show instead of a run
};

void write(FILE* stream, const QString& text)
{
    eschf::writeConsole(stream, text);
}

void writeLine(FILE* stream, const QString& text)
{
    write(stream, text + u'\n');
}

// The options, or the exit status when there is nothing more to do (help, version, a mistake).
std::variant<Options, int> parseOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Загрузка ЭСЧФ из папки в базу, без окна.\n"
        "Код завершения: 0 - все файлы загружены или уже были в базе, 1 - часть файлов осталась в "
        "папке, 2 - ошибка в аргументах или при запуске."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption config(QStringLiteral("config"),
                                    QStringLiteral("Файл настроек (по умолчанию %1).")
                                        .arg(QDir::toNativeSeparators(eschf::defaultSettingsPath())),
                                    QStringLiteral("FILE"));
    const QCommandLineOption updateOld(QStringLiteral("update-old"),
                                       QStringLiteral("Перезаписывать в базе не сверенные ЭСЧФ."));
    const QCommandLineOption check(
        QStringLiteral("check"),
        QStringLiteral("Проверить без загрузки: каждый файл проходит все шаги загрузки, но база данных "
                       "и папка не меняются."));
    const QCommandLineOption report(
        QStringLiteral("report"),
        QStringLiteral("Записать отчёт о загрузке (проверке) в файл CSV для Excel."), QStringLiteral("FILE"));
    const QCommandLineOption show(
        QStringLiteral("show"),
        QStringLiteral("Показать ЭСЧФ из файла: что в ней и кого из её сторон знает справочник. База данных "
                       "и папка не меняются."),
        QStringLiteral("FILE"));
    parser.addOption(config);
    parser.addOption(show);
    parser.addOption(updateOld);
    parser.addOption(check);
    parser.addOption(report);

    if (!parser.parse(arguments)) {
        writeLine(stderr, parser.errorText());
        writeLine(stderr, QStringLiteral("Справка: eschf-import --help"));
        return eschf::ExitStartupFailed;
    }
    if (parser.isSet(help)) {
        write(stdout, parser.helpText());
        return eschf::ExitClean;
    }
    if (parser.isSet(version)) {
        writeLine(stdout,
                  QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion());
        return eschf::ExitClean;
    }
    if (!parser.positionalArguments().isEmpty()) {
        writeLine(stderr,
                  QStringLiteral("Лишний аргумент: %1").arg(parser.positionalArguments().constFirst()));
        writeLine(stderr, QStringLiteral("Справка: eschf-import --help"));
        return eschf::ExitStartupFailed;
    }

    Options options;
    options.settingsPath = parser.isSet(config) ? QFileInfo(parser.value(config)).absoluteFilePath()
                                                : eschf::defaultSettingsPath();
    options.updateOld = parser.isSet(updateOld);
    if (parser.isSet(check))
        options.mode = eschf::RunMode::Check;
    if (parser.isSet(report))
        options.reportPath = QFileInfo(parser.value(report)).absoluteFilePath();
    if (parser.isSet(show))
        options.showPath = QFileInfo(parser.value(show)).absoluteFilePath();
    return options;
}

void reportStartup(const eschf::StartupState& state)
{
    const QString unn = state.ownUnn.value_or(QString());
    writeLine(stderr, unn.isEmpty()
                          ? QStringLiteral("УНП своей организации не задан (в tbNastrPredpr нет строки).")
                          : QStringLiteral("УНП своей организации: %1").arg(unn));
    if (state.incomplete) {
        writeLine(stderr,
                  QStringLiteral("Незавершённых ЭСЧФ, которые загрузка удалит: %1").arg(*state.incomplete));
    } else {
        writeLine(stderr, QStringLiteral("Удалено незавершённых ЭСЧФ: %1").arg(state.purged.value_or(0)));
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("eschf-import"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ESCHF_VERSION));

    const auto parsed = parseOptions(QCoreApplication::arguments());
    if (const int* status = std::get_if<int>(&parsed))
        return *status;
    const Options& options = std::get<Options>(parsed);
    eschf::keepQtMessagesOffStderr();

    // A report that cannot be written is refused before anything is loaded.
    std::unique_ptr<eschf::ReportFile> report;
    if (!options.reportPath.isEmpty()) {
        report = std::make_unique<eschf::ReportFile>(options.reportPath);
        try {
            report->open();
        } catch (const eschf::Error& e) {
            writeLine(stderr, e.message());
            return eschf::ExitStartupFailed;
        }
    }

    eschf::TDM dm;
    const bool changesDatabase = options.mode == eschf::RunMode::Load && options.showPath.isEmpty();
    const eschf::StartupState state = eschf::runStartup(dm, options.settingsPath, changesDatabase);
    if (!state.settingsFound) {
        writeLine(stderr, eschf::settingsMissingMessage());
        writeLine(stderr, QStringLiteral("Искали: %1").arg(QDir::toNativeSeparators(options.settingsPath)));
        return eschf::ExitStartupFailed;
    }
    if (!state.succeeded()) {
        writeLine(stderr, state.failure);
        return eschf::ExitStartupFailed;
    }
    if (!options.showPath.isEmpty()) {
        write(stdout, eschf::invoiceViewText(
                          eschf::readInvoiceView(dm, state.ownUnn.value_or(QString()), options.showPath)));
        return eschf::ExitClean;
    }
    reportStartup(state);

    eschf::ConsoleDevice outDevice(stdout);
    eschf::ConsoleDevice errDevice(stderr);
    QTextStream out(&outDevice);
    QTextStream err(&errDevice);
    static std::atomic<bool> interrupted{false};
    eschf::cancelOnInterrupt(&interrupted);
    eschf::ConsoleImport import(out, err, eschf::stderrIsTerminal());
    import.setCancelFlag(&interrupted);
    return import.run(dm, state, options.updateOld, options.mode, report.get());
}
