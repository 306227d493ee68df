#pragma once

#include <QIODevice>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdio>
#include <optional>

class QTextStream;

namespace eschf {

class TDM;
class ReportFile;
struct StartupState;
enum class RunMode;

// Exit statuses of eschf-import: scheduled jobs tell a clean run from one that needs a look.
enum ExitStatus : int
{
    ExitClean = 0,         // every file loaded or already there (also: nothing to load)
    ExitFilesLeft = 1,     // some file ended otherwise and stays for the operator
    ExitStartupFailed = 2, // nothing was imported: a wrong argument, or the settings, the connection or
                           // the purge failed
};

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

    // Returns the exit status (ExitClean or ExitFilesLeft). report, when given, receives a row for
    // every file once the run has ended (not when it was cut short); a report that cannot be written
    // makes it ExitFilesLeft.
    int run(TDM& dm, const StartupState& state, bool updateOld, RunMode mode, ReportFile* report = nullptr);

private:
    QTextStream& m_out;
    QTextStream& m_err;
    bool m_showProgress;
    const std::atomic<bool>* m_cancel = nullptr;
};

// Whether the standard error stream is a terminal (a progress line only makes sense there).
bool stderrIsTerminal();

// Writes to stdout or stderr and flushes: UTF-8 on every platform, except that a Windows console is
// given UTF-16, which it shows right whatever its code page.
void writeConsole(FILE* stream, const QString& text);

// stdout or stderr as a device for a QTextStream, written through writeConsole.
class ConsoleDevice : public QIODevice
{
public:
    explicit ConsoleDevice(FILE* stream);

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    FILE* m_stream;
};

// Qt's own messages (a driver's "Unable to execute statement" and the like) kept off stderr, which
// holds the program's lines alone: what a driver said reaches the user inside the file's reason.
// A fatal message is still written.
void keepQtMessagesOffStderr();

// SIGINT and SIGTERM set the flag instead of killing the program halfway through a file.
void cancelOnInterrupt(std::atomic<bool>* flag);

} // namespace eschf
