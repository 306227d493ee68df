// eschf-import: loads the invoice folder into the database without a window. Start-up is the
// same as the main window's; what it finds goes to stdout, what stops it to stderr.
#include "data/settingsfile.h"
#include "data/tdm.h"
#include "import/startup.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <variant>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace {

enum ExitStatus
{
    Success = 0,
    BadArguments = 1,
    StartupFailed = 2,
};

struct Options
{
    QString settingsPath;
    bool updateOld = false; // rewrite stored invoices that are not reconciled yet
};

// UTF-8 on every platform. A Windows console is given UTF-16 instead, which it shows right
// whatever its code page; redirected output stays UTF-8.
void write(FILE* stream, const QString& text)
{
#ifdef Q_OS_WIN
    const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        std::fflush(stream);
        DWORD written = 0;
        WriteConsoleW(handle, reinterpret_cast<const wchar_t*>(text.utf16()), DWORD(text.size()), &written,
                      nullptr);
        return;
    }
#endif
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void writeLine(FILE* stream, const QString& text)
{
    write(stream, text + u'\n');
}

// The options, or the exit status when there is nothing more to do (help, version, a mistake).
std::variant<Options, int> parseOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Загрузка ЭСЧФ из папки в базу, без окна.\n"
                       "Код завершения: 0 - успешно, 1 - ошибка в аргументах, 2 - ошибка при запуске."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption config(
        QStringLiteral("config"),
        QStringLiteral("Файл настроек (по умолчанию MdbConnect.ini в папке программы)."),
        QStringLiteral("FILE"));
    const QCommandLineOption updateOld(QStringLiteral("update-old"),
                                       QStringLiteral("Перезаписывать в базе не сверенные ЭСЧФ."));
    parser.addOption(config);
    parser.addOption(updateOld);

    if (!parser.parse(arguments)) {
        writeLine(stderr, parser.errorText());
        writeLine(stderr, QStringLiteral("Справка: eschf-import --help"));
        return BadArguments;
    }
    if (parser.isSet(help)) {
        write(stdout, parser.helpText());
        return Success;
    }
    if (parser.isSet(version)) {
        writeLine(stdout,
                  QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion());
        return Success;
    }
    if (!parser.positionalArguments().isEmpty()) {
        writeLine(stderr,
                  QStringLiteral("Лишний аргумент: %1").arg(parser.positionalArguments().constFirst()));
        writeLine(stderr, QStringLiteral("Справка: eschf-import --help"));
        return BadArguments;
    }

    Options options;
    options.settingsPath = parser.isSet(config) ? QFileInfo(parser.value(config)).absoluteFilePath()
                                                : eschf::defaultSettingsPath();
    options.updateOld = parser.isSet(updateOld);
    return options;
}

void reportStartup(const eschf::StartupState& state)
{
    const QString unn = state.ownUnn.value_or(QString());
    writeLine(stdout, unn.isEmpty()
                          ? QStringLiteral("УНП своей организации не задан (в tbNastrPredpr нет строки).")
                          : QStringLiteral("УНП своей организации: %1").arg(unn));
    writeLine(stdout, QStringLiteral("Удалено незавершённых ЭСЧФ: %1").arg(state.purged.value_or(0)));
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

    eschf::TDM dm;
    const eschf::StartupState state = eschf::runStartup(dm, options.settingsPath);
    if (!state.settingsFound) {
        writeLine(stderr, eschf::settingsMissingMessage());
        writeLine(stderr, QStringLiteral("Искали: %1").arg(QDir::toNativeSeparators(options.settingsPath)));
        return StartupFailed;
    }
    if (!state.succeeded()) {
        writeLine(stderr, state.failure);
        return StartupFailed;
    }
    reportStartup(state);

    // The import run goes here: every *.xml file under state.path, with options.updateOld, on dm.

    return Success;
}
