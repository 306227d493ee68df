#include "app/tfrmmain.h"

#include "app/icons.h"
#include "app/logline.h"
#include "app/loglinedelegate.h"
#include "app/messages.h"
#include "app/progressbar.h"
#include "app/wrappingcheckbox.h"
#include "data/error.h"
#include "data/tdm.h"
#include "import/importrun.h"
#include "invoiceview/tfrminvoiceview.h"
#include "settings/tfrminvpredprs.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QCommandLinkButton>
#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

// The window's minimum outer size, designed at 120 pixels per inch.
constexpr int kDesignDpi = 120;
constexpr int kDesignMinWidth = 802;
constexpr int kDesignMinHeight = 842;

// The register of payers, where the operator looks an organisation up by its taxpayer number.
const QString kRegisterPageUrl = QStringLiteral("https://www.portal.nalog.gov.by/grp/");

// What the log tools read back from the import run's outcome lines.
const QString kOrganisationNotFound = QStringLiteral("Не найдено организации с УНП");
const QString kInitialInvoiceNotFound = QStringLiteral("Не найдена исходная ЭСЧФ");
constexpr int kInvoiceNumberLength = 25;
constexpr int kUnnOffset = 31; // from the marker's first character, past the marker and " - "
constexpr int kUnnLength = 9;

bool isAsciiDigits(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

void putOnClipboard(const QString& text)
{
    QGuiApplication::clipboard()->setText(text);
}

// The script that fetches invoices from the portal into recv; the program only starts it.
#ifdef Q_OS_WIN
const QString kDownloadScript = QStringLiteral("receive2Dir.bat");
#else
const QString kDownloadScript = QStringLiteral("receive2Dir.sh");
#endif
const QString kReceivedFolder = QStringLiteral("recv/");
const QString kSendingFolder = QStringLiteral("recv3/");

// Copies source over target, replacing the target whole or leaving it as it was.
bool replaceFile(const QString& source, const QString& target)
{
    const QFileInfo targetInfo(target);
    if (targetInfo.exists() && (!targetInfo.isFile() || !targetInfo.isWritable()))
        return false;
    QFile in(source);
    QSaveFile out(target);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return false;
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 16);
        if (chunk.isEmpty() || out.write(chunk) != chunk.size()) {
            out.cancelWriting();
            return false;
        }
    }
    if (!out.commit())
        return false;
    // Like a copy, the replaced file keeps the time the download gave it.
    QFile replaced(target);
    if (replaced.open(QIODevice::Append))
        replaced.setFileTime(in.fileTime(QFileDevice::FileModificationTime),
                             QFileDevice::FileModificationTime);
    return true;
}

// Where the system looks for a program named without a folder, after the program folder and the
// working directory.
QStringList systemProgramFolders()
{
    QStringList folders;
#ifdef Q_OS_WIN
    const QString windows = qEnvironmentVariable("SystemRoot");
    if (!windows.isEmpty())
        folders << windows + QStringLiteral("/System32") << windows + QStringLiteral("/System") << windows;
#endif
    folders += qEnvironmentVariable("PATH").split(QDir::listSeparator(), Qt::SkipEmptyParts);
    return folders;
}

// Starts the script as a process of its own in the working directory, with a window of its own
// where the system gives scripts one; nobody waits for it.
void startScript(const QString& script)
{
    QProcess process;
#ifdef Q_OS_WIN
    process.setProgram(qEnvironmentVariable("ComSpec", QStringLiteral("cmd.exe")));
    process.setNativeArguments(QStringLiteral("/c \"\"%1\"\"").arg(QDir::toNativeSeparators(script)));
    process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* arguments) {
        arguments->flags &= ~static_cast<DWORD>(CREATE_NO_WINDOW | DETACHED_PROCESS);
        arguments->flags |= CREATE_NEW_CONSOLE;
        arguments->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        arguments->startupInfo->wShowWindow = SW_SHOW;
    });
#else
    // Through the shell, so that the script need not be marked executable.
    process.setProgram(QStringLiteral("/bin/sh"));
    process.setArguments({script});
#endif
    process.startDetached();
}

template <typename T>
T* named(T* object, const char* name)
{
    object->setObjectName(QLatin1String(name));
    return object;
}

} // namespace

