// An import run started from the main window, on a real database and real invoice files: what the
// window shows while and after the run, and closing the window while the run lasts.
#include "app/messages.h"
#include "app/tfrmmain.h"
#include "data/tdm.h"
#include "import/parsethread.h"
#include "invoiceview/tfrminvoiceview.h"
#include "invoicexml.h"
#include "settings/invpredprsgrid.h"
#include "settings/invpredprsmessages.h"
#include "settings/invpredprsmodel.h"
#include "settings/tfrminvpredprs.h"
#include "testdatabase.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

using eschf::MessageKind;

namespace {

const QString kLoaded = QStringLiteral("Загружен в базу - удалён");
const QString kAlreadyThere = QStringLiteral("Уже существует - удалён");
const QString kNotFound = QStringLiteral(" - Не найдено организации с УНП - ");
const QString kBranch = QStringLiteral(" - Код филиала(доп УНП) - ");
// A branch code that makes its line wider than the list.
const QString kLongBranch = QString(80, u'0') + u'5';

struct Message
{
    MessageKind kind;
    QString text;
};

// The window as the worker left it when it showed the summary.
struct AtSummary
{
    QList<bool> runControls; // SortBtn, CopyErrorsBtn, ParseInvoicesBtn, EnableUpdateOldCB, UpdateOldGB
    int progress = -1;
    bool workerConnection = true;
    bool windowConnection = false;
};

QString invoiceNumber(int sequence)
{
    return QStringLiteral("290000002-2024-%1").arg(sequence, 10, 10, QLatin1Char('0'));
}

// Counts the hand-overs the worker makes to the window.
class HandOverCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MetaCall)
            ++count;
        return QObject::eventFilter(watched, event);
    }
};

// Closes the window on the worker's first hand-over, before the run has listed a file.
class CloseOnFirstHandOver : public QObject
{
public:
    explicit CloseOnFirstHandOver(TfrmMain& window) : m_window(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MetaCall && !m_done) {
            m_done = true;
            m_window.close();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    TfrmMain& m_window;
    bool m_done = false;
};

} // namespace

class TestGuiImportRun : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase_data();
    void initTestCase();
    void init();
    void cleanup();

    void runShowsOutcomes_data();
    void runShowsOutcomes();
    void emptyFolder_data();
    void emptyFolder();
    void secondPressStartsNothing();
    void checkFromMenu();
    void noConnection_data();
    void noConnection();
    void closeDuringRun_data();
    void closeDuringRun();
    void summaryShownOnFourLines();
    void popupActsOnClickedLineDuringRun_data();
    void popupActsOnClickedLineDuringRun();
    void reportOfTheList();
    void reportThatCannotBeWritten_data();
    void reportThatCannotBeWritten();
    void redirectBranchFromLine_data();
    void redirectBranchFromLine();
    void viewInvoiceFromLineDuringRun();

private:
    // Messages are answered at once and kept in m_messages.
    void recordMessages();
    std::unique_ptr<TfrmMain> openWindow();
    // Writes file index of the kind a row names; returns its log line's path.
    QString writeFile(int index, const QString& kind) const;
    void writeInvoices(int count) const;
    // Starts a run and waits for its end; the window's controls are enabled again by then.
    void runToEnd(TfrmMain& window);
    QList<Message> summaries() const;
    // Right-clicks line row and opens the list's popup on it, as the mouse does.
    static void openPopupOn(TfrmMain& window, int row);
    // Saves the list's report through the popup; returns its rows as read back, header first.
    QList<QStringList> saveReport(TfrmMain& window, const QString& target);
    QString query(const QString& sql) const;
    // Every stored invoice complete with its items and document; nothing left without its invoice.
    void verifyConsistent() const;

    QTemporaryDir m_dir;
    eschf::test::Backend m_backend = eschf::test::Backend::Sqlite;
    std::unique_ptr<eschf::test::TestDatabase> m_database;
    QString m_db;     // the SQLite file, on the SQLite row
    QString m_folder; // the invoice folder, with its trailing separator
    QString m_settings;
    QList<Message> m_messages;
    std::function<void()> m_onSummary;
    std::unique_ptr<eschf::TDM> m_dm;
};

void TestGuiImportRun::initTestCase_data()
{
    eschf::test::addBackendRows();
}

void TestGuiImportRun::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // The tests close windows and go on; the program itself ends with its window.
    QApplication::setQuitOnLastWindowClosed(false);
}

void TestGuiImportRun::init()
{
    ESCHF_FETCH_BACKEND(backend);
    m_backend = backend;
    const QString root = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()));
    QDir(root).removeRecursively();
    m_folder = QDir(root).filePath(QStringLiteral("Счета")) + u'/';
    QVERIFY(QDir().mkpath(m_folder));
    m_db = QDir(root).filePath(QStringLiteral("buh.db"));
    m_database = std::make_unique<eschf::test::TestDatabase>(backend, m_db);
    m_database->exec(QStringLiteral("INSERT INTO tbPredpr (idPredpr, UNN) VALUES (1, '190000001'), "
                                    "(2, '290000002'); INSERT INTO tbNastrPredpr VALUES (1);"));
    m_settings = QDir(root).filePath(QStringLiteral("MdbConnect.ini"));
    eschf::test::writeSettings(m_settings, m_database->connectionString(), m_folder);

    m_messages.clear();
    m_onSummary = nullptr;
    recordMessages();
    // The branch redirection window's boxes, refusals above all, are answered No.
    eschf::invpredprs::setAskHandler([this](eschf::invpredprs::Ask, const QString& text) {
        m_messages.append({MessageKind::Error, text});
        return false;
    });
    m_dm = std::make_unique<eschf::TDM>(QStringLiteral("MDBConnection"));
}

