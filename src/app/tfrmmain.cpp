#include "app/tfrmmain.h"

#include "app/icons.h"
#include "app/messages.h"
#include "app/progressbar.h"
#include "data/tdm.h"

#include <QAction>
#include <QCheckBox>
#include <QCommandLinkButton>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace {

// The window's minimum outer size, designed at 120 pixels per inch.
constexpr int kDesignDpi = 120;
constexpr int kDesignMinWidth = 802;
constexpr int kDesignMinHeight = 842;

// A check box does not wrap its caption; the break goes where the caption is to wrap.
const QString kUpdateOldInDBCaption = QStringLiteral("Перезапись не сверенных\nЭСЧФ в базу");

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
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Программа по загрузке ЭСЧФ в базу V1.8.1"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // Tahoma where it is installed; the font system picks a close sans-serif elsewhere.
    QFont tahoma = font();
    tahoma.setFamilies({QStringLiteral("Tahoma")});
    setFont(tahoma);

    createIcons();
    createControls();
    connectCommands();
    placeWindow();
    runStartup(settingsPath);
}

TfrmMain::~TfrmMain() = default;

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
    CopyInvNumberPBtn->setEnabled(false);
    CopyUNNPBtn->setEnabled(false);
    ListPopup->addAction(CopyInvNumberPBtn);
    ListPopup->addAction(CopyUNNPBtn);
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
    UpdateOldInDBCB = named(new QCheckBox(kUpdateOldInDBCaption, UpdateOldGB), "UpdateOldInDBCB");
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
}

void TfrmMain::placeWindow()
{
    applyMinimumSize();
    resize(minimumSize());
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen()->availableGeometry()));
}

// The minimum is an outer size: the decorations are taken off once the window system has told
// their size (on some systems only after the first show). Where the font is wider than the one the
// window was designed with, the controls' own minimum wins, so that no caption is cut.
void TfrmMain::applyMinimumSize()
{
    const QScreen* const screen = this->screen();
    const qreal scale = screen->logicalDotsPerInch() / kDesignDpi;
    const QSize decorations = frameGeometry().size() - geometry().size();
    const QSize outer = QSize(qRound(kDesignMinWidth * scale), qRound(kDesignMinHeight * scale))
                            .expandedTo(minimumSizeHint() + decorations)
                            .boundedTo(screen->availableGeometry().size());
    setMinimumSize(outer - decorations);
}

void TfrmMain::showEvent(QShowEvent* event)
{
    applyMinimumSize();
    QMainWindow::showEvent(event);
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

void TfrmMain::ParseInvoicesBtnClick()
{
    // The import run starts here.
}

void TfrmMain::FilialSettingsMMBtnClick()
{
    // Opens the branch redirection window.
}
