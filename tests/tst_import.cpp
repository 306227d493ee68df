// The import run over a folder, file by file, on the embedded database and on SQL Server: every
// outcome with its log line, counters and what is left in the folder and the database.
#include "data/connection.h"
#include "data/tdm.h"
#include "import/importrun.h"
#include "import/report.h"
#include "invoicexml.h"
#include "mapping/invoicedocument.h"
#include "testdatabase.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

using namespace eschf;
using namespace eschf::test;

namespace {

const QString kOwnUnn = QStringLiteral("190000001");
const QString kLoaded = QStringLiteral("Загружен в базу - удалён");
const QString kAlreadyThere = QStringLiteral("Уже существует - удалён");
const QString kPath = QStringLiteral("PATH"); // stands for the file's own path in expected lines

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString outcomeName(Outcome outcome)
{
    return QString(QChar(u'A' + static_cast<int>(outcome)));
}

class Recorder : public ImportObserver
{
public:
    void fileStarted(int index) override { started.append(index); }
    void fileFinished(int index, const FileResult& result) override
    {
        finished.append(index);
        results.append(result);
    }
    QList<int> started;
    QList<int> finished;
    QList<FileResult> results;
};

struct Ran
{
    QStringList paths;
    QList<FileResult> results;
    RunCounters counters;

    QString outcomes() const
    {
        QString text;
        for (const FileResult& result : results)
            text += outcomeName(result.outcome);
        return text;
    }
};

// The initial invoice of the additional ones: stored under the second of the sender's three rows.
InvoiceXml initialInvoice()
{
    InvoiceXml invoice;
    invoice.sender = QStringLiteral("590000005");
    invoice.providerUnp = QStringLiteral("590000005");
    invoice.providerBranch = QStringLiteral("2");
    invoice.number = QStringLiteral("590000005-2024-0000000050");
    return invoice;
}

InvoiceXml additionalInvoice()
{
    InvoiceXml invoice;
    invoice.sender = QStringLiteral("590000005");
    invoice.providerUnp = QStringLiteral("590000005");
    invoice.providerBranch = QStringLiteral("3"); // plays no part: the initial invoice decides
    invoice.number = QStringLiteral("590000005-2024-0000000060");
    invoice.documentType = QStringLiteral("ADDITIONAL");
    invoice.invoice = QStringLiteral("590000005-2024-0000000050");
    return invoice;
}

// An invoice issued by the own organisation to the supplier without branches.
InvoiceXml ownInvoice()
{
    InvoiceXml invoice;
    invoice.sender = kOwnUnn;
    invoice.providerUnp = kOwnUnn;
    invoice.number = QStringLiteral("190000001-2024-0000000007");
    invoice.recipientUnp = QStringLiteral("290000002");
    invoice.consigneeUnp = QStringLiteral("690000006");
    return invoice;
}

} // namespace

class TestImport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data();
    void init();
    void cleanup();

    void outcomeOfOneFile_data();
    void outcomeOfOneFile();
    void alreadyComplete_data();
    void alreadyComplete();
    void failureAfterHeaderLeavesNothing_data();
    void failureAfterHeaderLeavesNothing();
    void updateOldKeepsStoredInvoiceWhenRejected_data();
    void updateOldKeepsStoredInvoiceWhenRejected();
    void refusedHeaderValueComesAfterChecks_data();
    void refusedHeaderValueComesAfterChecks();
    void storedInvoiceAgainWithoutDocuments();
    void updateOldFailureKeepsFileAndStoredInvoice();
    void reasonNamesTheElement_data();
    void reasonNamesTheElement();
    void checkPredictsTheRun_data();
    void checkPredictsTheRun();
    void reportOfTheCheck();
    void undeletableFile();
    void runGoesOnInListOrder();
    void eachFileReadInItsTurn();
    void fileWrittenAgainBeforeItsTurn();
    void sendersAlternateWithinRun();
    void itemsWithTwoDescriptionsEach();
    void nothingCarriedOverBetweenItemsAndFiles();
    void documentNumber_data();
    void documentNumber();
    void ownOrganisationDocument_data();
    void ownOrganisationDocument();
    void code600_data();
    void code600();
    void additionalInvoiceUnderSecondCandidate();
    void reopensClosedConnection();
    void databaseFileGoingAway();
    void listFolder_data();
    void listFolder();

private:
    QString folderPath(const QString& name) const { return m_folder + name; }
    QString write(const QString& name, const InvoiceXml& invoice) const
    {
        return writeInvoice(folderPath(name), invoice);
    }
    QString sql(const QString& query) const { return m_database->query(query); }
    // The rows of a query, each as "a|b", joined by ",".
    QString joined(const QString& query) const { return m_database->lines(query).join(u','); }
    int count(const QString& table) const
    {
        return sql(QStringLiteral("SELECT count(*) FROM ") + table).toInt();
    }
    Ran runImport(bool updateOld = false, RunMode mode = RunMode::Load);
    Ran runPaths(const QStringList& paths, bool updateOld = false, RunMode mode = RunMode::Load);
    // A folder with a file for every outcome but G, in this order: E (an initial invoice), E (an
    // additional one to it), F, A, B, C, D, H, I. Returns the outcomes a run gives them.
    QString writeEveryOutcome();
    // The database (the SQLite file byte for byte, the server's rows) and every file of the folder.
    QByteArray snapshot() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TestDatabase> m_database;
    QString m_db; // the SQLite file
    QString m_folder;
    ConnectionParams m_connection;
};

void TestImport::initTestCase_data()
{
    addBackendRows();
}

void TestImport::init()
{
    ESCHF_FETCH_BACKEND(backend);
    if (backend == Backend::MsSql && QByteArray(QTest::currentTestFunction()) == "listFolder")
        QSKIP("lists a folder: no database involved");
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_db = m_dir->filePath(QStringLiteral("eschf.db"));
    m_database = std::make_unique<TestDatabase>(backend, m_db);
    m_database->seedDirectory();
    m_folder = m_dir->filePath(QStringLiteral("in")) + u'/';
    QVERIFY(QDir().mkpath(m_folder));
    m_connection = m_database->connectionParams();
}

void TestImport::cleanup()
{
    m_database.reset();
    m_dir.reset();
}

Ran TestImport::runImport(bool updateOld, RunMode mode)
{
    return runPaths(eschf::listFolder(m_folder, QStringLiteral("*.xml"), false), updateOld, mode);
}

Ran TestImport::runPaths(const QStringList& paths, bool updateOld, RunMode mode)
{
    Ran ran;
    ran.paths = paths;
    TDM dm(QStringLiteral("tst_import"));
    dm.open(m_connection);
    InvoiceDocument document;
    ImportRun run(dm, m_connection, document, kOwnUnn, updateOld, mode);
    Recorder recorder;
    run.run(ran.paths, recorder);
    ran.results = recorder.results;
    ran.counters = run.counters();
    return ran;
}