void TestGuiImportRun::recordMessages()
{
    eschf::setMessageHandler([this](MessageKind kind, const QString& text) {
        m_messages.append({kind, text});
        if (kind == MessageKind::Information && m_onSummary)
            m_onSummary();
    });
}

void TestGuiImportRun::cleanup()
{
    eschf::setMessageHandler({});
    eschf::invpredprs::setAskHandler({});
    m_dm.reset();
    m_database.reset();
}

std::unique_ptr<TfrmMain> TestGuiImportRun::openWindow()
{
    auto window = std::make_unique<TfrmMain>(*m_dm, m_settings);
    window->show();
    m_messages.clear();
    return window;
}

QString TestGuiImportRun::writeFile(int index, const QString& kind) const
{
    const QString path = m_folder + QStringLiteral("%1.xml").arg(index);
    if (kind == u"folder") {
        QDir().mkpath(path);
        return path;
    }
    if (kind == u"broken") {
        eschf::test::writeText(path, "<issuance sender=\"290000002\">");
        return path;
    }
    eschf::test::InvoiceXml invoice;
    // The same invoice again where a row asks for it ("again").
    invoice.number = invoiceNumber(kind == u"again" ? index : index + 1);
    if (kind == u"A") {
        invoice.documentType = QStringLiteral("ADDITIONAL");
        invoice.invoice = QStringLiteral("290000002-2023-0000009999");
    } else if (kind.startsWith(u'B')) {
        invoice.sender = QStringLiteral("390000003");
        invoice.providerUnp = QStringLiteral("390000003");
        if (kind == u"B5")
            invoice.providerBranch = QStringLiteral(" 5 ");
        else if (kind == u"Blong")
            invoice.providerBranch = kLongBranch;
    } else if (kind == u"C") {
        invoice.deliveryCondition = false;
    } else if (kind == u"D") {
        invoice.recipientUnp = QStringLiteral("490000004");
    }
    eschf::test::writeInvoice(path, invoice);
    return path;
}

void TestGuiImportRun::writeInvoices(int count) const
{
    // Names that sort as they are numbered.
    for (int i = 0; i < count; ++i) {
        eschf::test::InvoiceXml invoice;
        invoice.number = invoiceNumber(i + 1);
        eschf::test::writeInvoice(m_folder + QStringLiteral("%1.xml").arg(i, 4, 10, QLatin1Char('0')),
                                  invoice);
    }
}

void TestGuiImportRun::runToEnd(TfrmMain& window)
{
    window.ParseInvoicesBtnClick();
    // Generous: every commit of the embedded database waits for the disk.
    QTRY_VERIFY_WITH_TIMEOUT(!window.runInProgress(), 120000);
}

QList<Message> TestGuiImportRun::summaries() const
{
    QList<Message> found;
    for (const Message& message : m_messages) {
        if (message.kind == MessageKind::Information)
            found.append(message);
    }
    return found;
}

QString TestGuiImportRun::query(const QString& sql) const
{
    return m_database->query(sql);
}

void TestGuiImportRun::verifyConsistent() const
{
    const QString sameInvoice = QStringLiteral(
        "i.idSender = x.idSender AND i.compilingYear = x.compilingYear AND i.number = x.number");
    QCOMPARE(query(QStringLiteral("SELECT count(*) FROM invoices WHERE completed IS NULL OR completed <> 1")),
             QStringLiteral("0"));
    for (const QString& table : {QStringLiteral("roster"), QStringLiteral("documents")}) {
        QCOMPARE(query(QStringLiteral("SELECT count(*) FROM %1 x WHERE NOT EXISTS "
                                      "(SELECT 1 FROM invoices i WHERE %2)")
                           .arg(table, sameInvoice)),
                 QStringLiteral("0"));
        QCOMPARE(query(QStringLiteral("SELECT count(*) FROM invoices i WHERE NOT EXISTS "
                                      "(SELECT 1 FROM %1 x WHERE %2)")
                           .arg(table, sameInvoice)),
                 QStringLiteral("0"));
    }
    QCOMPARE(query(QStringLiteral("SELECT count(*) FROM descriptions d WHERE NOT EXISTS "
                                  "(SELECT 1 FROM roster r WHERE r.idStr = d.idStr)")),
             QStringLiteral("0"));
}

