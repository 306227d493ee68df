// The main window as start-up leaves it: controls, look, and what start-up shows.
#include "app/messages.h"
#include "app/program.h"
#include "app/tfrmmain.h"
#include "data/tdm.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCommandLinkButton>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

using eschf::MessageKind;
using WidgetMaker = std::function<QWidget*(TfrmMain&)>;
Q_DECLARE_METATYPE(WidgetMaker)

namespace {

struct Message
{
    MessageKind kind;
    QString text;
};

QString missingSettings(const QTemporaryDir& dir)
{
    return dir.filePath(QStringLiteral("MdbConnect.ini"));
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void controls_data();
    void controls();
    void windowLook();
    void arrangement();
    void programLook_data();
    void programLook();
    void missingSettingsShowsMessage();
    void missingSettingsEndsProgram();
    void defaultSettingsAreBesideProgram();
    void startupOutcome_data();
    void startupOutcome();
    void failedStartupStillOpensWindow();

private:
    std::unique_ptr<TfrmMain> makeWindow();
    // A settings file on a fresh database seeded with sql; returns the settings file's path.
    QString settingsOnDatabase(const QString& sql, const QString& databaseName = QStringLiteral("eschf.db"));

    QList<Message> m_messages;
    QTemporaryDir m_dir;
    std::unique_ptr<eschf::TDM> m_dm;
};

// As the program's entry sets the application up.
void TestMainWindow::initTestCase()
{
    eschf::prepareApplication(*qApp);
}

void TestMainWindow::init()
{
    m_messages.clear();
    eschf::setMessageHandler([this](MessageKind kind, const QString& text) {
        m_messages.append({kind, text});
    });
    m_dm = std::make_unique<eschf::TDM>(QStringLiteral("MDBConnection"));
}

void TestMainWindow::cleanup()
{
    eschf::setMessageHandler({});
    m_dm.reset();
}

std::unique_ptr<TfrmMain> TestMainWindow::makeWindow()
{
    auto window = std::make_unique<TfrmMain>(*m_dm, missingSettings(m_dir));
    m_messages.clear();
    return window;
}

void TestMainWindow::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("enabled");

    const auto row = [](const char* name, const char* kind, const QString& caption, bool enabled) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(kind) << caption << enabled;
    };
    row("FilialSettingsMMBtn", "QAction", QStringLiteral("Настройка филиалов"), true);
    row("SearchEdit", "QLineEdit", QString(), true);
    row("SearchBtn", "QPushButton", QStringLiteral("Поиск"), true);
    row("CopyErrorsBtn", "QPushButton", QStringLiteral("Скопировать"), false);
    row("SortBtn", "QPushButton", QStringLiteral("Отсортировать "), false);
    row("CopyInvNumberPBtn", "QAction", QStringLiteral("Копировать номер ЭСЧФ"), false);
    row("CopyUNNPBtn", "QAction", QStringLiteral("Копировать УНП"), false);
    row("SaveReportPBtn", "QAction", QStringLiteral("Сохранить отчёт…"), false);
    row("RedirectBranchPBtn", "QAction", QStringLiteral("Перенаправить код филиала…"), false);
    row("ViewInvoicePBtn", "QAction", QStringLiteral("Просмотреть ЭСЧФ…"), false);
    row("GetInvoicesBtn", "QPushButton", QStringLiteral("Выгрузить ЭСЧФ"), true);
    row("ParseInvoicesBtn", "QPushButton", QStringLiteral("Загрузка в базу"), true);
    row("SearchOrganizationBtn", "QCommandLinkButton", QStringLiteral("Поиск организации по УНП"), true);
    row("EnableUpdateOldCB", "QCheckBox", QStringLiteral("Включить режим обновления"), true);
    row("UpdateOldGB", "QGroupBox", QStringLiteral("Обновление старых выгруженных ЭСЧФ"), true);
    row("UpdateOldFiles", "QPushButton", QStringLiteral("Обновить старые ЭСЧФ"), false);
    row("UpdateSendingFiles", "QPushButton", QStringLiteral("Обновить ЭСЧФ для отправки на портал"), false);
    row("UpdateOldInDBCB", "QCheckBox", QStringLiteral("Перезапись не сверенных ЭСЧФ в базу"), false);
}