TfrmMain::TfrmMain(eschf::TDM& dm, const QString& settingsPath, QWidget* parent)
    : QMainWindow(parent), m_dm(dm)
{
    setProgramFolder(QCoreApplication::applicationDirPath());
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Программа по загрузке ЭСЧФ в базу V1.8.1"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    createIcons();
    createControls();
    connectCommands();
    placeWindow();
    runStartup(settingsPath);
}

void TfrmMain::createIcons()
{
    using eschf::IconPicture;
    ButtonsImageList_16 = {
        eschf::drawnIcon(IconPicture::Search, 16),
        eschf::drawnIcon(IconPicture::Sort, 16),
        eschf::drawnIcon(IconPicture::Copy, 16),
    };
    ButtonsImageList_24 = {
        eschf::drawnIcon(IconPicture::Import, 24),
        eschf::drawnIcon(IconPicture::Download, 24),
    };
}

void TfrmMain::createControls()
{
    MainMenu = named(new QMenuBar(this), "MainMenu");
    FilialSettingsMMBtn =
        named(new QAction(QStringLiteral("Настройка филиалов"), this), "FilialSettingsMMBtn");
    MainMenu->addAction(FilialSettingsMMBtn);
    CheckInvoicesMMBtn =
        named(new QAction(QStringLiteral("Проверить без загрузки"), this), "CheckInvoicesMMBtn");
    MainMenu->addAction(CheckInvoicesMMBtn);
    setMenuBar(MainMenu);

    auto* const central = named(new QWidget(this), "ClientArea");
    auto* const layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    createTopPanel();
    LogLB = named(new QListWidget(central), "LogLB");
    LogLB->setSelectionMode(QAbstractItemView::SingleSelection);
    LogLB->setSortingEnabled(false);
    LogLB->setUniformItemSizes(true);
    // Lines are read to their end, the branch code at the end of a missing organisation's line too.
    LogLB->setTextElideMode(Qt::ElideNone);
    LogLB->setItemDelegate(new eschf::LogLineDelegate(LogLB));
    createListPopup();
    createBottomPanel();

    layout->addWidget(TopPanel);
    layout->addWidget(LogLB, 1);
    layout->addWidget(BottomPanel);
    setCentralWidget(central);
}

void TfrmMain::createTopPanel()
{
    TopPanel = named(new QWidget(this), "TopPanel");
    auto* const layout = new QHBoxLayout(TopPanel);

    SearchEdit = named(new QLineEdit(TopPanel), "SearchEdit");
    SearchEdit->setMaxLength(9);
    SearchEdit->setInputMethodHints(Qt::ImhDigitsOnly);
    // Room for nine digits and a little more.
    SearchEdit->setFixedWidth(SearchEdit->fontMetrics().horizontalAdvance(QStringLiteral("0000000000000")));

    SearchBtn =
        named(new QPushButton(ButtonsImageList_16.at(0), QStringLiteral("Поиск"), TopPanel), "SearchBtn");
    CopyErrorsBtn = named(new QPushButton(ButtonsImageList_16.at(2), QStringLiteral("Скопировать"), TopPanel),
                          "CopyErrorsBtn");
    CopyErrorsBtn->setEnabled(false);
    SortBtn = named(new QPushButton(ButtonsImageList_16.at(1), QStringLiteral("Отсортировать "), TopPanel),
                    "SortBtn");
    SortBtn->setEnabled(false);
    for (QPushButton* const button : {SearchBtn, CopyErrorsBtn, SortBtn})
        button->setIconSize(QSize(16, 16));

    layout->addWidget(SearchEdit);
    layout->addWidget(SearchBtn);
    layout->addStretch(1);
    layout->addWidget(CopyErrorsBtn);
    layout->addWidget(SortBtn);
}