void TestGuiImportRun::runShowsOutcomes_data()
{
    QTest::addColumn<QStringList>("kinds");
    QTest::addColumn<bool>("updateMode"); // update mode on and "Перезапись…" ticked
    QTest::addColumn<QString>("summary");

    QTest::newRow("every outcome a window shows")
        << QStringList{"E", "again", "A", "B", "Blong", "C", "D", "broken", "folder"} << false
        << "Загрузка закончена.\n\rЗагружено: 1\n\rОшибки: 7\n\rПропущено: 1";
    QTest::newRow("a single file") << QStringList{"E"} << false
                                   << "Загрузка закончена.\n\rЗагружено: 1\n\rОшибки: 0\n\rПропущено: 0";
    QTest::newRow("rewrite ticked: the stored invoice is written again")
        << QStringList{"E", "again"} << true
        << "Загрузка закончена.\n\rЗагружено: 2\n\rОшибки: 0\n\rПропущено: 0";
}

void TestGuiImportRun::runShowsOutcomes()
{
    QFETCH(QStringList, kinds);
    QFETCH(bool, updateMode);
    QFETCH(QString, summary);
    const int n = int(kinds.size());

    QStringList paths;
    for (int i = 0; i < kinds.size(); ++i)
        paths << writeFile(i, kinds.at(i));
    const auto window = openWindow();
    if (updateMode) {
        window->EnableUpdateOldCB->click();
        window->UpdateOldInDBCB->setChecked(true);
    }
    const QList<QWidget*> inner = {window->UpdateOldFiles, window->UpdateSendingFiles,
                                   window->UpdateOldInDBCB};
    QCOMPARE(window->UpdateOldInDBCB->isEnabled(), updateMode);

    AtSummary atSummary;
    m_onSummary = [&] {
        for (QWidget* const control :
             {static_cast<QWidget*>(window->SortBtn), static_cast<QWidget*>(window->CopyErrorsBtn),
              static_cast<QWidget*>(window->ParseInvoicesBtn),
              static_cast<QWidget*>(window->EnableUpdateOldCB), static_cast<QWidget*>(window->UpdateOldGB)})
            atSummary.runControls << control->isEnabled();
        atSummary.progress = window->MainProgressBar->value();
        atSummary.workerConnection = QSqlDatabase::contains(eschf::TParseThread::ConnectionName);
        atSummary.windowConnection = m_dm->isOpen();
    };
    HandOverCounter handOvers;
    window->installEventFilter(&handOvers);

    window->ParseInvoicesBtnClick();
    // Off before the worker has taken a step.
    QVERIFY(!window->ParseInvoicesBtn->isEnabled());
    QVERIFY(!window->SortBtn->isEnabled());
    QVERIFY(!window->UpdateOldGB->isEnabled());
    QCOMPARE(window->MainProgressBar->maximum(), n - 1);
    QTRY_VERIFY_WITH_TIMEOUT(!window->runInProgress(), 120000);

    // The summary held the worker with every control still off and the last file's position.
    QCOMPARE(summaries().size(), 1);
    QCOMPARE(summaries().first().text, summary);
    QCOMPARE(atSummary.runControls, QList<bool>(5, false));
    QCOMPARE(atSummary.progress, n - 1);
    QVERIFY2(!atSummary.workerConnection, "the worker's connection outlived its files");
    QVERIFY(atSummary.windowConnection);
    QVERIFY(handOvers.count <= 3 * n + 3);

    for (QWidget* const control :
         {static_cast<QWidget*>(window->SortBtn), static_cast<QWidget*>(window->CopyErrorsBtn),
          static_cast<QWidget*>(window->ParseInvoicesBtn), static_cast<QWidget*>(window->EnableUpdateOldCB),
          static_cast<QWidget*>(window->UpdateOldGB)})
        QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
    for (QWidget* const control : inner)
        QCOMPARE(control->isEnabled(), updateMode);
    QCOMPARE(window->MainProgressBar->value(), n - 1);

    QCOMPARE(window->LogLB->count(), n);
    for (int i = 0; i < n; ++i) {
        const QString kind = kinds.at(i);
        const QString number = invoiceNumber(kind == u"again" ? i : i + 1);
        QString line = paths.at(i);
        if (kind == u"E" || (kind == u"again" && updateMode))
            line = kLoaded;
        else if (kind == u"again")
            line = kAlreadyThere;
        else if (kind == u"A")
            line = number + QStringLiteral(" - Не найдена исходная ЭСЧФ - 290000002-2023-0000009999");
        else if (kind == u"B")
            line = number + kNotFound + QStringLiteral("390000003") + kBranch;
        else if (kind == u"Blong")
            line = number + kNotFound + QStringLiteral("390000003") + kBranch + kLongBranch;
        else if (kind == u"C")
            line = QStringLiteral("У ЭСЧФ - ") + number + QStringLiteral(" - нет документа для сверки.");
        else if (kind == u"D")
            line = number + kNotFound + QStringLiteral("490000004") + kBranch;
        const QListWidgetItem* const item = window->LogLB->item(i);
        QCOMPARE(item->text(), line);
        // The reason a file failed is its line's tooltip; a loaded or skipped file has none.
        const bool gone = line == kLoaded || line == kAlreadyThere;
        QVERIFY2(item->toolTip().isEmpty() == gone,
                 qPrintable(kind + QStringLiteral(": ") + item->toolTip()));
        QCOMPARE(QFileInfo::exists(paths.at(i)), !gone);
    }
    QCOMPARE(window->LogLB->currentRow(), n - 1);
    // No line is cut short: the list scrolls sideways to the end of the widest.
    const QListWidget* const list = window->LogLB;
    int widest = 0;
    for (int i = 0; i < n; ++i)
        widest = std::max(widest, list->fontMetrics().horizontalAdvance(list->item(i)->text()));
    QVERIFY2(list->horizontalScrollBar()->maximum() + list->viewport()->width() >= widest,
             qPrintable(QStringLiteral("%1 + %2 < %3")
                            .arg(list->horizontalScrollBar()->maximum())
                            .arg(list->viewport()->width())
                            .arg(widest)));
    QCOMPARE(list->textElideMode(), Qt::ElideNone);
    verifyConsistent();
}