void TestMainWindow::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, caption);
    QFETCH(bool, enabled);

    const auto window = makeWindow();
    QObject* const control = window->findChild<QObject*>(name);
    QVERIFY2(control, qPrintable(name));
    QVERIFY2(control->inherits(qPrintable(kind)), control->metaObject()->className());

    QString text;
    if (auto* const group = qobject_cast<QGroupBox*>(control))
        text = group->title();
    else
        text = control->property("text").toString();
    QCOMPARE(text, caption);
    QCOMPARE(control->property("enabled").toBool(), enabled);
    if (auto* const box = qobject_cast<QCheckBox*>(control))
        QVERIFY(!box->isChecked());
}

void TestMainWindow::windowLook()
{
    const auto window = makeWindow();
    QCOMPARE(window->windowTitle(), QStringLiteral("Программа по загрузке ЭСЧФ в базу V1.8.1"));
    QCOMPARE(window->font().family(), QStringLiteral("Tahoma"));

    const Qt::WindowFlags flags = window->windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(window->sizePolicy().horizontalPolicy() != QSizePolicy::Fixed);

    const QScreen* const screen = window->screen();
    const qreal scale = screen->logicalDotsPerInch() / 120.0;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    // The designed minimum, unless the controls need more (a font wider than Tahoma).
    const QSize decorations = window->frameGeometry().size() - window->geometry().size();
    const QSize expected = QSize(qRound(802 * scale), qRound(842 * scale))
                               .expandedTo(window->minimumSizeHint() + decorations)
                               .boundedTo(screen->availableGeometry().size());
    QCOMPARE(window->minimumSize() + decorations, expected);
    QVERIFY(window->minimumSize().height() + decorations.height() >=
            qMin(qRound(842 * scale), screen->availableGeometry().height()));
    const QPoint offCentre = window->frameGeometry().center() - screen->availableGeometry().center();
    QVERIFY2(offCentre.manhattanLength() <= 2,
             qPrintable(QStringLiteral("%1,%2").arg(offCentre.x()).arg(offCentre.y())));
    window->resize(expected.width() + 100, expected.height() + 50);
    QCOMPARE(window->width(), expected.width() + 100);

    // The menu bar holds two commands and no submenu.
    QCOMPARE(window->MainMenu->actions(),
             (QList<QAction*>{window->FilialSettingsMMBtn, window->CheckInvoicesMMBtn}));
    QVERIFY(!window->FilialSettingsMMBtn->menu());
    QCOMPARE(window->CheckInvoicesMMBtn->text(), QStringLiteral("Проверить без загрузки"));
    QCOMPARE(window->menuBar(), window->MainMenu);

    QCOMPARE(window->ListPopup->actions(),
             (QList<QAction*>{window->CopyInvNumberPBtn, window->CopyUNNPBtn, window->SaveReportPBtn,
                              window->RedirectBranchPBtn, window->ViewInvoicePBtn}));
    QCOMPARE(window->LogLB->count(), 0);
    QCOMPARE(window->LogLB->selectionMode(), QAbstractItemView::SingleSelection);
    QVERIFY(!window->LogLB->isSortingEnabled());
    QCOMPARE(window->MainProgressBar->value(), 0);
    QCOMPARE(window->SearchEdit->maxLength(), 9);
    QVERIFY(window->SearchEdit->text().isEmpty());

    QCOMPARE(window->ButtonsImageList_16.size(), 3);
    QCOMPARE(window->ButtonsImageList_24.size(), 2);
    for (const QIcon& icon : window->ButtonsImageList_16 + window->ButtonsImageList_24)
        QVERIFY(!icon.isNull());
    QCOMPARE(window->ParseInvoicesBtn->iconSize(), QSize(24, 24));
    QCOMPARE(window->SortBtn->iconSize(), QSize(16, 16));
}