void TfrmMain::createListPopup()
{
    ListPopup = named(new QMenu(this), "ListPopup");
    CopyInvNumberPBtn =
        named(new QAction(ButtonsImageList_16.at(2), QStringLiteral("Копировать номер ЭСЧФ"), ListPopup),
              "CopyInvNumberPBtn");
    CopyUNNPBtn = named(new QAction(ButtonsImageList_16.at(2), QStringLiteral("Копировать УНП"), ListPopup),
                        "CopyUNNPBtn");
    SaveReportPBtn = named(new QAction(QStringLiteral("Сохранить отчёт…"), ListPopup), "SaveReportPBtn");
    RedirectBranchPBtn =
        named(new QAction(QStringLiteral("Перенаправить код филиала…"), ListPopup), "RedirectBranchPBtn");
    ViewInvoicePBtn = named(new QAction(QStringLiteral("Просмотреть ЭСЧФ…"), ListPopup), "ViewInvoicePBtn");
    for (QAction* const command :
         {CopyInvNumberPBtn, CopyUNNPBtn, SaveReportPBtn, RedirectBranchPBtn, ViewInvoicePBtn}) {
        command->setEnabled(false);
        ListPopup->addAction(command);
    }
    LogLB->setContextMenuPolicy(Qt::CustomContextMenu);
}

void TfrmMain::createBottomPanel()
{
    BottomPanel = named(new QWidget(this), "BottomPanel");
    auto* const layout = new QVBoxLayout(BottomPanel);

    MainProgressBar = named(new eschf::ProgressBar(BottomPanel), "MainProgressBar");
    MainProgressBar->setTextVisible(false);
    MainProgressBar->setValue(0);
    layout->addWidget(MainProgressBar);

    const int largeHeight = fontMetrics().height() * 3;
    GetInvoicesBtn =
        named(new QPushButton(ButtonsImageList_24.at(1), QStringLiteral("Выгрузить ЭСЧФ"), BottomPanel),
              "GetInvoicesBtn");
    ParseInvoicesBtn =
        named(new QPushButton(ButtonsImageList_24.at(0), QStringLiteral("Загрузка в базу"), BottomPanel),
              "ParseInvoicesBtn");
    for (QPushButton* const button : {GetInvoicesBtn, ParseInvoicesBtn}) {
        button->setIconSize(QSize(24, 24));
        button->setMinimumHeight(largeHeight);
        button->setMinimumWidth(button->sizeHint().width() + fontMetrics().averageCharWidth() * 4);
    }

    SearchOrganizationBtn =
        named(new QCommandLinkButton(QStringLiteral("Поиск организации по УНП"), BottomPanel),
              "SearchOrganizationBtn");
    SearchOrganizationBtn->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    EnableUpdateOldCB =
        named(new QCheckBox(QStringLiteral("Включить режим обновления"), BottomPanel), "EnableUpdateOldCB");

    auto* const right = new QVBoxLayout;
    right->addWidget(SearchOrganizationBtn, 0, Qt::AlignRight);
    right->addStretch(1);
    right->addWidget(EnableUpdateOldCB, 0, Qt::AlignRight);

    auto* const commands = new QHBoxLayout;
    commands->addWidget(GetInvoicesBtn, 0, Qt::AlignTop);
    commands->addWidget(ParseInvoicesBtn, 0, Qt::AlignTop);
    commands->addStretch(1);
    commands->addLayout(right);
    layout->addLayout(commands);

    UpdateOldGB = named(new QGroupBox(QStringLiteral("Обновление старых выгруженных ЭСЧФ"), BottomPanel),
                        "UpdateOldGB");
    UpdateOldFiles =
        named(new QPushButton(QStringLiteral("Обновить старые ЭСЧФ"), UpdateOldGB), "UpdateOldFiles");
    UpdateSendingFiles =
        named(new QPushButton(QStringLiteral("Обновить ЭСЧФ для отправки на портал"), UpdateOldGB),
              "UpdateSendingFiles");
    UpdateOldInDBCB =
        named(new eschf::WrappingCheckBox(QStringLiteral("Перезапись не сверенных ЭСЧФ в базу"), UpdateOldGB),
              "UpdateOldInDBCB");
    for (QWidget* const control :
         {static_cast<QWidget*>(UpdateOldFiles), static_cast<QWidget*>(UpdateSendingFiles),
          static_cast<QWidget*>(UpdateOldInDBCB)})
        control->setEnabled(false);

    auto* const group = new QHBoxLayout(UpdateOldGB);
    group->addWidget(UpdateOldFiles);
    group->addWidget(UpdateSendingFiles);
    group->addWidget(UpdateOldInDBCB);
    group->addStretch(1);
    layout->addWidget(UpdateOldGB);
}