void TestGuiImportRun::emptyFolder_data()
{
    QTest::addColumn<QString>("content"); // "" nothing, "other" files of another kind, "gone" no folder
    QTest::newRow("empty folder") << "";
    QTest::newRow("no invoice files") << "other";
    QTest::newRow("the folder does not exist") << "gone";
}

void TestGuiImportRun::emptyFolder()
{
    QFETCH(QString, content);
    if (content == u"other") {
        eschf::test::writeText(m_folder + QStringLiteral("readme.txt"), "not an invoice");
        eschf::test::writeText(m_folder + QStringLiteral("invoice.xml.bak"), "<issuance/>");
    } else if (content == u"gone") {
        QVERIFY(QDir(m_folder).removeRecursively());
    }
    const auto window = openWindow();
    window->LogLB->addItem(QStringLiteral("a line of an earlier command"));
    window->MainProgressBar->setMaximum(9);
    window->MainProgressBar->setValue(4);

    window->ParseInvoicesBtn->click();
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages.first().kind, MessageKind::Warning);
    QCOMPARE(m_messages.first().text, QStringLiteral("В папке нет файлов."));
    QCOMPARE(window->LogLB->count(), 0);
    QCOMPARE(window->MainProgressBar->value(), 0);
    QVERIFY(!window->runInProgress());
    // Nothing changed its enabled state: sorting and copying still wait for a first run.
    QVERIFY(!window->SortBtn->isEnabled());
    QVERIFY(!window->CopyErrorsBtn->isEnabled());
    QVERIFY(window->ParseInvoicesBtn->isEnabled());
    QVERIFY(window->EnableUpdateOldCB->isEnabled());
    QVERIFY(window->UpdateOldGB->isEnabled());
}

void TestGuiImportRun::secondPressStartsNothing()
{
    writeInvoices(20);
    writeFile(20, QStringLiteral("broken"));
    const auto window = openWindow();

    window->ParseInvoicesBtn->click();
    QVERIFY(window->runInProgress());
    window->ParseInvoicesBtn->click();
    window->ParseInvoicesBtnClick();
    // A second launch would have listed the folder again.
    QCOMPARE(window->LogLB->count(), 21);
    QTRY_VERIFY_WITH_TIMEOUT(!window->runInProgress(), 120000);
    QCOMPARE(summaries().size(), 1);
    QCOMPARE(summaries().first().text,
             QStringLiteral("Загрузка закончена.\n\rЗагружено: 20\n\rОшибки: 1\n\rПропущено: 0"));

    // After the run a press starts the next one, on what the first left behind.
    runToEnd(*window);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(summaries().size(), 2);
    QCOMPARE(summaries().last().text,
             QStringLiteral("Загрузка закончена.\n\rЗагружено: 0\n\rОшибки: 1\n\rПропущено: 0"));
    QCOMPARE(window->LogLB->count(), 1);
    QCOMPARE(window->MainProgressBar->maximum(), 0);
}

// The menu's check goes through the folder like a run, with its own texts, and leaves every file
// and the database as they were; neither a run nor another check can start meanwhile.
void TestGuiImportRun::checkFromMenu()
{
    writeInvoices(3);
    writeFile(3, QStringLiteral("broken"));
    const auto window = openWindow();
    QVERIFY(window->CheckInvoicesMMBtn->isEnabled());
    const QString before = m_database->contents();

    window->CheckInvoicesMMBtn->trigger();
    QVERIFY(window->runInProgress());
    QVERIFY(!window->CheckInvoicesMMBtn->isEnabled());
    QVERIFY(!window->ParseInvoicesBtn->isEnabled());
    window->ParseInvoicesBtnClick();
    QTRY_VERIFY_WITH_TIMEOUT(!window->runInProgress(), 120000);
    QVERIFY(window->CheckInvoicesMMBtn->isEnabled());
    QCOMPARE(summaries().size(), 1);
    QCOMPARE(summaries().first().text,
             QStringLiteral("Проверка закончена.\n\rБудет загружено: 3\n\rОшибки: 1\n\rУже в базе: 0"));
    QCOMPARE(window->LogLB->count(), 4);
    QCOMPARE(window->LogLB->item(0)->text(), QStringLiteral("Будет загружен"));
    QCOMPARE(window->LogLB->item(3)->text(), m_folder + QStringLiteral("3.xml"));
    QCOMPARE(QDir(m_folder).entryList(QDir::Files).size(), 4);
    QCOMPARE(m_database->contents(), before);
}

void TestGuiImportRun::noConnection_data()
{
    QTest::addColumn<bool>("settingsBroken"); // start-up never read a connection string it can use
    QTest::addColumn<QString>("reason");
    QTest::newRow("start-up stopped before the connection") << true << "Нет подключения к базе данных";
    QTest::newRow("the database is gone since start-up") << false << "Файл базы данных не найден";
}

