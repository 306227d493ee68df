#pragma once

#include "import/parsethread.h"
#include "import/report.h"
#include "import/startup.h"
#include "mapping/invoicedocument.h"

#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QString>

#include <optional>

class QAction;
class QCheckBox;
class QCloseEvent;
class QCommandLinkButton;
class QGroupBox;
class QKeyEvent;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QMenuBar;
class QMouseEvent;
class QMoveEvent;
class QResizeEvent;
class QProgressBar;
class QPushButton;
class QWidget;

namespace eschf {
class TDM;
}

// The main window. Creating it runs start-up on the data module; every command of the program
// starts from here and runs on the window thread.
class TfrmMain : public QMainWindow, private eschf::ParseThreadView
{
    Q_OBJECT
public:
    // dm lives for the whole program; the window uses it and does not own it.
    TfrmMain(eschf::TDM& dm, const QString& settingsPath, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Start-up found no settings file: the message has been shown and the program is to end.
    bool settingsMissing() const { return !m_startup.settingsFound; }
    // What start-up found: the connection parameters and the own taxpayer number for the import run.
    const eschf::StartupState& startup() const { return m_startup; }
    eschf::TDM& dm() const { return m_dm; }

    // The invoice folder prefix from line 2 of the settings file (empty when start-up stopped before).
    QString path;

    // Controls, named as the operator's documentation and the tests know them.
    QMenuBar* MainMenu = nullptr;
    QAction* FilialSettingsMMBtn = nullptr;
    QAction* CheckInvoicesMMBtn = nullptr;
    QWidget* TopPanel = nullptr;
    QLineEdit* SearchEdit = nullptr;
    QPushButton* SearchBtn = nullptr;
    QPushButton* CopyErrorsBtn = nullptr;
    QPushButton* SortBtn = nullptr;
    QListWidget* LogLB = nullptr;
    QMenu* ListPopup = nullptr;
    QAction* CopyInvNumberPBtn = nullptr;
    QAction* CopyUNNPBtn = nullptr;
    QAction* SaveReportPBtn = nullptr;
    QAction* RedirectBranchPBtn = nullptr;
    QAction* ViewInvoicePBtn = nullptr;
    QWidget* BottomPanel = nullptr;
    QProgressBar* MainProgressBar = nullptr;
    QPushButton* GetInvoicesBtn = nullptr;
    QPushButton* ParseInvoicesBtn = nullptr;
    QCommandLinkButton* SearchOrganizationBtn = nullptr;
    QCheckBox* EnableUpdateOldCB = nullptr;
    QGroupBox* UpdateOldGB = nullptr;
    QPushButton* UpdateOldFiles = nullptr;
    QPushButton* UpdateSendingFiles = nullptr;
    QCheckBox* UpdateOldInDBCB = nullptr;

    // 0 search, 1 sort, 2 copy (16 pixels); 0 import, 1 download (24 pixels).
    QList<QIcon> ButtonsImageList_16;
    QList<QIcon> ButtonsImageList_24;

    // The document an import run loads each invoice file into; only the run's worker uses it.
    eschf::InvoiceDocument InvoiceXMLDocument;
    // From the launch of an import run until its controls are enabled again.
    bool runInProgress() const { return m_runActive; }

    // The folder of the program's executable, with a trailing separator: recv and recv3 lie in it and
    // the download script is looked for there first. Tests give a folder of their own.
    const QString& programFolder() const { return m_programFolder; }
    void setProgramFolder(const QString& folder);

    // Adds one line to LogLB for every entry (folders too) whose name matches mask, in the folder
    // that the text folder + mask names; without regard to case, sorted by name. The line is the bare
    // name when namesOnly, else folder + name. The list is not cleared first.
    void ListFiles(const QString& folder, const QString& mask, bool namesOnly);
    // Deletes every file that matches the wildcards of the path's last part; folders are left alone.
    // The caller learns nothing of the outcome.
    static void DeleteFiles(const QString& wildcardPath);

    // Makes line index the selected line and scrolls it into view.
    void selectLogLine(int index);
    // The selected line's text; empty when no line is selected.
    std::optional<QString> selectedLogLine() const;
    // The line the popup menu was last opened on, as it reads now; empty when there is none (any
    // more).
    std::optional<QString> popupLogLine() const;

public slots:
    // The import run over the invoice folder.
    void ParseInvoicesBtnClick();
    // The same files through the same steps, with nothing stored and nothing deleted.
    void CheckInvoicesMMBtnClick();
    // The branch redirection window.
    void FilialSettingsMMBtnClick();

    // Log list tools.
    void SearchBtnClick();
    void SortBtnClick();
    void CopyErrorsBtnClick();
    void ListPopupPopup();
    void CopyInvNumberPBtnClick();
    void CopyUNNPBtnClick();
    // The run's report for the list as it stands, in a file the operator names.
    void SaveReportPBtnClick();
    // The branch redirection window, opened on the redirection a line's missing branch asks for.
    void RedirectBranchPBtnClick();
    // The invoice behind a line whose file is still there, in a window of its own.
    void ViewInvoicePBtnClick();
    void SearchOrganizationBtnClick();

    // Invoice file maintenance.
    void GetInvoicesBtnClick();
    void EnableUpdateOldCBClick();
    void UpdateOldFilesClick();
    void UpdateSendingFilesClick();

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createTopPanel();
    void createBottomPanel();
    void createListPopup();
    void createIcons();
    void connectCommands();
    void placeWindow();
    void centreOnScreen();
    void applyMinimumSize();
    // Once the window system has framed the window, its minimum (and its first size) allow for the
    // frame as measured.
    void followFrame();
    void runStartup(const QString& settingsPath);

    // Whether a key typed into SearchEdit may reach it.
    static bool SearchEditKeyPress(const QKeyEvent& event);
    void LogLBMouseDown(const QMouseEvent& event);
    QPersistentModelIndex selectedLineIndex() const;
    QListWidgetItem* popupLine() const;
    void viewInvoiceOf(const QListWidgetItem& line);
    QList<eschf::ReportRow> reportRows() const;

    QString downloadScript() const;
    void startRun(eschf::RunMode mode);

    // The import run's changes of the window, handed over by its worker.
    QObject* handOverContext() override;
    void setLogLine(int index, const eschf::FileResult& result) override;
    void setCurrentLogLine(int index) override;
    void setRunControlsEnabled(bool enabled) override;
    void setProgressPosition(int position) override;
    void showRunSummary(const QString& text) override;
    // Lets the worker of a run end, delivering its hand-overs meanwhile.
    void waitForParseThread();

    eschf::TDM& m_dm;
    eschf::StartupState m_startup;
    QString m_programFolder;
    QPointer<eschf::TParseThread> m_parseThread;
    bool m_runActive = false;
    bool m_summaryOpen = false;
    // A right press's line, until the popup it opens takes it; then the popup's own line, which its
    // commands act on even when a run moves the selection meanwhile.
    std::optional<QPersistentModelIndex> m_pressedLine;
    QPersistentModelIndex m_popupLine;
    // The frame last allowed for, and the size the window was first given.
    QSize m_frameAllowed;
    QSize m_firstSize;
};