void TfrmMain::connectCommands()
{
    connect(ParseInvoicesBtn, &QPushButton::clicked, this, &TfrmMain::ParseInvoicesBtnClick);
    connect(FilialSettingsMMBtn, &QAction::triggered, this, &TfrmMain::FilialSettingsMMBtnClick);
    connect(CheckInvoicesMMBtn, &QAction::triggered, this, &TfrmMain::CheckInvoicesMMBtnClick);

    SearchEdit->installEventFilter(this);
    LogLB->viewport()->installEventFilter(this);
    connect(SearchBtn, &QPushButton::clicked, this, &TfrmMain::SearchBtnClick);
    // Enter searches too, as the operator presses it by habit.
    connect(SearchEdit, &QLineEdit::returnPressed, this, &TfrmMain::SearchBtnClick);
    connect(SortBtn, &QPushButton::clicked, this, &TfrmMain::SortBtnClick);
    connect(CopyErrorsBtn, &QPushButton::clicked, this, &TfrmMain::CopyErrorsBtnClick);
    connect(ListPopup, &QMenu::aboutToShow, this, &TfrmMain::ListPopupPopup);
    connect(CopyInvNumberPBtn, &QAction::triggered, this, &TfrmMain::CopyInvNumberPBtnClick);
    connect(CopyUNNPBtn, &QAction::triggered, this, &TfrmMain::CopyUNNPBtnClick);
    connect(SaveReportPBtn, &QAction::triggered, this, &TfrmMain::SaveReportPBtnClick);
    connect(RedirectBranchPBtn, &QAction::triggered, this, &TfrmMain::RedirectBranchPBtnClick);
    connect(ViewInvoicePBtn, &QAction::triggered, this, &TfrmMain::ViewInvoicePBtnClick);
    connect(LogLB, &QListWidget::itemDoubleClicked, this, [this](const QListWidgetItem* line) {
        if (line)
            viewInvoiceOf(*line);
    });
    connect(LogLB, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) { ListPopup->popup(LogLB->viewport()->mapToGlobal(position)); });
    connect(SearchOrganizationBtn, &QPushButton::clicked, this, &TfrmMain::SearchOrganizationBtnClick);

    connect(GetInvoicesBtn, &QPushButton::clicked, this, &TfrmMain::GetInvoicesBtnClick);
    connect(EnableUpdateOldCB, &QCheckBox::clicked, this, &TfrmMain::EnableUpdateOldCBClick);
    connect(UpdateOldFiles, &QPushButton::clicked, this, &TfrmMain::UpdateOldFilesClick);
    connect(UpdateSendingFiles, &QPushButton::clicked, this, &TfrmMain::UpdateSendingFilesClick);
}

void TfrmMain::placeWindow()
{
    applyMinimumSize();
    resize(minimumSize());
    m_firstSize = size();
    centreOnScreen();
}

void TfrmMain::centreOnScreen()
{
    QRect frame = frameGeometry();
    frame.moveCenter(screen()->availableGeometry().center());
    move(frame.topLeft());
}

// The minimum is an outer size: the frame is taken off as the window system measures it. Where the
// font is wider than the one the window was designed with, the controls' own minimum wins, so that
// no caption is cut.
void TfrmMain::applyMinimumSize()
{
    const QScreen* const screen = this->screen();
    const qreal scale = screen->logicalDotsPerInch() / kDesignDpi;
    const QSize frame = frameGeometry().size() - geometry().size();
    const QSize outer = QSize(qRound(kDesignMinWidth * scale), qRound(kDesignMinHeight * scale))
                            .expandedTo(minimumSizeHint() + frame)
                            .boundedTo(screen->availableGeometry().size());
    setMinimumSize(outer - frame);
    m_frameAllowed = frame;
}

// Some window systems tell the frame only once the window is on screen, after its first show: the
// minimum follows, and a window still at its first size keeps that size as an outer size, centred.
void TfrmMain::followFrame()
{
    if (frameGeometry().size() - geometry().size() == m_frameAllowed)
        return;
    const bool firstSize = size() == m_firstSize;
    applyMinimumSize();
    if (!firstSize)
        return;
    resize(minimumSize());
    m_firstSize = size();
    centreOnScreen();
}

void TfrmMain::showEvent(QShowEvent* event)
{
    followFrame();
    QMainWindow::showEvent(event);
}