void TestGuiImportRun::noConnection()
{
    QFETCH(bool, settingsBroken);
    QFETCH(QString, reason);
    if (m_database->isServer())
        QSKIP("settings that reach no database, or a database file deleted: the SQLite rows cover it");
    if (settingsBroken) {
        eschf::test::writeSettings(
            m_settings, QStringLiteral("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=x.accdb"), m_folder);
    }
    writeInvoices(2);
    const auto window = openWindow();
    QVERIFY(!window->path.isEmpty());
    if (!settingsBroken) {
#ifdef Q_OS_WIN
        // The window holds its database open, and Windows refuses to delete an open file: the
        // database cannot go away under it there, and the run loads.
        QVERIFY(!QFile::remove(m_db));
        runToEnd(*window);
        QCOMPARE(summaries().size(), 1);
        QCOMPARE(summaries().first().text,
                 QStringLiteral("Загрузка закончена.\n\rЗагружено: 2\n\rОшибки: 0\n\rПропущено: 0"));
        return;
#else
        QVERIFY(QFile::remove(m_db));
#endif
    }

    runToEnd(*window);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(summaries().size(), 1);
    QCOMPARE(summaries().first().text,
             QStringLiteral("Загрузка закончена.\n\rЗагружено: 0\n\rОшибки: 2\n\rПропущено: 0"));
    for (int i = 0; i < 2; ++i) {
        const QListWidgetItem* const item = window->LogLB->item(i);
        QCOMPARE(item->text(), m_folder + QStringLiteral("%1.xml").arg(i, 4, 10, QLatin1Char('0')));
        QVERIFY2(item->toolTip().contains(reason), qPrintable(item->toolTip()));
        QVERIFY(QFile::exists(item->text()));
    }
    QVERIFY(window->ParseInvoicesBtn->isEnabled());
}

void TestGuiImportRun::closeDuringRun_data()
{
    QTest::addColumn<int>("files");
    // The file whose start closes the window (0: the run's first step); -1 any moment; -2 the summary;
    // -3 the summary in its real message box.
    QTest::addColumn<int>("closeAt");

    QTest::newRow("before the first file") << 10 << 0;
    QTest::newRow("at the second file") << 10 << 1;
    QTest::newRow("in the middle of the folder") << 40 << 17;
    QTest::newRow("at the last file") << 10 << 9;
    QTest::newRow("at any moment") << 300 << -1;
    QTest::newRow("while the summary is open") << 5 << -2;
    QTest::newRow("while the summary's box is open") << 5 << -3;
}

void TestGuiImportRun::closeDuringRun()
{
    QFETCH(int, files);
    QFETCH(int, closeAt);
    writeInvoices(files);
    auto window = openWindow();
    TfrmMain* const shown = window.get();
    CloseOnFirstHandOver closer(*window);
    bool boxOutlivedWindow = false;
    if (closeAt == 0) {
        window->installEventFilter(&closer);
    } else if (closeAt > 0) {
        // Closing inside the worker's own hand-over: the worker is waiting on this very call.
        connect(window->MainProgressBar, &QProgressBar::valueChanged, window.get(),
                [shown, closeAt](int value) {
                    if (value == closeAt && shown->runInProgress())
                        shown->close();
                });
    } else if (closeAt == -2) {
        m_onSummary = [shown] {
            shown->close();
        };
    } else if (closeAt == -3) {
        eschf::setMessageHandler({});
        // The box runs a loop of its own, in which the timer still fires.
        auto* const poll = new QTimer(window.get());
        connect(poll, &QTimer::timeout, window.get(), [this, shown, &boxOutlivedWindow] {
            auto* const box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            if (shown->isVisible()) {
                m_messages.append({MessageKind::Information, box->text()});
                shown->close();
            } else {
                boxOutlivedWindow = true;
                box->done(QMessageBox::Ok);
            }
        });
        poll->start(10);
    }

    window->ParseInvoicesBtnClick();
    if (closeAt == -1) {
        QTRY_VERIFY_WITH_TIMEOUT(window->MainProgressBar->value() >= 3, 60000);
        window->close();
    }
    if (closeAt == -2)
        QTRY_VERIFY_WITH_TIMEOUT(!summaries().isEmpty(), 120000);
    else
        QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 60000);
    // The summary's box went with the window.
    QVERIFY(!boxOutlivedWindow);
    QVERIFY(!QApplication::activeModalWidget());
    recordMessages();
    // Destroying the window lets the worker go: it must end, not abort the program.
    window.reset();
    QVERIFY(!QSqlDatabase::contains(eschf::TParseThread::ConnectionName));

    // Every file is either stored and gone or untouched and still there.
    int stored = 0;
    for (int i = 0; i < files; ++i) {
        const QString path = m_folder + QStringLiteral("%1.xml").arg(i, 4, 10, QLatin1Char('0'));
        const QString rows =
            query(QStringLiteral("SELECT count(*) FROM invoices WHERE number = %1").arg(i + 1));
        QVERIFY2(rows == (QFile::exists(path) ? QStringLiteral("0") : QStringLiteral("1")), qPrintable(path));
        stored += rows.toInt();
    }
    verifyConsistent();
    if (closeAt >= 0) {
        QCOMPARE(stored, closeAt);
        QVERIFY(summaries().isEmpty());
    } else if (closeAt == -1) {
        QVERIFY(stored < files);
        QVERIFY(summaries().isEmpty());
    } else {
        QCOMPARE(stored, files);
        QCOMPARE(summaries().size(), 1);
    }

    // The next start and run load the rest.
    m_messages.clear();
    m_onSummary = nullptr;
    const auto next = openWindow();
    runToEnd(*next);
    if (QTest::currentTestFailed())
        return;
    if (stored < files) {
        QCOMPARE(summaries().size(), 1);
        QCOMPARE(summaries().first().text,
                 QStringLiteral("Загрузка закончена.\n\rЗагружено: %1\n\rОшибки: 0\n\rПропущено: 0")
                     .arg(files - stored));
    } else {
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_messages.first().text, QStringLiteral("В папке нет файлов."));
    }
    QCOMPARE(query(QStringLiteral("SELECT count(*) FROM invoices")), QString::number(files));
    verifyConsistent();
}

