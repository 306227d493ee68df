// The main window's side of an import run: the launch, the changes the worker hands over, and the
// end of the program while a run lasts.
#include "app/logline.h"
#include "app/messages.h"
#include "app/tfrmmain.h"
#include "import/fileimport.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGroupBox>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

TfrmMain::~TfrmMain()
{
    waitForParseThread();
}

void TfrmMain::ParseInvoicesBtnClick()
{
    startRun(eschf::RunMode::Load);
}

void TfrmMain::CheckInvoicesMMBtnClick()
{
    startRun(eschf::RunMode::Check);
}

void TfrmMain::startRun(eschf::RunMode mode)
{
    // One run at a time: a press that gets here while a run lasts starts nothing.
    if (m_runActive)
        return;
    LogLB->clear();
    ListFiles(path, QStringLiteral("*.xml"), false);
    MainProgressBar->setValue(0);
    if (LogLB->count() == 0) {
        eschf::showMessage(this, eschf::MessageKind::Warning, QStringLiteral("В папке нет файлов."));
        return;
    }
    MainProgressBar->setMaximum(LogLB->count() - 1);
    // Off at once, before the worker's first step, so that a second press cannot start a second run.
    m_runActive = true;
    setRunControlsEnabled(false);

    QStringList lines;
    lines.reserve(LogLB->count());
    for (int row = 0; row < LogLB->count(); ++row)
        lines.append(LogLB->item(row)->text());

    // The last run's worker may still be leaving its body; it hands nothing over any more.
    if (m_parseThread)
        m_parseThread->wait();
    auto* const worker =
        new eschf::TParseThread(InvoiceXMLDocument, *this, std::move(lines), UpdateOldInDBCB->isChecked(),
                                m_startup.connection, m_startup.ownUnn.value_or(QString()), mode);
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    m_parseThread = worker;
    worker->start(QThread::NormalPriority);
}

QObject* TfrmMain::handOverContext()
{
    return this;
}

void TfrmMain::setLogLine(int index, const eschf::FileResult& result)
{
    QListWidgetItem* const line = LogLB->item(index);
    if (!line)
        return;
    eschf::logline::setResult(*line, result);
    selectLogLine(index);
}

void TfrmMain::setCurrentLogLine(int index)
{
    selectLogLine(index);
}

// The three controls inside the group box keep their own state: the box only switches them off
// while it is off.
void TfrmMain::setRunControlsEnabled(bool enabled)
{
    SortBtn->setEnabled(enabled);
    CopyErrorsBtn->setEnabled(enabled);
    ParseInvoicesBtn->setEnabled(enabled);
    CheckInvoicesMMBtn->setEnabled(enabled);
    EnableUpdateOldCB->setEnabled(enabled);
    UpdateOldGB->setEnabled(enabled);
    if (enabled)
        m_runActive = false;
}

void TfrmMain::setProgressPosition(int position)
{
    MainProgressBar->setValue(position);
}

void TfrmMain::showRunSummary(const QString& text)
{
    m_summaryOpen = true;
    eschf::showMessage(this, eschf::MessageKind::Information, text);
    m_summaryOpen = false;
}

// The program ends with the window and does not wait for the operator: a run in progress stops
// after rolling back the file it is on, which stays in the folder for the next run. Its worker is
// let go when the window is destroyed, not here: this may be running inside one of the worker's
// hand-overs (the summary above all), which the worker waits on.
void TfrmMain::closeEvent(QCloseEvent* event)
{
    if (m_parseThread) {
        m_parseThread->cancel();
        // Every file has been handled: the summary goes with the window.
        if (m_summaryOpen) {
            for (QMessageBox* const box : findChildren<QMessageBox*>(Qt::FindDirectChildrenOnly))
                box->done(QMessageBox::Ok);
        }
    }
    QMainWindow::closeEvent(event);
}

// A running QThread must not be destroyed, and its body uses this window's document. The worker
// may be blocked in a hand-over to this thread, so those are delivered while it is waited for; once
// cancelled it hands nothing more over.
void TfrmMain::waitForParseThread()
{
    if (!m_parseThread)
        return;
    m_parseThread->cancel();
    while (!m_parseThread->wait(QDeadlineTimer(10)))
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    delete m_parseThread.data();
}