void TfrmMain::moveEvent(QMoveEvent* event)
{
    followFrame();
    QMainWindow::moveEvent(event);
}

void TfrmMain::resizeEvent(QResizeEvent* event)
{
    followFrame();
    QMainWindow::resizeEvent(event);
}

void TfrmMain::runStartup(const QString& settingsPath)
{
    m_startup = eschf::runStartup(m_dm, settingsPath);
    if (!m_startup.settingsFound) {
        eschf::showMessage(nullptr, eschf::MessageKind::Error, eschf::settingsMissingMessage());
        return;
    }
    path = m_startup.path;
    if (m_startup.downloadEnabled)
        GetInvoicesBtn->setEnabled(*m_startup.downloadEnabled);
    if (!m_startup.failure.isEmpty())
        eschf::showMessage(nullptr, eschf::MessageKind::Error, m_startup.failure);
}

void TfrmMain::FilialSettingsMMBtnClick()
{
    TfrmInvPredprs::showModal(m_dm, this);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == SearchEdit) {
        if (event->type() == QEvent::KeyPress)
            return !SearchEditKeyPress(static_cast<const QKeyEvent&>(*event));
        // Text composed by an input method is typed text too.
        if (event->type() == QEvent::InputMethod)
            return !isAsciiDigits(static_cast<const QInputMethodEvent&>(*event).commitString());
    } else if (watched == LogLB->viewport() && event->type() == QEvent::MouseButtonPress) {
        LogLBMouseDown(static_cast<const QMouseEvent&>(*event));
    }
    return QMainWindow::eventFilter(watched, event);
}

// Only typed characters are filtered, and only digits pass. Backspace and the keys that type
// nothing keep working: arrows, Home, End, Delete, Enter, and Shift+Insert, Ctrl+Insert and
// Shift+Delete, which paste, copy and cut as the box's own commands. Ctrl with a character key
// types a control character (Ctrl+V among them) and is dropped.
bool TfrmMain::SearchEditKeyPress(const QKeyEvent& event)
{
    const bool characterKey = event.key() < Qt::Key_Escape;
    if (!characterKey)
        return true;
    if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString text = event.text();
    return text.size() == 1 && isAsciiDigits(text);
}

void TfrmMain::selectLogLine(int index)
{
    LogLB->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    LogLB->scrollToItem(LogLB->item(index));
}

std::optional<QString> TfrmMain::selectedLogLine() const
{
    const QList<QListWidgetItem*> selected = LogLB->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    return selected.first()->text();
}

QPersistentModelIndex TfrmMain::selectedLineIndex() const
{
    const QModelIndexList selected = LogLB->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? QPersistentModelIndex() : QPersistentModelIndex(selected.first());
}

// Gone when the list was cleared since the popup opened.
QListWidgetItem* TfrmMain::popupLine() const
{
    return m_popupLine.isValid() ? LogLB->item(m_popupLine.row()) : nullptr;
}

std::optional<QString> TfrmMain::popupLogLine() const
{
    if (const QListWidgetItem* const line = popupLine())
        return line->text();
    return std::nullopt;
}

void TfrmMain::SearchBtnClick()
{
    if (LogLB->count() == 0) {
        eschf::showMessage(this, eschf::MessageKind::Information, QStringLiteral("Список ЭСЧФ пуст."));
        return;
    }
    const QString wanted = SearchEdit->text();
    if (wanted.isEmpty())
        return;
    for (int row = 0; row < LogLB->count(); ++row) {
        if (LogLB->item(row)->text().contains(wanted, Qt::CaseSensitive)) {
            selectLogLine(row);
            return;
        }
    }
}

// Lines of a missing organisation first, then those of a missing initial invoice, then the rest;
// within a group the order stays as it was.
// The items themselves are moved, so that each line keeps the reason shown as its tooltip.
void TfrmMain::SortBtnClick()
{
    std::vector<QListWidgetItem*> groups[3];
    LogLB->setCurrentRow(-1);
    while (LogLB->count() > 0) {
        QListWidgetItem* item = LogLB->takeItem(0);
        const QString line = item->text();
        const int group = line.contains(kOrganisationNotFound)     ? 0
                          : line.contains(kInitialInvoiceNotFound) ? 1
                                                                   : 2;
        groups[group].push_back(item);
    }
    for (const auto& group : groups) {
        for (QListWidgetItem* item : group)
            LogLB->addItem(item);
    }
    LogLB->clearSelection();
    LogLB->setCurrentRow(-1);
}