// The summary is handed on with its lines separated by LF CR, and shown one line under another.
void TestGuiImportRun::summaryShownOnFourLines()
{
    writeInvoices(1);
    const auto window = openWindow();
    eschf::setMessageHandler({});
    QString shown;
    int height = -1;
    int expectedHeight = -2;
    QTimer poll;
    connect(&poll, &QTimer::timeout, window.get(), [&] {
        auto* const box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        const auto* const label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        if (label) {
            shown = label->text();
            height = label->heightForWidth(label->width());
            QLabel fourLines(QStringLiteral("1\n2\n3\n4"));
            fourLines.setFont(label->font());
            fourLines.setWordWrap(label->wordWrap());
            expectedHeight = fourLines.heightForWidth(label->width());
        }
        box->done(QMessageBox::Ok);
    });
    poll.start(10);
    runToEnd(*window);
    poll.stop();
    recordMessages();
    QCOMPARE(shown, QStringLiteral("Загрузка закончена.\nЗагружено: 1\nОшибки: 0\nПропущено: 0"));
    // Four lines as a label sets them; a double-spaced text would be nearly twice as high. Label
    // heights of the same lines may differ by a pixel of rounding between fonts and platforms.
    QVERIFY2(qAbs(height - expectedHeight) <= 1,
             qPrintable(QStringLiteral("%1 against %2").arg(height).arg(expectedHeight)));
}

void TestGuiImportRun::openPopupOn(TfrmMain& window, int row)
{
    QListWidget* const list = window.LogLB;
    const QPoint where = list->visualItemRect(list->item(row)).center();
    QTest::mousePress(list->viewport(), Qt::RightButton, Qt::NoModifier, where);
    QContextMenuEvent request(QContextMenuEvent::Mouse, where, list->viewport()->mapToGlobal(where));
    QCoreApplication::sendEvent(list->viewport(), &request);
    QTest::mouseRelease(list->viewport(), Qt::RightButton, Qt::NoModifier, where);
    QTRY_VERIFY(window.ListPopup->isVisible());
}

void TestGuiImportRun::popupActsOnClickedLineDuringRun_data()
{
    QTest::addColumn<int>("clickAt");     // the file the run is at when line 0 is clicked
    QTest::addColumn<QString>("command"); // the popup command then chosen
    QTest::addColumn<QString>("copied");

    QTest::newRow("number, clicked before its file was handled") << 0 << "number" << invoiceNumber(1);
    QTest::newRow("number, clicked after") << 2 << "number" << invoiceNumber(1);
    QTest::newRow("taxpayer number, clicked after") << 2 << "unn"
                                                    << "390000003";
}

// The run moves the selection on while the popup is open; its commands keep to the line clicked.
void TestGuiImportRun::popupActsOnClickedLineDuringRun()
{
    QFETCH(int, clickAt);
    QFETCH(QString, command);
    QFETCH(QString, copied);

    writeFile(0, QStringLiteral("B"));
    writeInvoices(12); // listed after 0.xml
    const auto window = openWindow();
    window->ParseInvoicesBtnClick();
    if (clickAt > 0)
        QTRY_VERIFY_WITH_TIMEOUT(window->MainProgressBar->value() >= clickAt, 60000);
    QVERIFY(window->runInProgress());
    openPopupOn(*window, 0);
    QTRY_VERIFY_WITH_TIMEOUT(!window->runInProgress(), 120000);
    QVERIFY(window->ListPopup->isVisible());
    QCOMPARE(window->LogLB->currentRow(), window->LogLB->count() - 1);

    QGuiApplication::clipboard()->setText(QStringLiteral("old"));
    QAction* const action = command == u"number" ? window->CopyInvNumberPBtn : window->CopyUNNPBtn;
    QVERIFY(action->isEnabled());
    action->trigger();
    window->ListPopup->close();
    QCOMPARE(QGuiApplication::clipboard()->text(), copied);
}