void TestImport::outcomeOfOneFile_data()
{
    QTest::addColumn<QByteArray>("content"); // null: a folder of that name
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("loaded");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("skip");
    QTest::addColumn<QString>("idSender"); // of the stored invoice; empty: nothing stored

    const auto row = [](const char* name, const InvoiceXml& invoice, const char* outcome, const QString& line,
                        int loaded, int error, const char* idSender) {
        QTest::newRow(name) << invoice.toXml().toUtf8() << QString::fromLatin1(outcome) << line << loaded
                            << error << 0 << QString::fromLatin1(idSender);
    };

    const InvoiceXml plain;
    row("E: ordinary invoice", plain, "E", kLoaded, 1, 0, "2");
    InvoiceXml branch = plain;
    branch.sender = branch.providerUnp = QStringLiteral("390000003");
    branch.providerBranch = QStringLiteral("7");
    row("E: provider branch 7", branch, "E", kLoaded, 1, 0, "4");
    branch.providerBranch = QStringLiteral(" 5 ");
    row("E: provider branch 5 redirected to 7", branch, "E", kLoaded, 1, 0, "4");

    InvoiceXml additional = additionalInvoice();
    additional.invoice = QStringLiteral("590000005-2024-0000000999");
    row("A: initial invoice not stored", additional, "A",
        QStringLiteral("590000005-2024-0000000060 - Не найдена исходная ЭСЧФ - 590000005-2024-0000000999"), 0,
        1, "");
    additional.sender = QStringLiteral("990000009");
    row("A: sender not in the directory", additional, "A",
        QStringLiteral("590000005-2024-0000000060 - Не найдена исходная ЭСЧФ - 590000005-2024-0000000999"), 0,
        1, "");

    InvoiceXml unknown = plain;
    unknown.sender = unknown.providerUnp = QStringLiteral("990000009");
    unknown.number = QStringLiteral("990000009-2024-0000000003");
    row("B: no sender organisation", unknown, "B",
        QStringLiteral("990000009-2024-0000000003 - Не найдено организации с УНП - 990000009 - "
                       "Код филиала(доп УНП) - "),
        0, 1, "");
    unknown.providerBranch = QStringLiteral("3");
    row("B: no sender organisation at branch 3", unknown, "B",
        QStringLiteral("990000009-2024-0000000003 - Не найдено организации с УНП - 990000009 - "
                       "Код филиала(доп УНП) - 3"),
        0, 1, "");
    InvoiceXml wrongBranch = branch;
    wrongBranch.providerBranch = QStringLiteral("9");
    row("B: supplier known, branch 9 not", wrongBranch, "B",
        QStringLiteral("290000002-2024-0000000101 - Не найдено организации с УНП - 390000003 - "
                       "Код филиала(доп УНП) - 9"),
        0, 1, "");

    const QString noDocument =
        QStringLiteral("У ЭСЧФ - 290000002-2024-0000000101 - нет документа для сверки.");
    InvoiceXml noDelivery = plain;
    noDelivery.deliveryCondition = false;
    row("C: no deliveryCondition", noDelivery, "C", noDocument, 0, 1, "");
    InvoiceXml noDocuments = plain;
    noDocuments.documents.clear();
    row("C: documents without content", noDocuments, "C", noDocument, 0, 1, "");
    InvoiceXml emptyNumber600 = plain;
    emptyNumber600.documents.front().code = QStringLiteral("600");
    emptyNumber600.documents.front().number = QString();
    row("C: first document 600 with an empty number", emptyNumber600, "C", noDocument, 0, 1, "");

    InvoiceXml noRecipient = plain;
    noRecipient.recipientUnp = QStringLiteral("990000008");
    noRecipient.recipientBranch = QStringLiteral("2");
    row("D: no recipient organisation", noRecipient, "D",
        QStringLiteral("290000002-2024-0000000101 - Не найдено организации с УНП - 990000008 - "
                       "Код филиала(доп УНП) - 2"),
        0, 1, "");
    InvoiceXml recipientBranch1 = plain;
    recipientBranch1.recipientBranch = QStringLiteral("1"); // the own organisation has no branch 1 row
    row("D: recipient branch 1 matches only branch 1", recipientBranch1, "D",
        QStringLiteral("290000002-2024-0000000101 - Не найдено организации с УНП - 190000001 - "
                       "Код филиала(доп УНП) - 1"),
        0, 1, "");

    QTest::newRow("I: not well-formed") << QByteArray("<issuance sender=\"290000002\"><general>")
                                        << QStringLiteral("I") << kPath << 0 << 1 << 0 << QString();
    QTest::newRow("I: empty file") << QByteArray("") << QStringLiteral("I") << kPath << 0 << 1 << 0
                                   << QString();
    QTest::newRow("I: a folder named like an invoice")
        << QByteArray() << QStringLiteral("I") << kPath << 0 << 1 << 0 << QString();
    InvoiceXml noSender = plain;
    noSender.sender.reset();
    row("I: no sender attribute", noSender, "I", kPath, 0, 1, "");
    InvoiceXml letters = plain;
    letters.providerBranch = QStringLiteral("7a");
    row("I: provider branch code not a number", letters, "I", kPath, 0, 1, "");
    InvoiceXml injection = plain;
    injection.providerBranch = QStringLiteral("1 OR 1=1");
    row("I: provider branch code with SQL in it", injection, "I", kPath, 0, 1, "");
}

void TestImport::outcomeOfOneFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, outcome);
    QFETCH(QString, line);
    QFETCH(int, loaded);
    QFETCH(int, error);
    QFETCH(int, skip);
    QFETCH(QString, idSender);

    const QString path = folderPath(QStringLiteral("invoice.xml"));
    if (content.isNull())
        QVERIFY(QDir().mkpath(path));
    else
        writeText(path, content);

    const Ran ran = runImport();
    QCOMPARE(ran.results.size(), 1);
    const FileResult& result = ran.results.front();
    QCOMPARE(outcomeName(result.outcome), outcome);
    QCOMPARE(result.lineText, line == kPath ? path : line);
    QCOMPARE(ran.counters.loaded, loaded);
    QCOMPARE(ran.counters.error, error);
    QCOMPARE(ran.counters.skip, skip);
    const bool stays = outcome != u"E" && outcome != u"F";
    QCOMPARE(QFileInfo::exists(path), stays);
    if (outcome == u"I")
        QVERIFY2(!result.reason.isEmpty(), "a file that stays says why");

    if (idSender.isEmpty()) {
        QCOMPARE(count(QStringLiteral("invoices")), 0);
        QCOMPARE(count(QStringLiteral("roster")), 0);
        QCOMPARE(count(QStringLiteral("documents")), 0);
    } else {
        QCOMPARE(m_database->row(
                     QStringLiteral("SELECT idSender, compilingYear, number, completed FROM invoices")),
                 idSender + QStringLiteral("|2024|101|1"));
        QCOMPARE(count(QStringLiteral("roster")), 1);
        QCOMPARE(count(QStringLiteral("documents")), 1);
    }
}