void TfrmMain::CopyErrorsBtnClick()
{
    QString text;
    for (int row = 0; row < LogLB->count(); ++row)
        text += LogLB->item(row)->text() + QStringLiteral("\r\n");
    putOnClipboard(text);
}

// The popup's line is the one right-clicked to open it, else the selected line (a popup opened from
// the keyboard). The copies work on it: without one they are off.
void TfrmMain::ListPopupPopup()
{
    m_popupLine = m_pressedLine.value_or(selectedLineIndex());
    m_pressedLine.reset();
    const QListWidgetItem* const item = popupLine();
    const bool hasLine = LogLB->count() > 0 && item;
    CopyInvNumberPBtn->setEnabled(hasLine);
    CopyUNNPBtn->setEnabled(hasLine && item->text().contains(kOrganisationNotFound));
    SaveReportPBtn->setEnabled(LogLB->count() > 0 && !m_runActive);
    RedirectBranchPBtn->setEnabled(hasLine && eschf::logline::missingBranchOf(*item).has_value());
    ViewInvoicePBtn->setEnabled(hasLine && QFileInfo(eschf::logline::fileOf(*item)).isFile());
}

void TfrmMain::CopyInvNumberPBtnClick()
{
    if (const std::optional<QString> line = popupLogLine())
        putOnClipboard(line->left(kInvoiceNumberLength));
}

void TfrmMain::CopyUNNPBtnClick()
{
    const std::optional<QString> line = popupLogLine();
    if (!line)
        return;
    // The line may have been rewritten by an import run since the popup opened.
    const qsizetype marker = line->indexOf(kOrganisationNotFound);
    if (marker < 0)
        return;
    putOnClipboard(line->mid(marker + kUnnOffset, kUnnLength));
}

QList<eschf::ReportRow> TfrmMain::reportRows() const
{
    QList<eschf::ReportRow> rows;
    rows.reserve(LogLB->count());
    for (int row = 0; row < LogLB->count(); ++row)
        rows.append(eschf::logline::reportRowOf(*LogLB->item(row)));
    return rows;
}