namespace {

// The report as a spreadsheet reads it: ';' between fields, each quoted, quotes doubled, CR LF rows.
QList<QStringList> readCsv(const QByteArray& bytes)
{
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text.at(i + 1) == u'"')
                field += text.at(++i);
            else if (c == u'"')
                quoted = false;
            else
                field += c;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u';') {
            row << std::exchange(field, QString());
        } else if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') {
            ++i;
            row << std::exchange(field, QString());
            rows << std::exchange(row, QStringList());
        } else {
            field += c;
        }
    }
    return rows;
}

} // namespace

QList<QStringList> TestGuiImportRun::saveReport(TfrmMain& window, const QString& target)
{
    eschf::setSaveFileNameHandler([target](const QString&) { return std::optional<QString>(target); });
    window.ListPopupPopup();
    const bool enabled = window.SaveReportPBtn->isEnabled();
    window.SaveReportPBtn->trigger();
    eschf::setSaveFileNameHandler({});
    if (!enabled)
        return {};
    QFile file(target);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return readCsv(file.readAll());
}

// One row a line in list order, with how the file ended as the run left it, the order after
// sorting too; names that need quoting come back whole.
void TestGuiImportRun::reportOfTheList()
{
    writeFile(0, QStringLiteral("E"));
    writeFile(1, QStringLiteral("B5"));
    eschf::test::InvoiceXml noDocument;
    noDocument.number = invoiceNumber(7);
    noDocument.deliveryCondition = false;
#ifdef Q_OS_WIN
    // Windows takes neither quotes nor line breaks in a file name.
    const QString oddName = QStringLiteral("2 счёт №7; копия вторая.xml");
#else
    const QString oddName = QStringLiteral("2 счёт \"№7\"; копия\nвторая.xml");
#endif
    eschf::test::writeInvoice(m_folder + oddName, noDocument);
    const auto window = openWindow();
    // Beside the settings: a folder of this row alone.
    const QString target = QFileInfo(m_settings).dir().filePath(QStringLiteral("отчёт.csv"));
    QCOMPARE(saveReport(*window, target), QList<QStringList>()); // nothing listed yet
    QVERIFY(!QFile::exists(target));
    runToEnd(*window);

    struct Expected
    {
        QString file, letter, unp, branch;
    };
    const QList<Expected> files{
        {QStringLiteral("0.xml"), QStringLiteral("E"), {}, {}},
        {QStringLiteral("1.xml"), QStringLiteral("B"), QStringLiteral("390000003"), QStringLiteral(" 5 ")},
        {oddName, QStringLiteral("C"), {}, {}}};
    for (const bool sorted : {false, true}) {
        if (sorted)
            window->SortBtnClick();
        const QList<QStringList> rows = saveReport(*window, target);
        QCOMPARE(rows.size(), window->LogLB->count() + 1);
        QCOMPARE(rows.first().first(), QStringLiteral("Файл"));
        for (int i = 1; i < rows.size(); ++i) {
            const QStringList& row = rows.at(i);
            QCOMPARE(row.size(), rows.first().size());
            QCOMPARE(row.at(4), window->LogLB->item(i - 1)->text());
            const auto expected = std::find_if(files.cbegin(), files.cend(),
                                               [&row](const Expected& e) { return e.file == row.at(0); });
            QVERIFY2(expected != files.cend(), qPrintable(row.at(0)));
            QCOMPARE(row.at(2), expected->letter);
            QCOMPARE(row.at(7), expected->unp);
            QCOMPARE(row.at(8), expected->branch);
        }
        // Sorting puts the line of the missing organisation first.
        QCOMPARE(rows.at(1).at(0), sorted ? QStringLiteral("1.xml") : QStringLiteral("0.xml"));
    }
    QVERIFY(m_messages.size() == 1); // the summary
}

void TestGuiImportRun::reportThatCannotBeWritten_data()
{
    QTest::addColumn<QString>("target"); // under the test's folder
    QTest::newRow("folder that does not exist") << "nowhere/report.csv";
    QTest::newRow("a folder of that name") << "Счета";
}

// The operator is told, and the list stays as it is.
void TestGuiImportRun::reportThatCannotBeWritten()
{
    QFETCH(QString, target);
    writeFile(0, QStringLiteral("B5"));
    writeFile(1, QStringLiteral("E"));
    const auto window = openWindow();
    runToEnd(*window);
    m_messages.clear();
    QStringList before;
    for (int i = 0; i < window->LogLB->count(); ++i)
        before << window->LogLB->item(i)->text() + window->LogLB->item(i)->toolTip();

    const QString path = QDir(m_folder).filePath(QStringLiteral("../") + target);
    const bool wasFolder = QFileInfo(path).isDir();
    QCOMPARE(saveReport(*window, path), QList<QStringList>());
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages.first().kind, MessageKind::Error);
    QVERIFY2(m_messages.first().text.startsWith(QStringLiteral("Не удалось записать отчёт")),
             qPrintable(m_messages.first().text));
    QCOMPARE(QFileInfo(path).isDir(), wasFolder);
    QStringList after;
    for (int i = 0; i < window->LogLB->count(); ++i)
        after << window->LogLB->item(i)->text() + window->LogLB->item(i)->toolTip();
    QCOMPARE(after, before);
    QCOMPARE(window->LogLB->currentRow(), window->LogLB->count() - 1);
}