// Places as the operator knows them: strips above and below the list, the right-hand controls to the
// right edge, the group box along the bottom.
void TestMainWindow::arrangement()
{
    const auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const auto in = [&window](const QWidget* widget) {
        return QRect(widget->mapTo(window.get(), QPoint(0, 0)), widget->size());
    };
    const QRect client = window->centralWidget()->geometry();

    QVERIFY(in(window->TopPanel).bottom() < in(window->LogLB).top());
    QVERIFY(in(window->LogLB).bottom() < in(window->BottomPanel).top());
    QCOMPARE(in(window->BottomPanel).bottom(), client.bottom());
    QCOMPARE(in(window->LogLB).width(), client.width());

    QVERIFY(in(window->SearchEdit).right() < in(window->SearchBtn).left());
    QVERIFY(in(window->SearchBtn).right() < in(window->CopyErrorsBtn).left());
    QVERIFY(in(window->CopyErrorsBtn).right() < in(window->SortBtn).left());
    QVERIFY(client.right() - in(window->SortBtn).right() < 20);

    const QRect bottom = in(window->BottomPanel);
    const QRect progress = in(window->MainProgressBar);
    QVERIFY(progress.width() > bottom.width() - 30);
    QVERIFY(progress.bottom() < in(window->GetInvoicesBtn).top());
    QVERIFY(in(window->GetInvoicesBtn).right() < in(window->ParseInvoicesBtn).left());
    QVERIFY(in(window->ParseInvoicesBtn).right() < in(window->SearchOrganizationBtn).left());
    QVERIFY(bottom.right() - in(window->SearchOrganizationBtn).right() < 20);
    QVERIFY(bottom.right() - in(window->EnableUpdateOldCB).right() < 20);

    const QRect group = in(window->UpdateOldGB);
    QVERIFY(in(window->EnableUpdateOldCB).bottom() < group.top());
    QVERIFY(in(window->SearchOrganizationBtn).bottom() < in(window->EnableUpdateOldCB).top());
    QVERIFY(group.width() > bottom.width() - 30);
    QVERIFY(bottom.bottom() - group.bottom() < 20);
    QVERIFY(in(window->UpdateOldFiles).right() < in(window->UpdateSendingFiles).left());
    QVERIFY(in(window->UpdateSendingFiles).right() < in(window->UpdateOldInDBCB).left());
    QVERIFY(group.contains(in(window->UpdateOldInDBCB)));
    // Its caption wraps onto two lines, narrower than on one.
    const QFontMetrics metrics = window->UpdateOldInDBCB->fontMetrics();
    QVERIFY(window->UpdateOldInDBCB->height() >= 2 * metrics.height());
    QVERIFY(window->UpdateOldInDBCB->width() < metrics.horizontalAdvance(window->UpdateOldInDBCB->text()));

    // No caption is cut: every button and box is at least as wide as it asks to be.
    for (const QAbstractButton* button : window->findChildren<QAbstractButton*>())
        QVERIFY2(button->width() >= button->minimumSizeHint().width(), qPrintable(button->objectName()));
}

// Every text of the program in Tahoma, and Qt's own texts in Russian: the menus that edit boxes
// bring along and the buttons of the message boxes.
void TestMainWindow::programLook_data()
{
    using Make = WidgetMaker;
    QTest::addColumn<Make>("make");
    QTest::addColumn<bool>("qtTexts"); // whose texts come from Qt

    QTest::newRow("popup menu") << Make([](TfrmMain& w) { return w.ListPopup; }) << false;
    QTest::newRow("message box") << Make([](TfrmMain& w) {
        auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Информация"),
                                    QStringLiteral("Загрузка закончена."), QMessageBox::Ok, &w);
        return box->button(QMessageBox::Ok);
    }) << false;
    QTest::newRow("search box menu") << Make([](TfrmMain& w) {
        QMenu* menu = w.SearchEdit->createStandardContextMenu();
        menu->setParent(&w, menu->windowFlags());
        return menu;
    }) << true;
}

void TestMainWindow::programLook()
{
    QFETCH(WidgetMaker, make);
    QFETCH(bool, qtTexts);

    const auto window = makeWindow();
    QWidget* const widget = make(*window);
    QCOMPARE(widget->font().family(), QStringLiteral("Tahoma"));
    if (!qtTexts)
        return;
    const QRegularExpression latin(QStringLiteral("[A-Za-z]"));
    QStringList texts;
    for (const QAction* action : widget->actions()) {
        if (!action->isSeparator())
            texts << action->text().section(u'\t', 0, 0); // without the shortcut
    }
    QVERIFY(!texts.isEmpty());
    for (const QString& text : texts)
        QVERIFY2(!text.contains(latin), qPrintable(text));
}

void TestMainWindow::missingSettingsShowsMessage()
{
    TfrmMain window(*m_dm, missingSettings(m_dir));
    QVERIFY(window.settingsMissing());
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages.first().kind, MessageKind::Error);
    QCOMPARE(m_messages.first().text, QStringLiteral("Файл MdbConnect.ini не найден."));
    QVERIFY(!window.isVisible());
}

