#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>

class QTextStream;

namespace eschf {

class TDM;
struct StartupState;

// Exit statuses of eschf-import: scheduled jobs tell a clean run from one that needs a look.
enum ExitStatus : int
{
    ExitClean = 0,         // every file loaded or already there (also: nothing to load)
    ExitFilesLeft = 1,     // some file ended otherwise and stays for the operator
    ExitStartupFailed = 2, // nothing was imported: the settings, the connection or the purge failed
};

struct ConsoleOptions
{
    QString configPath; // --config FILE; empty: MdbConnect.ini in the program folder
    bool updateOld = false;
};

// The program's arguments after its name. A wrong argument gives nothing and its message in *error.
std::optional<ConsoleOptions> parseConsoleArguments(const QStringList& arguments, QString* error);
QString consoleUsage();

// One import run over the invoice folder of a successful start-up, reported on the console:
// stdout one line per file as it ends ("PATH<TAB>log line"), then the summary's lines; stderr the
// reason of every file that stays, and, when it is a terminal, a progress line rewriting itself.
class ConsoleImport
{
public:
    ConsoleImport(QTextStream& out, QTextStream& err, bool showProgress);

    // Checked between the steps of a file: when it becomes true the file in progress is rolled back
    // and the run ends without a summary.
    void setCancelFlag(const std::atomic<bool>* cancel) { m_cancel = cancel; }

    // Returns the exit status (ExitClean or ExitFilesLeft).
    int run(TDM& dm, const StartupState& state, bool updateOld);

private:
    QTextStream& m_out;
    QTextStream& m_err;
    bool m_showProgress;
    const std::atomic<bool>* m_cancel = nullptr;
};

// Whether the standard error stream is a terminal (a progress line only makes sense there).
bool stderrIsTerminal();
// Makes the console show what the program writes as UTF-8 (on Windows it otherwise uses the OEM
// code page).
void useUtf8Console();
// SIGINT and SIGTERM set the flag instead of killing the program halfway through a file.
void cancelOnInterrupt(std::atomic<bool>* flag);

} // namespace eschf