void TestGuiImportRun::redirectBranchFromLine_data()
{
    QTest::addColumn<QString>("kind");     // of the one file
    QTest::addColumn<QString>("existing"); // newDopUnn of a redirection of (390000003, 5) already there
    QTest::addColumn<bool>("offered");

    QTest::newRow("branch without redirection") << "B5"
                                                << "" << true;
    QTest::newRow("redirection there, to a branch not in the directory") << "B5"
                                                                         << "8" << true;
    QTest::newRow("no branch code") << "B"
                                    << "" << false;
}

// The popup on a line of a missing branch opens the redirection window on that branch; the row the
// operator completes there is what the next run resolves the sender by.
void TestGuiImportRun::redirectBranchFromLine()
{
    QFETCH(QString, kind);
    QFETCH(QString, existing);
    QFETCH(bool, offered);

    // Only the branch 7 of 390000003 is in the directory.
    m_database->exec(
        QStringLiteral("INSERT INTO tbPredpr (idPredpr, UNN, DopUNN) VALUES (4, '390000003', 7)"));
    if (!existing.isEmpty())
        m_database->exec(QStringLiteral("INSERT INTO invPredprs VALUES ('100', 1, 1), "
                                        "('390000003', 5, %1), ('900', 2, 2);")
                             .arg(existing));
    writeFile(0, kind);
    const auto window = openWindow();
    runToEnd(*window);
    openPopupOn(*window, 0);
    QCOMPARE(window->RedirectBranchPBtn->isEnabled(), offered);
    window->ListPopup->close();
    if (!offered)
        return;

    bool seen = false;
    QTimer::singleShot(0, this, [&] {
        auto* const form = qobject_cast<TfrmInvPredprs*>(QApplication::activeModalWidget());
        QVERIFY(form);
        seen = true;
        eschf::InvPredprsModel* const model = form->model();
        const QModelIndex current = form->InvPredprsDBGridEh->currentIndex();
        QCOMPARE(current.column(), int(eschf::InvPredprsModel::NewDopUnn));
        QCOMPARE(model->isInserting(), existing.isEmpty());
        QCOMPARE(model->index(current.row(), eschf::InvPredprsModel::Unn).data().toString(),
                 QStringLiteral("390000003"));
        QCOMPARE(model->index(current.row(), eschf::InvPredprsModel::DopUnn).data().toString(),
                 QStringLiteral("5"));
        QCOMPARE(current.data().toString(), existing);
        // Not written while it is being edited.
        QCOMPARE(query(QStringLiteral("SELECT count(*) FROM invPredprs WHERE unn = '390000003'")),
                 existing.isEmpty() ? QStringLiteral("0") : QStringLiteral("1"));
        form->InvPredprsDBGridEh->edit(current);
        auto* const editor = form->InvPredprsDBGridEh->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("7"));
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
        form->close();
    });
    window->RedirectBranchPBtn->trigger();
    QVERIFY(seen);
    QCOMPARE(
        m_database->lines(QStringLiteral("SELECT dopUnn, newDopUnn FROM invPredprs WHERE unn = '390000003'")),
        QStringList{QStringLiteral("5|7")});

    runToEnd(*window);
    QCOMPARE(window->LogLB->item(0)->text(), kLoaded);
    QCOMPARE(query(QStringLiteral("SELECT idProvider FROM invoices")), QStringLiteral("4"));
}

// The view of a file that stayed opens while the run goes on, selects what the line's reason is
// about, and the run loads every other file meanwhile; a line whose file is gone offers no view.
void TestGuiImportRun::viewInvoiceFromLineDuringRun()
{
    writeFile(0, QStringLiteral("D"));
    writeInvoices(12); // listed after 0.xml
    const auto window = openWindow();
    window->ParseInvoicesBtnClick();
    QTRY_VERIFY_WITH_TIMEOUT(window->MainProgressBar->value() >= 2, 60000);
    QVERIFY(window->runInProgress());
    openPopupOn(*window, 0);
    QVERIFY(window->ViewInvoicePBtn->isEnabled());
    window->ViewInvoicePBtn->trigger();
    window->ListPopup->close();
    auto* const form = window->findChild<TfrmInvoiceView*>();
    QVERIFY(form);
    QVERIFY(form->isVisible());
    QCOMPARE(form->OutcomeLbl->text(), QStringLiteral("Итог: D — Не найден получатель"));
    const QTableWidget* const parties = form->PartiesGrid;
    QCOMPARE(form->focusWidget(), parties);
    QCOMPARE(parties->item(parties->currentRow(), 0)->text(), QStringLiteral("Получатель"));
    QCOMPARE(parties->currentItem()->text(), QStringLiteral("не найден"));
    parties->currentItem()->setSelected(true);
    QTest::keyClick(form->PartiesGrid, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("не найден"));

    QTRY_VERIFY_WITH_TIMEOUT(!window->runInProgress(), 120000);
    QCOMPARE(summaries().size(), 1);
    QVERIFY(summaries().front().text.contains(QStringLiteral("Загружено: 12")));
    openPopupOn(*window, 1);
    QVERIFY(!window->ViewInvoicePBtn->isEnabled());
    window->ListPopup->close();
}

QTEST_MAIN(TestGuiImportRun)
#include "tst_gui_importrun.moc"