void TestImport::alreadyComplete_data()
{
    QTest::addColumn<bool>("updateOld");
    QTest::addColumn<int>("sv");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("storedName");

    const QString first = InvoiceXml().items.front().name;
    const QString second = QStringLiteral("Бумага офисная А4 (исправлено)");
    QTest::newRow("without update-old") << false << 0 << QStringLiteral("F") << first;
    QTest::newRow("without update-old, reconciled") << false << 1 << QStringLiteral("F") << first;
    QTest::newRow("update-old, not reconciled: written again") << true << 0 << QStringLiteral("E") << second;
    QTest::newRow("update-old, reconciled: kept") << true << 2 << QStringLiteral("F") << first;
}

void TestImport::alreadyComplete()
{
    QFETCH(bool, updateOld);
    QFETCH(int, sv);
    QFETCH(QString, outcome);
    QFETCH(QString, storedName);

    InvoiceXml invoice;
    invoice.items.front().descriptions = QStringList{QStringLiteral("DEDUCTION_IN_FULL")};
    write(QStringLiteral("invoice.xml"), invoice);
    QCOMPARE(runImport().outcomes(), QStringLiteral("E"));
    m_database->exec(QStringLiteral("UPDATE invoices SET Sv = %1").arg(sv));

    invoice.items.front().name = QStringLiteral("Бумага офисная А4 (исправлено)");
    const QString path = write(QStringLiteral("invoice.xml"), invoice);
    const Ran ran = runImport(updateOld);
    QCOMPARE(ran.outcomes(), outcome);
    QCOMPARE(ran.results.front().lineText, outcome == u"E" ? kLoaded : kAlreadyThere);
    QCOMPARE(ran.counters.loaded, outcome == u"E" ? 1 : 0);
    QCOMPARE(ran.counters.skip, outcome == u"F" ? 1 : 0);
    QCOMPARE(ran.counters.error, 0);
    QVERIFY(!QFile::exists(path));

    // One invoice with exactly its rows, whichever copy won.
    QCOMPARE(count(QStringLiteral("invoices")), 1);
    QCOMPARE(sql(QStringLiteral("SELECT completed FROM invoices")), QStringLiteral("1"));
    QCOMPARE(count(QStringLiteral("roster")), 1);
    QCOMPARE(count(QStringLiteral("descriptions")), 1);
    QCOMPARE(count(QStringLiteral("documents")), 1);
    QCOMPARE(sql(QStringLiteral("SELECT name FROM roster")), storedName);
}

void TestImport::failureAfterHeaderLeavesNothing_data()
{
    QTest::addColumn<QByteArray>("content");

    InvoiceXml invoice;
    invoice.items.front().descriptions = QStringList{QStringLiteral("DEDUCTION_IN_FULL")};
    invoice.items.push_back(invoice.items.front());
    invoice.items.back().number = QStringLiteral("2");

    InvoiceXml noCost = invoice;
    noCost.items.back().cost.reset();
    QTest::newRow("second item without cost") << noCost.toXml().toUtf8();
    InvoiceXml longName = invoice;
    longName.items.back().name = QString(600, u'Я');
    QTest::newRow("second item's name longer than its column") << longName.toXml().toUtf8();
    InvoiceXml badCode = invoice;
    badCode.documents.front().code = QStringLiteral("60A");
    QTest::newRow("document code not a number") << badCode.toXml().toUtf8();
    InvoiceXml badDate = invoice;
    badDate.documents.front().date = QStringLiteral("2024-13-45");
    QTest::newRow("document date not a date") << badDate.toXml().toUtf8();
}

void TestImport::failureAfterHeaderLeavesNothing()
{
    QFETCH(QByteArray, content);
    const QString path = folderPath(QStringLiteral("invoice.xml"));
    writeText(path, content);

    // A second run before any start-up meets the file the same way: nothing was left to trip on.
    for (int round = 0; round < 2; ++round) {
        const Ran ran = runImport();
        QCOMPARE(ran.outcomes(), QStringLiteral("H"));
        QCOMPARE(ran.results.front().lineText, path);
        QVERIFY(!ran.results.front().reason.isEmpty());
        QCOMPARE(ran.counters.loaded + ran.counters.error + ran.counters.skip, 0);
        QVERIFY(QFile::exists(path));
        QCOMPARE(count(QStringLiteral("invoices")), 0);
        QCOMPARE(count(QStringLiteral("roster")), 0);
        QCOMPARE(count(QStringLiteral("descriptions")), 0);
        QCOMPARE(count(QStringLiteral("documents")), 0);
    }
}

void TestImport::updateOldKeepsStoredInvoiceWhenRejected_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("outcome");

    InvoiceXml noDocument;
    noDocument.deliveryCondition = false;
    QTest::newRow("C") << noDocument.toXml().toUtf8() << QStringLiteral("C");
    InvoiceXml noRecipient;
    noRecipient.recipientUnp = QStringLiteral("990000008");
    QTest::newRow("D") << noRecipient.toXml().toUtf8() << QStringLiteral("D");
}

void TestImport::updateOldKeepsStoredInvoiceWhenRejected()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, outcome);

    write(QStringLiteral("invoice.xml"), InvoiceXml());
    QCOMPARE(runImport().outcomes(), QStringLiteral("E"));

    const QString path = folderPath(QStringLiteral("invoice.xml"));
    writeText(path, content);
    const Ran ran = runImport(true);
    QCOMPARE(ran.outcomes(), outcome);
    QCOMPARE(ran.counters.error, 1);
    QVERIFY(QFile::exists(path));
    // The copy stored before stays whole: the removal was undone with the rejected file.
    QCOMPARE(m_database->row(QStringLiteral("SELECT count(*), min(CAST(completed AS int)) FROM invoices")),
             QStringLiteral("1|1"));
    QCOMPARE(count(QStringLiteral("roster")), 1);
    QCOMPARE(count(QStringLiteral("documents")), 1);
}

// A value the header cannot take refuses the insert, which runs after the document check and the
// recipient lookup: those outcomes come first.
void TestImport::refusedHeaderValueComesAfterChecks_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("outcome");

    // otherwise: how the file ends when both checks pass.
    const auto rows = [](const char* what, const std::function<void(InvoiceXml&)>& spoil,
                         const QString& otherwise = QStringLiteral("H")) {
        InvoiceXml noDocuments;
        noDocuments.deliveryCondition = false;
        spoil(noDocuments);
        QTest::addRow("C, %s", what) << noDocuments.toXml().toUtf8() << QStringLiteral("C");
        InvoiceXml noRecipient;
        noRecipient.recipientUnp = QStringLiteral("990000008");
        spoil(noRecipient);
        QTest::addRow("D, %s", what) << noRecipient.toXml().toUtf8() << QStringLiteral("D");
        InvoiceXml otherwiseFine;
        spoil(otherwiseFine);
        QTest::addRow("%s, %s", qPrintable(otherwise), what) << otherwiseFine.toXml().toUtf8() << otherwise;
    };
    rows("no dateTransaction", [](InvoiceXml& i) { i.dateTransaction.clear(); });
    rows("dateTransaction not a date",
         [](InvoiceXml& i) { i.dateTransaction = QStringLiteral("04.03.2024"); });
    // Its key cannot even be looked up afterwards: counted as an error.
    rows(
        "general/number cut short", [](InvoiceXml& i) { i.number = QStringLiteral("290000002-20"); },
        QStringLiteral("I"));
    rows("principal without number", [](InvoiceXml& i) { i.principalNumber = QString(); });
    rows("dateCancelled before 1753", [](InvoiceXml& i) { i.dateCancelled = QStringLiteral("0202-06-20"); });
}