// A report that cannot be written is only reported: the list stays as it is.
void TfrmMain::SaveReportPBtnClick()
{
    if (LogLB->count() == 0 || m_runActive)
        return;
    const QString suggestion =
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
            .filePath(QStringLiteral("Отчёт ЭСЧФ %1.csv")
                          .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH-mm"))));
    const std::optional<QString> target =
        eschf::askSaveFileName(this, QStringLiteral("Сохранить отчёт"), suggestion);
    if (!target)
        return;
    try {
        eschf::ReportFile report(*target);
        report.write(reportRows());
    } catch (const eschf::Error& error) {
        eschf::showMessage(this, eschf::MessageKind::Error, error.message());
    }
}

void TfrmMain::RedirectBranchPBtnClick()
{
    const QListWidgetItem* const item = popupLine();
    if (!item)
        return;
    if (const std::optional<eschf::logline::BranchKey> branch = eschf::logline::missingBranchOf(*item))
        TfrmInvPredprs::showModalFor(m_dm, this, branch->unn, branch->dopUnn);
}

void TfrmMain::ViewInvoicePBtnClick()
{
    if (const QListWidgetItem* const item = popupLine())
        viewInvoiceOf(*item);
}

// The window thread's own connection: the run keeps its own, and the view reads without a
// transaction, so neither waits for the other.
void TfrmMain::viewInvoiceOf(const QListWidgetItem& line)
{
    const QString file = eschf::logline::fileOf(line);
    if (!QFileInfo(file).isFile())
        return;
    TfrmInvoiceView::showFor(m_dm, m_startup.ownUnn.value_or(QString()), file, eschf::logline::resultOf(line),
                             this);
}

// Any button selects the line under the pointer, so that the popup works on the line clicked. A
// press below the last line leaves the selection as it was.
void TfrmMain::LogLBMouseDown(const QMouseEvent& event)
{
    QListWidgetItem* const item = LogLB->itemAt(event.position().toPoint());
    m_pressedLine.reset();
    if (event.button() == Qt::RightButton)
        m_pressedLine = item ? QPersistentModelIndex(LogLB->indexFromItem(item)) : selectedLineIndex();
    if (!item)
        return;
    // The line stays where it is under the pointer.
    const bool autoScroll = LogLB->hasAutoScroll();
    LogLB->setAutoScroll(false);
    LogLB->setCurrentItem(item, QItemSelectionModel::ClearAndSelect);
    LogLB->setAutoScroll(autoScroll);
}

void TfrmMain::SearchOrganizationBtnClick()
{
    QDesktopServices::openUrl(QUrl(kRegisterPageUrl));
}

void TfrmMain::setProgramFolder(const QString& folder)
{
    m_programFolder = QDir::cleanPath(folder);
    if (!m_programFolder.endsWith(QLatin1Char('/')))
        m_programFolder += QLatin1Char('/');
}

void TfrmMain::ListFiles(const QString& folder, const QString& mask, bool namesOnly)
{
    for (const QString& entry : eschf::listFolder(folder, mask, namesOnly)) {
        auto* const line = new QListWidgetItem(entry, LogLB);
        eschf::logline::setFile(*line, entry);
    }
}

// A matching folder is never taken, nor anything in it: only files go.
void TfrmMain::DeleteFiles(const QString& wildcardPath)
{
    for (const QFileInfo& entry : eschf::matchingEntries(wildcardPath)) {
        if (!entry.isFile())
            continue;
        QFile file(entry.filePath());
        if (!file.remove()) {
            // A read-only file goes too, as the operator asked for every file of the mask.
            file.setPermissions(file.permissions() | QFileDevice::WriteOwner);
            file.remove();
        }
    }
}

// The program folder, the working directory, the system folders, then PATH: the order in which the
// system finds a program started by its bare name.
QString TfrmMain::downloadScript() const
{
    const QStringList folders = QStringList{m_programFolder, QDir::currentPath()} + systemProgramFolders();
    for (const QString& folder : folders) {
        const QFileInfo candidate(QDir(folder), kDownloadScript);
        if (candidate.isFile())
            return candidate.absoluteFilePath();
    }
    return QString();
}

// No message either way: the script shows its own window.
void TfrmMain::GetInvoicesBtnClick()
{
    const QString script = downloadScript();
    if (!script.isEmpty())
        startScript(script);
}

// The three controls follow the box; the import takes UpdateOldInDBCB's ticked state even while
// the box is disabled.
void TfrmMain::EnableUpdateOldCBClick()
{
    const bool updateMode = EnableUpdateOldCB->isChecked();
    UpdateOldFiles->setEnabled(updateMode);
    UpdateSendingFiles->setEnabled(updateMode);
    UpdateOldInDBCB->setEnabled(updateMode);
}

// The download runs even when its own button is disabled for this organisation.
void TfrmMain::UpdateOldFilesClick()
{
    DeleteFiles(m_programFolder + kReceivedFolder + QStringLiteral("*.xml"));
    GetInvoicesBtnClick();
}

// Every file of recv3 that has a newer version of the same name in recv is replaced by it.
void TfrmMain::UpdateSendingFilesClick()
{
    const QString received = m_programFolder + kReceivedFolder;
    const QString sending = m_programFolder + kSendingFolder;
    LogLB->clear();
    ListFiles(sending, QStringLiteral("*.xml"), true);
    if (LogLB->count() == 0) {
        eschf::showMessage(this, eschf::MessageKind::Warning, QStringLiteral("В папке нет файлов."));
        return;
    }
    MainProgressBar->setMaximum(LogLB->count() - 1);
    for (int row = 0; row < LogLB->count(); ++row) {
        MainProgressBar->setValue(row);
        MainProgressBar->repaint();
        QListWidgetItem* const line = LogLB->item(row);
        const QString name = line->text();
        if (!QFileInfo(received + name).isFile()) {
            line->setText(name + QStringLiteral(" - Не найден"));
        } else if (replaceFile(received + name, sending + name)) {
            QFile::remove(received + name);
            line->setText(name + QStringLiteral(" - Заменён"));
        } else {
            line->setText(name + QStringLiteral(" - Ошибка замены"));
        }
    }
}