// The program ends after the message; the window is never shown and the event loop never runs.
void TestMainWindow::missingSettingsEndsProgram()
{
    bool windowShown = false;
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, this, [&windowShown] {
        for (const QWidget* widget : QApplication::topLevelWidgets())
            windowShown |= widget->inherits("TfrmMain") && widget->isVisible();
        QCoreApplication::quit();
    });
    watcher.start(0);
    const int status = eschf::runLoader(
        {QStringLiteral("eschf-loader"), QStringLiteral("--config"), missingSettings(m_dir)});
    QCOMPARE(status, 1);
    QVERIFY(!windowShown);
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages.first().text, QStringLiteral("Файл MdbConnect.ini не найден."));
}

// Without --config the settings are looked for beside the program, not in the working directory.
void TestMainWindow::defaultSettingsAreBesideProgram()
{
    if (QFileInfo::exists(QCoreApplication::applicationDirPath() + QStringLiteral("/MdbConnect.ini")))
        QSKIP("the program folder holds a settings file");
    const QTemporaryDir workDir;
    QFile decoy(workDir.filePath(QStringLiteral("MdbConnect.ini")));
    QVERIFY(decoy.open(QIODevice::WriteOnly));
    decoy.write("Provider=SQLite;Data Source=none.db\r\n\r\n");
    decoy.close();
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(workDir.path()));
    const int status = eschf::runLoader({QStringLiteral("eschf-loader")});
    QDir::setCurrent(before);
    QCOMPARE(status, 1);
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages.first().text, QStringLiteral("Файл MdbConnect.ini не найден."));
}

QString TestMainWindow::settingsOnDatabase(const QString& sql, const QString& databaseName)
{
    const QString database = m_dir.filePath(QStringLiteral("eschf.db"));
    eschf::test::createSqliteDatabase(database);
    if (!sql.isEmpty())
        eschf::test::execSqlite(database, sql);
    const QString settings = m_dir.filePath(QStringLiteral("settings.ini"));
    eschf::test::writeSettings(settings, eschf::test::sqliteConnectionString(m_dir.filePath(databaseName)),
                               m_dir.path() + QStringLiteral("/in/"));
    return settings;
}

void TestMainWindow::startupOutcome_data()
{
    QTest::addColumn<QString>("seed");
    QTest::addColumn<bool>("download");

    const QString organisations =
        QStringLiteral("INSERT INTO tbPredpr (idPredpr, UNN) VALUES (1, '190555001'), (2, '100200300');");
    QTest::newRow("own organisation")
        << organisations + QStringLiteral("INSERT INTO tbNastrPredpr VALUES (1);") << true;
    QTest::newRow("100200300 may not download")
        << organisations + QStringLiteral("INSERT INTO tbNastrPredpr VALUES (2);") << false;
    QTest::newRow("no own organisation") << organisations << true;
}

// The window takes what start-up found: the download button's state and the invoice folder.
void TestMainWindow::startupOutcome()
{
    QFETCH(QString, seed);
    QFETCH(bool, download);

    TfrmMain window(*m_dm, settingsOnDatabase(seed));
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.value(0).text));
    QVERIFY(!window.settingsMissing());
    QVERIFY(window.startup().succeeded());
    QCOMPARE(window.GetInvoicesBtn->isEnabled(), download);
    QCOMPARE(window.path, m_dir.path() + QStringLiteral("/in/"));
    QVERIFY(window.startup().connection.has_value());
    QCOMPARE(window.LogLB->count(), 0);
}

// A database that cannot be opened: its own message, then the window opens with the download
// button as it was designed.
void TestMainWindow::failedStartupStillOpensWindow()
{
    const QString settings = settingsOnDatabase(QString(), QStringLiteral("missing.db"));
    bool windowShown = false;
    bool downloadEnabled = false;
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, this, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* const window = qobject_cast<TfrmMain*>(widget); window && window->isVisible()) {
                windowShown = true;
                downloadEnabled = window->GetInvoicesBtn->isEnabled();
                window->close();
            }
        }
    });
    watcher.start(50);
    const int status =
        eschf::runLoader({QStringLiteral("eschf-loader"), QStringLiteral("--config"), settings});
    QCOMPARE(status, 0);
    QVERIFY(windowShown);
    QVERIFY(downloadEnabled);
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages.first().kind, MessageKind::Error);
    QVERIFY(!m_messages.first().text.isEmpty());
    QVERIFY(m_messages.first().text != QStringLiteral("Файл MdbConnect.ini не найден."));
}

QTEST_MAIN(TestMainWindow)
#include "tst_gui_mainwindow.moc"