void TestImport::refusedHeaderValueComesAfterChecks()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, outcome);
    const QString path = folderPath(QStringLiteral("invoice.xml"));
    writeText(path, content);
    const Ran ran = runImport();
    QCOMPARE(ran.outcomes(), outcome);
    QCOMPARE(ran.counters.error, outcome == u"H" ? 0 : 1);
    QVERIFY(!ran.results.front().reason.isEmpty());
    QVERIFY(QFile::exists(path));
    QCOMPARE(count(QStringLiteral("invoices")), 0);
}

// The file of a complete invoice comes again, spoilt: it is told apart by its checks, not deleted as
// a copy of what is stored.
void TestImport::storedInvoiceAgainWithoutDocuments()
{
    write(QStringLiteral("invoice.xml"), InvoiceXml());
    QCOMPARE(runImport().outcomes(), QStringLiteral("E"));
    InvoiceXml again;
    again.deliveryCondition = false;
    again.dateTransaction.clear();
    const QString path = write(QStringLiteral("invoice.xml"), again);
    const Ran ran = runImport();
    QCOMPARE(ran.outcomes(), QStringLiteral("C"));
    QVERIFY(QFile::exists(path));
}

// With update-old the stored, not reconciled copy is removed first; when the correction then fails,
// the removal is undone with it and the corrected file must stay.
void TestImport::updateOldFailureKeepsFileAndStoredInvoice()
{
    write(QStringLiteral("invoice.xml"), InvoiceXml());
    QCOMPARE(runImport().outcomes(), QStringLiteral("E"));
    InvoiceXml corrected;
    corrected.items.front().name = QString(600, u'Я');
    const QString path = write(QStringLiteral("invoice.xml"), corrected);
    const Ran ran = runImport(true);
    QCOMPARE(ran.outcomes(), QStringLiteral("H"));
    QCOMPARE(ran.results.front().lineText, path);
    QVERIFY(!ran.results.front().reason.isEmpty());
    QCOMPARE(ran.counters.loaded + ran.counters.error + ran.counters.skip, 0);
    QVERIFY(QFile::exists(path));
    QCOMPARE(m_database->row(QStringLiteral("SELECT count(*), min(CAST(completed AS int)) FROM invoices")),
             QStringLiteral("1|1"));
    QCOMPARE(sql(QStringLiteral("SELECT name FROM roster")), InvoiceXml().items.front().name);
}

void TestImport::reasonNamesTheElement_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reasonStart");

    InvoiceXml twoItems;
    twoItems.items.push_back(twoItems.items.front());
    InvoiceXml noCost = twoItems;
    noCost.items.back().cost = QString();
    QTest::newRow("item value refused")
        << noCost.toXml().toUtf8()
        << QStringLiteral("Позиция 2, roster/rosterItem/cost: значение «» — не "
                          "десятичное число. Подробности: RosterInsert: ");
    InvoiceXml longName = twoItems;
    longName.items.back().name = QString(600, u'Я');
    QTest::newRow("item text wider than its column")
        << longName.toXml().toUtf8()
        << QStringLiteral(
               "Позиция 2, roster/rosterItem/name: текст длиной 600 знаков не помещается в столбец "
               "шириной ");
    InvoiceXml noDate;
    noDate.dateTransaction = QStringLiteral("вчера");
    QTest::newRow("header value refused")
        << noDate.toXml().toUtf8()
        << QStringLiteral(
               "general/dateTransaction: значение «вчера» — не дата. Подробности: InvoicesInsert: ");
}

void TestImport::reasonNamesTheElement()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reasonStart);
    writeText(folderPath(QStringLiteral("invoice.xml")), content);
    const Ran ran = runImport();
    QCOMPARE(ran.outcomes(), QStringLiteral("H"));
    const QString reason = ran.results.front().reason;
    QVERIFY2(reason.startsWith(reasonStart), qPrintable(reason));
}

QString TestImport::writeEveryOutcome()
{
    write(QStringLiteral("00-stored.xml"), InvoiceXml());
    runImport();
    m_database->exec(QStringLiteral("UPDATE invoices SET Sv = 1")); // reconciled: update-old keeps it
    write(QStringLiteral("01-initial.xml"), initialInvoice());
    write(QStringLiteral("02-additional.xml"), additionalInvoice());
    write(QStringLiteral("03-stored-again.xml"), InvoiceXml());
    InvoiceXml noInitial = additionalInvoice();
    noInitial.invoice = QStringLiteral("590000005-2024-0000000999");
    write(QStringLiteral("04-no-initial.xml"), noInitial);
    InvoiceXml noSupplier;
    noSupplier.sender = noSupplier.providerUnp = QStringLiteral("990000009");
    noSupplier.providerBranch = QStringLiteral(" 4 ");
    noSupplier.providerName = QStringLiteral("ООО \"Кавычки; и\nперевод строки\"");
    write(QStringLiteral("05-no-supplier.xml"), noSupplier);
    InvoiceXml noDocuments;
    noDocuments.number = QStringLiteral("290000002-2024-0000000102");
    noDocuments.deliveryCondition = false;
    write(QStringLiteral("06-no-documents.xml"), noDocuments);
    InvoiceXml noRecipient;
    noRecipient.number = QStringLiteral("290000002-2024-0000000103");
    noRecipient.recipientUnp = QStringLiteral("990000008");
    write(QStringLiteral("07-no-recipient.xml"), noRecipient);
    InvoiceXml refused;
    refused.number = QStringLiteral("290000002-2024-0000000104");
    refused.items.front().cost = QString();
    write(QStringLiteral("08-refused.xml"), refused);
    writeText(folderPath(QStringLiteral("09-broken.xml")), "<issuance");
    return QStringLiteral("EEFABCDHI");
}

QByteArray TestImport::snapshot() const
{
    QByteArray bytes = m_database->isServer() ? m_database->contents().toUtf8() : readFile(m_db);
    for (const QString& path : eschf::listFolder(m_folder, QStringLiteral("*"), false))
        bytes += path.toUtf8() + readFile(path);
    return bytes;
}

// A check goes through every step a run takes and changes nothing; the run after it does what it
// said, file by file.
void TestImport::checkPredictsTheRun_data()
{
    QTest::addColumn<bool>("updateOld");
    QTest::newRow("plain") << false;
    QTest::newRow("update-old") << true;
}

