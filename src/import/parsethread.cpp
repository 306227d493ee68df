#include "import/parsethread.h"

#include "data/tdm.h"
#include "import/importrun.h"

#include <QMetaObject>

namespace eschf {

const QString TParseThread::ConnectionName = QStringLiteral("ImportWorker");

// Turns the run's reports into the window's changes: at most three hand-overs per file (progress,
// the line when it changes, the selection), so that a long run leaves the window responsive.
class TParseThread::Observer : public ImportObserver
{
public:
    explicit Observer(TParseThread& thread) : m_thread(thread) {}

    void fileStarted(int index) override
    {
        m_thread.KeyIndex = index;
        m_thread.Synchronize(&TParseThread::ShowProgress);
    }

    void fileFinished(int index, const FileResult& result) override
    {
        m_thread.count(result.outcome);
        m_thread.KeyIndex = index;
        // Every handled line gets its result, a line that keeps its path too: the window keeps
        // how each file ended with its line.
        m_thread.LBResult = result;
        m_thread.Synchronize(&TParseThread::UpdateLogLine);
        // The outcomes that found no organisation or document have selected their line already.
        switch (result.outcome) {
        case Outcome::A:
        case Outcome::B:
        case Outcome::C:
        case Outcome::D:
            break;
        case Outcome::E:
        case Outcome::F:
        case Outcome::G:
        case Outcome::H:
        case Outcome::I:
            m_thread.Synchronize(&TParseThread::SelectLogLine);
            break;
        }
    }

private:
    TParseThread& m_thread;
};

TParseThread::TParseThread(InvoiceDocument& XmlDoc, ParseThreadView& view, QStringList lines, bool UpdOld,
                           std::optional<ConnectionParams> connection, QString ownUnn, RunMode mode,
                           QObject* parent)
    : QThread(parent), UpdateOld(UpdOld), InvoiceXMLDocument(XmlDoc), m_view(view),
      m_context(view.handOverContext()), m_lines(std::move(lines)), m_connection(std::move(connection)),
      m_ownUnn(std::move(ownUnn)), m_mode(mode)
{
}

TParseThread::~TParseThread() = default;

void TParseThread::cancel()
{
    m_cancel.store(true);
}

bool TParseThread::cancelled() const
{
    return m_cancel.load();
}

void TParseThread::run()
{
    try {
        execute();
    } catch (...) {
        // Nothing may leave the thread; execute has re-enabled the controls where it could.
    }
}

void TParseThread::execute()
{
    Enable = false;
    Synchronize(&TParseThread::SetControlsEnabled);
    loaded = 0;
    skip = 0;
    error = 0;
    try {
        importLines();
    } catch (...) {
        // The files handled so far are counted; the run still ends as a run ends.
    }
    if (!cancelled())
        Synchronize(&TParseThread::ShowSummary);
    Enable = true;
    Synchronize(&TParseThread::SetControlsEnabled);
}

// The connection is the worker's own and is gone before the summary: a Qt connection belongs to
// the thread that opened it, and the next run opens one of the same name.
void TParseThread::importLines()
{
    TDM dm(ConnectionName);
    ImportRun run(dm, m_connection.value_or(ConnectionParams{}), InvoiceXMLDocument, m_ownUnn, UpdateOld,
                  m_mode);
    run.setCancelFlag(&m_cancel);
    Observer observer(*this);
    run.run(m_lines, observer);
}

void TParseThread::count(Outcome outcome)
{
    RunCounters counters{loaded, error, skip};
    counters.count(outcome);
    loaded = counters.loaded;
    error = counters.error;
    skip = counters.skip;
}

void TParseThread::UpdateLogLine()
{
    m_view.setLogLine(KeyIndex, LBResult);
}

void TParseThread::SelectLogLine()
{
    m_view.setCurrentLogLine(KeyIndex);
}

void TParseThread::SetControlsEnabled()
{
    m_view.setRunControlsEnabled(Enable);
}

void TParseThread::ShowProgress()
{
    m_view.setProgressPosition(KeyIndex);
}

void TParseThread::ShowSummary()
{
    m_view.showRunSummary(summaryText(RunCounters{loaded, error, skip}, m_mode));
}

// Once the run is cancelled the window is going away: nothing more is handed over, and a hand-over
// queued just before the cancel returns without touching it.
void TParseThread::Synchronize(void (TParseThread::*method)())
{
    if (cancelled())
        return;
    QMetaObject::invokeMethod(
        m_context,
        [this, method] {
            if (cancelled())
                return;
            try {
                (this->*method)();
            } catch (...) {
                // A change of the window that fails is not the run's failure.
            }
        },
        Qt::BlockingQueuedConnection);
}

} // namespace eschf
