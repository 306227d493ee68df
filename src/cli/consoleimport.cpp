#include "cli/consoleimport.h"

#include "data/error.h"
#include "data/tdm.h"
#include "import/importrun.h"
#include "import/report.h"
#include "import/startup.h"
#include "mapping/invoicedocument.h"

#include <QFileInfo>
#include <QTextStream>

#include <csignal>
#include <cstdio>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace eschf {

namespace {

const QString kEmptyFolder = QStringLiteral("В папке нет файлов.");

// Files that end like this leave nothing for the operator to do.
bool isClean(Outcome outcome)
{
    return outcome == Outcome::E || outcome == Outcome::F;
}

// A file whose log line keeps its path: the operator needs the reason to act on it.
bool keepsPath(Outcome outcome)
{
    return outcome == Outcome::G || outcome == Outcome::H || outcome == Outcome::I;
}

class ConsoleObserver : public ImportObserver
{
public:
    ConsoleObserver(QTextStream& out, QTextStream& err, bool showProgress, const QStringList& paths,
                    RunMode mode)
        : m_out(out), m_err(err), m_showProgress(showProgress), m_paths(paths), m_mode(mode)
    {
    }

    void fileStarted(int index) override
    {
        if (!m_showProgress)
            return;
        const QString doing =
            m_mode == RunMode::Check ? QStringLiteral("Проверка") : QStringLiteral("Загрузка");
        showProgress(QStringLiteral("%1: %2 из %3").arg(doing).arg(index + 1).arg(m_paths.size()));
    }

    void fileFinished(int index, const FileResult& result) override
    {
        clearProgress();
        const QString& path = m_paths.at(index);
        m_out << path << '\t' << result.lineText << '\n';
        m_out.flush();
        if (keepsPath(result.outcome)) {
            m_err << path << ": " << result.reason << '\n';
            m_err.flush();
        }
        if (!isClean(result.outcome))
            m_allClean = false;
        m_rows.append({QFileInfo(path).fileName(), result.lineText, result});
    }

    const QList<ReportRow>& rows() const { return m_rows; }

    void clearProgress()
    {
        if (m_shownWidth == 0)
            return;
        m_err << '\r' << QString(m_shownWidth, u' ') << '\r';
        m_err.flush();
        m_shownWidth = 0;
    }

    bool allClean() const { return m_allClean; }

private:
    void showProgress(const QString& text)
    {
        // Padded over whatever the previous line left, without relying on terminal escapes.
        m_err << '\r' << text.leftJustified(m_shownWidth);
        m_err.flush();
        m_shownWidth = text.size();
    }

    QTextStream& m_out;
    QTextStream& m_err;
    bool m_showProgress;
    const QStringList& m_paths;
    RunMode m_mode;
    qsizetype m_shownWidth = 0;
    bool m_allClean = true;
    QList<ReportRow> m_rows;
};

// Touched from a signal handler: only a lock-free atomic may be.
static_assert(std::atomic<bool>::is_always_lock_free);
std::atomic<bool>* g_interruptFlag = nullptr;

extern "C" void onInterrupt(int)
{
    if (g_interruptFlag)
        g_interruptFlag->store(true);
}

} // namespace

ConsoleImport::ConsoleImport(QTextStream& out, QTextStream& err, bool showProgress)
    : m_out(out), m_err(err), m_showProgress(showProgress)
{
}

int ConsoleImport::run(TDM& dm, const StartupState& state, bool updateOld, RunMode mode, ReportFile* report)
{
    const QStringList paths = listFolder(state.path, QStringLiteral("*.xml"), false);
    ConsoleObserver observer(m_out, m_err, m_showProgress, paths, mode);
    int status = ExitClean;
    if (paths.isEmpty()) {
        m_err << kEmptyFolder << '\n';
        m_err.flush();
    } else {
        InvoiceDocument document;
        ImportRun run(dm, state.connection.value_or(ConnectionParams{}), document,
                      state.ownUnn.value_or(QString()), updateOld, mode);
        run.setCancelFlag(m_cancel);
        const bool finished = run.run(paths, observer);
        observer.clearProgress();
        if (!finished) {
            m_err << (mode == RunMode::Check
                          ? QStringLiteral("Проверка прервана.")
                          : QStringLiteral("Загрузка прервана; незагруженные файлы остались в папке."))
                  << '\n';
            m_err.flush();
            return ExitFilesLeft;
        }
        // The window's message separates its lines by LF CR; on the console each is a line of its own.
        const QStringList lines = summaryText(run.counters(), mode).split(QStringLiteral("\n\r"));
        for (const QString& line : lines)
            m_out << line << '\n';
        m_out.flush();
        status = observer.allClean() ? ExitClean : ExitFilesLeft;
    }
    if (report) {
        try {
            report->write(observer.rows());
        } catch (const Error& e) {
            m_err << e.message() << '\n';
            m_err.flush();
            status = ExitFilesLeft;
        }
    }
    return status;
}

bool stderrIsTerminal()
{
#ifdef Q_OS_WIN
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

void writeConsole(FILE* stream, const QString& text)
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
    // Text mode would turn each LF into CR LF in pipes and files; the bytes are UTF-8 as they stand.
    _setmode(_fileno(stream), _O_BINARY);
#endif
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void keepQtMessagesOffStderr()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtFatalMsg)
            writeConsole(stderr, message + u'\n');
    });
}

ConsoleDevice::ConsoleDevice(FILE* stream) : m_stream(stream)
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 ConsoleDevice::writeData(const char* data, qint64 size)
{
    // QTextStream hands over whole characters, so a chunk always decodes.
    writeConsole(m_stream, QString::fromUtf8(data, size));
    return size;
}

void cancelOnInterrupt(std::atomic<bool>* flag)
{
    g_interruptFlag = flag;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
}

} // namespace eschf