void TestImport::checkPredictsTheRun()
{
    QFETCH(bool, updateOld);
    const QString outcomes = writeEveryOutcome();
    const QByteArray before = snapshot();

    const Ran check = runImport(updateOld, RunMode::Check);
    QCOMPARE(snapshot(), before);
    const Ran run = runImport(updateOld);
    QCOMPARE(run.outcomes(), outcomes);
    QCOMPARE(check.outcomes(), run.outcomes());
    for (qsizetype i = 0; i < run.results.size(); ++i) {
        const FileResult& predicted = check.results.at(i);
        const FileResult& done = run.results.at(i);
        const QString expected = done.outcome == Outcome::E   ? QStringLiteral("Будет загружен")
                                 : done.outcome == Outcome::F ? QStringLiteral("Уже есть в базе")
                                                              : done.lineText;
        QCOMPARE(predicted.lineText, expected);
        QCOMPARE(predicted.reason, done.reason);
    }
    QCOMPARE(summaryText(check.counters, RunMode::Check),
             QStringLiteral("Проверка закончена.\n\rБудет загружено: 2\n\rОшибки: 5\n\rУже в базе: 1"));
}

namespace {

// RFC 4180 as a spreadsheet reads it: quoted fields may hold the separator, quotes doubled and line
// breaks.
QList<QStringList> parseCsv(const QString& text)
{
    QList<QStringList> rows{QStringList{QString()}};
    bool quoted = false;
    const auto at = [&text](qsizetype i) {
        return i < text.size() ? text.at(i) : QChar();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == u'"' && at(i + 1) == u'"')
                rows.last().last() += text.at(++i);
            else if (c == u'"')
                quoted = false;
            else
                rows.last().last() += c;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u';') {
            rows.last().append(QString());
        } else if (c == u'\r' && at(i + 1) == u'\n') {
            ++i;
            rows.append(QStringList{QString()});
        } else {
            rows.last().last() += c;
        }
    }
    if (rows.last() == QStringList{QString()})
        rows.removeLast();
    return rows;
}

} // namespace

void TestImport::reportOfTheCheck()
{
    writeEveryOutcome();
    const Ran check = runImport(false, RunMode::Check);
    QList<ReportRow> rows;
    for (qsizetype i = 0; i < check.results.size(); ++i)
        rows.append(
            {QFileInfo(check.paths.at(i)).fileName(), check.results.at(i).lineText, check.results.at(i)});
    rows.append({QStringLiteral("10-listed-only.xml"), QStringLiteral("10-listed-only.xml"), std::nullopt});

    const QString target = m_dir->filePath(QStringLiteral("отчёт.csv"));
    ReportFile report(target);
    report.open();
    report.write(rows);
    const QByteArray bytes = readFile(target);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QList<QStringList> table = parseCsv(QString::fromUtf8(bytes.mid(3)));
    QCOMPARE(table.size(), rows.size() + 1);
    for (const QStringList& row : table)
        QCOMPARE(row.size(), 11);
    QCOMPARE(table.at(0).at(0), QStringLiteral("Файл"));

    // file, number, letter, words, line, reason, role, unp, branch, name, address
    const QStringList supplier = table.at(5);
    QCOMPARE(supplier.at(0), QStringLiteral("05-no-supplier.xml"));
    QCOMPARE(supplier.at(1), QStringLiteral("290000002-2024-0000000101"));
    QCOMPARE(supplier.mid(2, 1), QStringList{QStringLiteral("B")});
    QCOMPARE(supplier.at(4), check.results.at(4).lineText);
    QCOMPARE(supplier.mid(6),
             (QStringList{QStringLiteral("поставщик"), QStringLiteral("990000009"), QStringLiteral(" 4 "),
                          QStringLiteral("ООО \"Кавычки; и\nперевод строки\""),
                          QStringLiteral("г. Минск, ул. Притыцкого, 29")}));
    QCOMPARE(table.at(4).mid(6, 2),
             (QStringList{QStringLiteral("исходная ЭСЧФ"), QStringLiteral("590000005")}));
    QCOMPARE(table.at(7).mid(6, 2), (QStringList{QStringLiteral("получатель"), QStringLiteral("990000008")}));
    QCOMPARE(table.at(8).at(2), QStringLiteral("H"));
    QVERIFY(table.at(8).at(5).startsWith(QStringLiteral("Позиция 1, roster/rosterItem/cost")));
    QCOMPARE(table.at(1).at(3), QStringLiteral("Будет загружен, файл будет удалён"));
    QCOMPARE(table.last().mid(0, 6),
             (QStringList{QStringLiteral("10-listed-only.xml"), QString(), QString(), QString(),
                          QStringLiteral("10-listed-only.xml"), QString()}));
}

void TestImport::undeletableFile()
{
    const QString path = write(QStringLiteral("invoice.xml"), InvoiceXml());
    FolderLock lock(m_folder);
    if (!lock.locked())
        QSKIP("this file system lets every file be deleted");

    // A check foresees it.
    const Ran check = runImport(false, RunMode::Check);
    QCOMPARE(check.outcomes(), QStringLiteral("G"));
    QCOMPARE(check.results.front().lineText, path);
    QVERIFY(check.results.front().reason.contains(QStringLiteral("не удастся удалить")));
    QCOMPARE(count(QStringLiteral("invoices")), 0);

    Ran ran = runImport();
    QCOMPARE(ran.outcomes(), QStringLiteral("G"));
    QCOMPARE(ran.results.front().lineText, path);
    QVERIFY(!ran.results.front().reason.isEmpty());
    QCOMPARE(ran.counters.loaded + ran.counters.error + ran.counters.skip, 0);
    QVERIFY(QFile::exists(path));
    QCOMPARE(sql(QStringLiteral("SELECT completed FROM invoices")), QStringLiteral("1"));
    QCOMPARE(count(QStringLiteral("roster")), 1);

    // Complete already, and still undeletable: nothing counted either.
    ran = runImport();
    QCOMPARE(ran.outcomes(), QStringLiteral("H"));
    QCOMPARE(ran.results.front().lineText, path);
    QCOMPARE(ran.counters.loaded + ran.counters.error + ran.counters.skip, 0);

    lock.unlock();
    ran = runImport();
    QCOMPARE(ran.outcomes(), QStringLiteral("F"));
    QCOMPARE(ran.counters.skip, 1);
    QVERIFY(!QFile::exists(path));
    QCOMPARE(count(QStringLiteral("invoices")), 1);
    QCOMPARE(count(QStringLiteral("roster")), 1);
}

