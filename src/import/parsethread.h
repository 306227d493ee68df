#pragma once

#include "data/connection.h"
#include "import/fileimport.h"

#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <optional>

namespace eschf {

class InvoiceDocument;

// What an import run changes in the window. Every method runs on the window thread, handed over by
// the worker, which waits until it returns; the worker itself never touches a widget.
class ParseThreadView
{
public:
    virtual ~ParseThreadView() = default;

    // An object living on the window thread: the worker's hand-overs are delivered to it.
    virtual QObject* handOverContext() = 0;
    // Line index shows how its file ended (the result's line text, its reason as the tooltip), keeps
    // the result with it, and becomes the selected line.
    virtual void setLogLine(int index, const FileResult& result) = 0;
    virtual void setCurrentLogLine(int index) = 0;
    // The controls a run keeps disabled while it lasts.
    virtual void setRunControlsEnabled(bool enabled) = 0;
    virtual void setProgressPosition(int position) = 0;
    // Returns when the operator has closed the message.
    virtual void showRunSummary(const QString& text) = 0;
};

// The worker of an import run started from the window: the run on a thread of its own, on its own
// connection, reporting each change to the window through a synchronous hand-over. It frees itself
// only if whoever starts it connects finished() to deleteLater().
class TParseThread : public QThread
{
    Q_OBJECT
public:
    // The worker's connection name; the window's connection is never touched by a run.
    static const QString ConnectionName;

    // lines: the log lines (the files' paths) as they stood at the launch. connection: what the worker
    // opens its connection from (none when start-up never got as far); ownUnn: the own
    // organisation's taxpayer number from start-up; mode: a run or a check. XmlDoc and view must
    // outlive the thread.
    TParseThread(InvoiceDocument& XmlDoc, ParseThreadView& view, QStringList lines, bool UpdOld,
                 std::optional<ConnectionParams> connection, QString ownUnn, RunMode mode,
                 QObject* parent = nullptr);
    ~TParseThread() override;

    // Cuts the run short, from any thread: the file in progress is rolled back and stays, no summary
    // is shown, and no further hand-over reaches the window. Whoever waits for the thread on the
    // window thread must meanwhile deliver the hand-overs already queued to the view's context.
    void cancel();
    bool cancelled() const;

protected:
    void run() override;

private:
    class Observer;

    void execute();
    void importLines();
    void count(Outcome outcome);

    // Window thread, each called only through Synchronize.
    void UpdateLogLine();
    void SelectLogLine();
    void SetControlsEnabled();
    void ShowProgress();
    void ShowSummary();
    // Runs method on the window thread and returns when it has finished.
    void Synchronize(void (TParseThread::*method)());

    int loaded = 0;
    int error = 0;
    int skip = 0;
    int KeyIndex = 0;
    FileResult LBResult; // what UpdateLogLine gives line KeyIndex: its text and why it ended so
    bool Enable = false;
    bool UpdateOld = false;

    InvoiceDocument& InvoiceXMLDocument;
    ParseThreadView& m_view;
    QObject* m_context;
    const QStringList m_lines;
    const std::optional<ConnectionParams> m_connection;
    const QString m_ownUnn;
    const RunMode m_mode;
    std::atomic<bool> m_cancel{false};
};

} // namespace eschf