void TestImport::runGoesOnInListOrder()
{
    writeText(folderPath(QStringLiteral("a-broken.xml")), "<issuance");
    InvoiceXml invoice;
    for (const auto& [name, number] : {std::pair{"b.xml", "1"}, {"c.xml", "2"}, {"e.XML", "3"}}) {
        invoice.number = QStringLiteral("290000002-2024-000000000") + QString::fromLatin1(number);
        write(QString::fromLatin1(name), invoice);
    }
    InvoiceXml noSender;
    noSender.sender.reset();
    write(QStringLiteral("d.xml"), noSender); // fails before resolution right after a loaded file
    writeText(folderPath(QStringLiteral("f.txt")), "not listed");

    const QStringList paths = eschf::listFolder(m_folder, QStringLiteral("*.xml"), false);
    QCOMPARE(paths.size(), 5);
    TDM dm(QStringLiteral("tst_import"));
    dm.open(m_connection);
    InvoiceDocument document;
    ImportRun run(dm, m_connection, document, kOwnUnn, false);
    Recorder recorder;
    QVERIFY(run.run(paths, recorder));
    QCOMPARE(recorder.started, (QList<int>{0, 1, 2, 3, 4}));
    QCOMPARE(recorder.finished, (QList<int>{0, 1, 2, 3, 4}));
    QString outcomes;
    for (const FileResult& result : recorder.results)
        outcomes += outcomeName(result.outcome);
    QCOMPARE(outcomes, QStringLiteral("IEEIE"));
    QCOMPARE(recorder.results.at(3).lineText, paths.at(3));
    QVERIFY(QFile::exists(paths.at(3)));
    QCOMPARE(run.counters().loaded, 3);
    QCOMPARE(run.counters().error, 2);
    QCOMPARE(run.counters().skip, 0);
    QCOMPARE(summaryText(run.counters()),
             QStringLiteral("Загрузка закончена.\n\rЗагружено: 3\n\rОшибки: 2\n\rПропущено: 0"));
}

// The next file is read while the one before it is being loaded; what it finds must be what it
// would find in its turn, after the file before it has been deleted.
void TestImport::eachFileReadInItsTurn()
{
    InvoiceXml invoice;
    const QString a = write(QStringLiteral("a.xml"), invoice);
    invoice.number = QStringLiteral("290000002-2024-0000000102");
    const QString b = write(QStringLiteral("b.xml"), invoice);
    const QString broken = folderPath(QStringLiteral("c.xml"));
    writeText(broken, "<issuance><general></issuance>");
    QStringList paths{a, a, broken, b};
    QString expected = QStringLiteral("EIIE");
#ifdef Q_OS_UNIX
    // A link to the file deleted just before it: nothing to read by then.
    const QString link = folderPath(QStringLiteral("d.xml"));
    QVERIFY(QFile::link(b, link));
    paths << link;
    expected += u'I';
#endif

    const Ran ran = runPaths(paths);
    QCOMPARE(ran.outcomes(), expected);
    QVERIFY(ran.results.at(1).reason.contains(QStringLiteral("не открывается")));
    InvoiceDocument direct;
    QString parseError;
    try {
        direct.load(broken);
    } catch (const Error& e) {
        parseError = e.message();
    }
    QVERIFY(!parseError.isEmpty());
    QCOMPARE(ran.results.at(2).reason, parseError);
    QVERIFY(QFile::exists(broken));
    QCOMPARE(count(QStringLiteral("invoices")), 2);
#ifdef Q_OS_UNIX
    QVERIFY(ran.results.at(4).reason.contains(QStringLiteral("не открывается")));
#endif
}

// A download may write a file again while the run is on the one before it: what is stored must
// be what the file holds in its turn, since that is the file that gets deleted.
void TestImport::fileWrittenAgainBeforeItsTurn()
{
    InvoiceXml invoice;
    write(QStringLiteral("a.xml"), invoice);
    invoice.number = QStringLiteral("290000002-2024-0000000102");
    const QString b = write(QStringLiteral("b.xml"), invoice);
    const QStringList paths = eschf::listFolder(m_folder, QStringLiteral("*.xml"), false);

    class WriteAgain : public Recorder
    {
    public:
        QString path;
        InvoiceXml invoice;
        void fileFinished(int index, const FileResult& result) override
        {
            Recorder::fileFinished(index, result);
            if (index == 0)
                writeInvoice(path, invoice);
        }
    } recorder;
    recorder.path = b;
    recorder.invoice = invoice;
    recorder.invoice.number = QStringLiteral("290000002-2024-0000000103");
    recorder.invoice.items.front().name = QStringLiteral("Товар из новой выгрузки");

    TDM dm(QStringLiteral("tst_import"));
    dm.open(m_connection);
    InvoiceDocument document;
    ImportRun run(dm, m_connection, document, kOwnUnn, false);
    QVERIFY(run.run(paths, recorder));
    QCOMPARE(recorder.results.size(), 2);
    QCOMPARE(recorder.results.at(1).outcome, Outcome::E);
    QCOMPARE(joined(QStringLiteral("SELECT number FROM invoices ORDER BY number")),
             QStringLiteral("101,103"));
    QCOMPARE(sql(QStringLiteral("SELECT name FROM roster WHERE number = 103")),
             QStringLiteral("Товар из новой выгрузки"));
}

void TestImport::sendersAlternateWithinRun()
{
    // Each file's lookups are its own, however often the run has met the same organisations before.
    const QList<std::pair<QString, std::optional<QString>>> senders = {
        {QStringLiteral("290000002"), std::nullopt},
        {QStringLiteral("390000003"), QStringLiteral("7")},
        {QStringLiteral("290000002"), std::nullopt},
        {QStringLiteral("390000003"), std::nullopt},
        {QStringLiteral("390000003"), QStringLiteral("7")},
        {QStringLiteral("390000003"), QStringLiteral("5")}};
    for (int i = 0; i < senders.size(); ++i) {
        InvoiceXml invoice;
        invoice.sender = invoice.providerUnp = senders.at(i).first;
        invoice.providerBranch = senders.at(i).second;
        invoice.number = senders.at(i).first + QStringLiteral("-2024-000000030%1").arg(i);
        write(QStringLiteral("%1.xml").arg(i), invoice);
    }
    QCOMPARE(runImport().outcomes(), QStringLiteral("EEEEEE"));
    QCOMPARE(joined(QStringLiteral("SELECT idSender FROM invoices ORDER BY number")),
             QStringLiteral("2,4,2,3,4,4"));
}

void TestImport::itemsWithTwoDescriptionsEach()
{
    InvoiceXml invoice;
    ItemXml first;
    first.descriptions.emplace(
        QStringList{QStringLiteral("DEDUCTION_IN_FULL"), QStringLiteral("VAT_EXEMPTION")});
    ItemXml second;
    second.number = QStringLiteral("2");
    second.descriptions.emplace(
        QStringList{QStringLiteral("ANALYZED_DEAL"), QStringLiteral("deduction_in_full")});
    invoice.items = {first, second};
    write(QStringLiteral("invoice.xml"), invoice);
    QCOMPARE(runImport().outcomes(), QStringLiteral("E"));

    QCOMPARE(count(QStringLiteral("roster")), 2);
    QCOMPARE(count(QStringLiteral("descriptions")), 4);
    // The order they were written in shows on SQLite alone: the server's table has no row order.
    const QString order = m_database->isServer() ? QStringLiteral("d.idDesc") : QStringLiteral("d.rowid");
    const auto codesOf = [&](int itemNumber) {
        return joined(QStringLiteral("SELECT d.idDesc FROM descriptions d JOIN roster r ON r.idStr = d.idStr "
                                     "WHERE r.itemNumber = %1 ORDER BY %2")
                          .arg(itemNumber)
                          .arg(order));
    };
    QCOMPARE(codesOf(1), QStringLiteral("1,2"));
    QCOMPARE(codesOf(2), m_database->isServer() ? QStringLiteral("0,9") : QStringLiteral("9,0"));
}

void TestImport::nothingCarriedOverBetweenItemsAndFiles()
{
    InvoiceXml full;
    full.number = QStringLiteral("290000002-2024-0000000201");
    full.dateCancelled = QStringLiteral("2024-03-10");
    full.principalNumber = QStringLiteral("390000003-2024-0000000044");
    ItemXml rich;
    ItemXml bare;
    bare.number.reset();
    bare.count.reset();
    bare.price.reset();
    bare.summaExcise.reset();
    full.items = {rich, bare};
    write(QStringLiteral("a.xml"), full);

    InvoiceXml plain;
    plain.number = QStringLiteral("290000002-2024-0000000202");
    plain.items = {bare};
    plain.documents.front().date.reset();
    write(QStringLiteral("b.xml"), plain);

    QCOMPARE(runImport().outcomes(), QStringLiteral("EE"));
    // The rows of a table for the invoice with that sequence number, in the order they were written.
    const auto rows = [this](const char* columns, const char* table, int number, const char* order) {
        return joined(QStringLiteral("SELECT %1 FROM %2 WHERE number = %3 ORDER BY %4")
                          .arg(QString::fromLatin1(columns), QString::fromLatin1(table))
                          .arg(number)
                          .arg(QString::fromLatin1(order)));
    };
    const char* itemColumns = "itemNumber, [count], price, summaExcise, pnt, units";
    QCOMPARE(rows(itemColumns, "roster", 201, "idStr"),
             QStringLiteral("1|10.0000|12.500|0.000|NULL|NULL,NULL|NULL|NULL|NULL|NULL|NULL"));
    QCOMPARE(rows(itemColumns, "roster", 202, "idStr"), QStringLiteral("NULL|NULL|NULL|NULL|NULL|NULL"));

    const char* headerColumns = "dateCancelled, principalId, principalYear, principalNumber";
    QCOMPARE(rows(headerColumns, "invoices", 201, "number"),
             QStringLiteral("2024-03-10 00:00:00.000|3|2024|44"));
    QCOMPARE(rows(headerColumns, "invoices", 202, "number"), QStringLiteral("NULL|NULL|NULL|NULL"));
    QCOMPARE(rows("docDate", "documents", 201, "number"), QStringLiteral("2024-03-04 00:00:00.000"));
    QCOMPARE(rows("docDate", "documents", 202, "number"), QStringLiteral("NULL"));
}

void TestImport::documentNumber_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("stored");

    QTest::newRow("leading zeros") << QStringLiteral("0012345") << QStringLiteral("12345");
    QTest::newRow("zeros only") << QStringLiteral("0000") << QString();
    QTest::newRow("30 characters: the last 25, then no leading zeros")
        << QStringLiteral("123450000012345678901234567890") << QStringLiteral("12345678901234567890");
    QTest::newRow("begins with a letter") << QStringLiteral("А-00012") << QStringLiteral("А-00012");
    QTest::newRow("zero after a letter kept") << QStringLiteral("N0012") << QStringLiteral("N0012");
}

void TestImport::documentNumber()
{
    QFETCH(QString, written);
    QFETCH(QString, stored);

    InvoiceXml invoice;
    invoice.documents.front().number = written;
    write(QStringLiteral("invoice.xml"), invoice);
    QCOMPARE(runImport().outcomes(), QStringLiteral("E"));
    QCOMPARE(joined(QStringLiteral("SELECT docNumber FROM documents")), stored);
}

void TestImport::ownOrganisationDocument_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("row"); // vidDoc|kodSkl|idPredpr|docDate

    InvoiceXml original = ownInvoice();
    QTest::newRow("ORIGINAL: vidDoc 2, found in docCaption")
        << original.toXml().toUtf8() << QStringLiteral("2|555|20|2024-03-04 00:00:00.000");
    InvoiceXml fixed = ownInvoice();
    fixed.documentType = QStringLiteral("FIXED");
    QTest::newRow("FIXED: vidDoc 1") << fixed.toXml().toUtf8()
                                     << QStringLiteral("1|556|20|2024-03-04 00:00:00.000");
    InvoiceXml noDate = ownInvoice();
    noDate.documents.front().date.reset();
    QTest::newRow("no date: nothing found") << noDate.toXml().toUtf8() << QStringLiteral("2|NULL|20|NULL");
    InvoiceXml otherDate = ownInvoice();
    otherDate.documents.front().date = QStringLiteral("2024-03-05");
    QTest::newRow("another date: nothing found")
        << otherDate.toXml().toUtf8() << QStringLiteral("2|NULL|20|2024-03-05 00:00:00.000");
    InvoiceXml unknownConsignee = ownInvoice();
    unknownConsignee.consigneeUnp = QStringLiteral("990000007");
    QTest::newRow("consignee not in the directory: 0")
        << unknownConsignee.toXml().toUtf8() << QStringLiteral("2|555|0|2024-03-04 00:00:00.000");
    InvoiceXml foreign;
    foreign.consigneeUnp = QStringLiteral("690000006");
    QTest::newRow("another sender: no link")
        << foreign.toXml().toUtf8() << QStringLiteral("1|NULL|NULL|2024-03-04 00:00:00.000");
}

void TestImport::ownOrganisationDocument()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, row);

    writeText(folderPath(QStringLiteral("invoice.xml")), content);
    QCOMPARE(runImport().outcomes(), QStringLiteral("E"));
    QCOMPARE(joined(QStringLiteral("SELECT vidDoc, kodSkl, idPredpr, docDate FROM documents")), row);
}

void TestImport::code600_data()
{
    QTest::addColumn<bool>("additional");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("hasNumber");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("documentRow"); // code|docNumber, empty: none

    QTest::newRow("ordinary, 600 with a number") << false << "600" << true << "77"
                                                 << "E"
                                                 << "600|77";
    QTest::newRow("ordinary, 600 with an empty number") << false << "600" << true << ""
                                                        << "C"
                                                        << "";
    QTest::newRow("ordinary, 600 without number") << false << "600" << false << ""
                                                  << "C"
                                                  << "";
    QTest::newRow("ordinary, 603 with an empty number") << false << "603" << true << ""
                                                        << "E"
                                                        << "603|";
    QTest::newRow("additional, 600 with a number") << true << "600" << true << "77"
                                                   << "E"
                                                   << "";
    QTest::newRow("additional, 603 without number") << true << "603" << false << ""
                                                    << "E"
                                                    << "";
    QTest::newRow("additional, 603 with a number") << true << "603" << true << "0077"
                                                   << "E"
                                                   << "603|77";
}

void TestImport::code600()
{
    QFETCH(bool, additional);
    QFETCH(QString, code);
    QFETCH(bool, hasNumber);
    QFETCH(QString, number);
    QFETCH(QString, outcome);
    QFETCH(QString, documentRow);

    if (additional) {
        write(QStringLiteral("initial.xml"), initialInvoice());
        QCOMPARE(runImport().outcomes(), QStringLiteral("E"));
    }
    InvoiceXml invoice = additional ? additionalInvoice() : InvoiceXml();
    invoice.documents.front().code = code;
    invoice.documents.front().number = hasNumber ? std::optional<QString>(number) : std::nullopt;
    write(QStringLiteral("invoice.xml"), invoice);
    QCOMPARE(runImport().outcomes(), outcome);
    QCOMPARE(joined(QStringLiteral("SELECT code, docNumber FROM documents WHERE number = %1")
                        .arg(additional ? 60 : 101)),
             documentRow);
}

void TestImport::additionalInvoiceUnderSecondCandidate()
{
    write(QStringLiteral("initial.xml"), initialInvoice());
    QCOMPARE(runImport().outcomes(), QStringLiteral("E"));
    QCOMPARE(sql(QStringLiteral("SELECT idSender FROM invoices WHERE number = 50")), QStringLiteral("11"));

    // Neither a missing document nor an unknown recipient stops an additional invoice.
    InvoiceXml additional = additionalInvoice();
    additional.deliveryCondition = false;
    additional.recipientUnp = QStringLiteral("990000008");
    const QString path = write(QStringLiteral("invoice.xml"), additional);
    const Ran ran = runImport();
    QCOMPARE(ran.outcomes(), QStringLiteral("E"));
    QVERIFY(!QFile::exists(path));
    QCOMPARE(
        m_database->row(QStringLiteral("SELECT idSender, idProvider, documentType, invoice, idRecipient, "
                                       "providerStatus, recipientStatus, specialDealGoods, completed "
                                       "FROM invoices WHERE number = 60")),
        QStringLiteral("11|11|2|590000005-2024-0000000050|NULL|NULL|NULL|NULL|1"));
    QCOMPARE(sql(QStringLiteral("SELECT count(*) FROM roster WHERE number = 60")), QStringLiteral("1"));
}

void TestImport::reopensClosedConnection()
{
    write(QStringLiteral("invoice.xml"), InvoiceXml());
    TDM dm(QStringLiteral("tst_import"));
    dm.open(m_connection);
    dm.close();
    InvoiceDocument document;
    ImportRun run(dm, m_connection, document, kOwnUnn, false);
    Recorder recorder;
    QVERIFY(run.run(eschf::listFolder(m_folder, QStringLiteral("*.xml"), false), recorder));
    QCOMPARE(run.counters().loaded, 1);
}

// SQLite would go on committing into the renamed file, and the invoice files would be deleted
// with their invoices out of everybody's sight.
void TestImport::databaseFileGoingAway()
{
    if (m_database->isServer())
        QSKIP("about the SQLite file moved away; the server's lost session is a reliability test");
    InvoiceXml invoice;
    for (const char* name : {"a.xml", "b.xml", "c.xml", "d.xml"}) {
        invoice.number = QStringLiteral("290000002-2024-00000000%1").arg(int(name[0] - 'a') + 10);
        write(QString::fromLatin1(name), invoice);
    }
    const QStringList paths = eschf::listFolder(m_folder, QStringLiteral("*.xml"), false);
    const QString moved = m_db + QStringLiteral(".moved");

    // The file is moved away after a and put back after c.
    class MoveAway : public Recorder
    {
    public:
        QString place, away;
        bool movedAway = false;
        void fileFinished(int index, const FileResult& result) override
        {
            Recorder::fileFinished(index, result);
            if (index == 0)
                movedAway = QFile::rename(place, away);
            if (index == 2)
                QFile::rename(away, place);
        }
    } recorder;
    recorder.place = m_db;
    recorder.away = moved;

    TDM dm(QStringLiteral("tst_import"));
    dm.open(m_connection);
    InvoiceDocument document;
    ImportRun run(dm, m_connection, document, kOwnUnn, false);
    QVERIFY(run.run(paths, recorder));
    QString outcomes;
    for (const FileResult& result : recorder.results)
        outcomes += outcomeName(result.outcome);
#ifdef Q_OS_WIN
    // Windows refuses to move a file SQLite holds open (no delete sharing): nothing goes away and
    // every invoice loads.
    QVERIFY(!recorder.movedAway);
    QCOMPARE(outcomes, QStringLiteral("EEEE"));
    dm.close();
    QCOMPARE(sql(QStringLiteral("SELECT count(*) FROM invoices")), QStringLiteral("4"));
    return;
#endif
    QVERIFY(recorder.movedAway);
    // b meets the vanished file before its commit; c finds no database to open; d opens it again.
    QCOMPARE(outcomes, QStringLiteral("EHIE"));
    QVERIFY(!QFile::exists(paths.at(0)));
    QVERIFY(QFile::exists(paths.at(1)));
    QVERIFY(QFile::exists(paths.at(2)));
    QVERIFY(!QFile::exists(paths.at(3)));
    QVERIFY(recorder.results.at(1).reason.contains(QStringLiteral("Файл базы данных")));
    QVERIFY(recorder.results.at(2).reason.contains(QStringLiteral("Файл базы данных не найден")));
    dm.close();
    QCOMPARE(joined(QStringLiteral("SELECT number FROM invoices ORDER BY number")), QStringLiteral("10,13"));
}

void TestImport::listFolder_data()
{
    QTest::addColumn<QString>("prefix"); // under the temporary folder
    QTest::addColumn<bool>("namesOnly");
    QTest::addColumn<QStringList>("lines"); // "~" stands for the temporary folder

    QTest::newRow("sorted by name, mask without case, folders too")
        << "in/" << false << QStringList{"~in/a.xml", "~in/B.XML", "~in/c.xml", "~in/sub.xml"};
    QTest::newRow("names only") << "in/" << true << QStringList{"a.xml", "B.XML", "c.xml", "sub.xml"};
    QTest::newRow("a folder that does not exist") << "out/" << false << QStringList{};
}

void TestImport::listFolder()
{
    QFETCH(QString, prefix);
    QFETCH(bool, namesOnly);
    QFETCH(QStringList, lines);

    for (const char* name : {"c.xml", "a.xml", "B.XML", "notes.txt", "a.xml.bak"})
        writeText(folderPath(QString::fromLatin1(name)), "x");
    QVERIFY(QDir().mkpath(folderPath(QStringLiteral("sub.xml"))));
    const QString root = m_dir->path() + u'/';
    for (QString& line : lines)
        line.replace(u'~', root);
    QCOMPARE(eschf::listFolder(root + prefix, QStringLiteral("*.xml"), namesOnly), lines);
}

QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
