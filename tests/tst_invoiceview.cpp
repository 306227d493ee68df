// The invoice view of a file: what the directory makes of its parties and which cell its failure
// selects, with the outcome taken from a real check of the same file.
#include "data/connection.h"
#include "data/tdm.h"
#include "import/fileimport.h"
#include "import/invoiceview.h"
#include "invoicexml.h"
#include "mapping/invoicedocument.h"
#include "testsupport.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace eschf;
using namespace eschf::test;

namespace {

const QString kOwnUnn = QStringLiteral("190000001");

// The row of a table whose first cell is label.
const QList<ViewCell>* rowOf(const ViewTable& table, const QString& label)
{
    for (const QList<ViewCell>& row : table.rows) {
        if (!row.isEmpty() && row.front().text == label)
            return &row;
    }
    return nullptr;
}

} // namespace

class TestInvoiceView : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void viewOfOneFile_data();
    void viewOfOneFile();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_db;
    ConnectionParams m_connection;
};

void TestInvoiceView::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_db = m_dir->filePath(QStringLiteral("eschf.db"));
    createSqliteDatabase(m_db);
    seedDirectory(m_db);
    // An initial invoice of 590000005, stored under its branch 2.
    execSqlite(m_db,
               QStringLiteral("INSERT INTO invoices (idSender, compilingYear, number, invoice, documentType, "
                              "dateTransaction, idProvider, totalCostVat, totalExcise, totalVat, totalCost, "
                              "completed) VALUES (11, 2024, 999, '', 1, '2024-03-04', 11, 0, 0, 0, 0, 1);"));
    m_connection = translateConnectionString(sqliteConnectionString(m_db), m_dir->path(), {});
}

void TestInvoiceView::cleanup()
{
    m_dir.reset();
}

void TestInvoiceView::viewOfOneFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("provider");  // what the provider's row says of the directory
    QTest::addColumn<QString>("recipient"); // the same for the recipient
    QTest::addColumn<QString>("selected");  // "table: row label / column", empty: nothing selected

    const auto row = [](const char* name, const InvoiceXml& invoice, const char* outcome,
                        const char* provider, const char* recipient, const char* selected) {
        QTest::newRow(name) << invoice.toXml().toUtf8() << QString::fromLatin1(outcome)
                            << QString::fromUtf8(provider) << QString::fromUtf8(recipient)
                            << QString::fromUtf8(selected);
    };

    InvoiceXml redirected;
    redirected.sender = redirected.providerUnp = QStringLiteral("390000003");
    redirected.providerBranch = QStringLiteral(" 5 ");
    row("ordinary, branch 5 redirected to 7", redirected, "E",
        "организация 4 (код филиала 5 перенаправлен на 7)", "организация 1", "");

    InvoiceXml additional;
    additional.sender = additional.providerUnp = QStringLiteral("590000005");
    additional.number = QStringLiteral("590000005-2024-0000000060");
    additional.documentType = QStringLiteral("ADDITIONAL");
    additional.invoice = QStringLiteral("590000005-2024-0000000999");
    row("additional, initial stored under branch 2", additional, "E", "организация 11",
        "не ищется у дополнительной ЭСЧФ", "");
    additional.invoice = QStringLiteral("590000005-2024-0000000998");
    row("additional, initial not stored", additional, "A",
        "не найден: ни у одной организации с этим УНП нет исходной ЭСЧФ", "не ищется у дополнительной ЭСЧФ",
        "ЭСЧФ: Исходная ЭСЧФ в базе / Значение");

    InvoiceXml unknownRecipient;
    unknownRecipient.recipientUnp = QStringLiteral("490000004");
    row("unknown recipient", unknownRecipient, "D", "организация 2", "не найден",
        "Стороны: Получатель / В справочнике");

    InvoiceXml refused;
    refused.items.push_back(ItemXml{});
    refused.items.back().cost = QString();
    row("second item's cost refused", refused, "H", "организация 2", "организация 1",
        "Позиции: 2 / Стоимость");

    InvoiceXml badBranch;
    badBranch.providerBranch = QStringLiteral("7a");
    row("provider branch code not a number", badBranch, "I", "не проверено:", "организация 1",
        "Стороны: Поставщик / Код филиала");

    // Nothing but the reason the import gives.
    QTest::newRow("not an XML document") << QByteArray("<issuance sender=\"290000002\"><general>") << "I"
                                         << QString() << QString() << QString();
}

void TestInvoiceView::viewOfOneFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, outcome);
    QFETCH(QString, provider);
    QFETCH(QString, recipient);
    QFETCH(QString, selected);

    const QString path = m_dir->filePath(QStringLiteral("invoice.xml"));
    writeText(path, content);

    TDM dm(QStringLiteral("tst_invoiceview"));
    dm.open(m_connection);
    // The outcome a check gives the file, with the place of its failure.
    InvoiceDocument document;
    dm.transaction();
    const FileResult result = FileImporter(dm, document, kOwnUnn, false, RunMode::Check).importFile(path);
    dm.rollback();
    QCOMPARE(outcomeLetter(result.outcome), outcome);

    const InvoiceView view = readInvoiceView(dm, kOwnUnn, path, result);
    if (provider.isEmpty()) {
        QCOMPARE(view.unreadable, result.reason);
        QVERIFY(view.head.rows.isEmpty() && view.parties.rows.isEmpty() && view.items.rows.isEmpty());
        return;
    }
    QVERIFY(view.unreadable.isEmpty());
    const QList<ViewCell>* const providerRow = rowOf(view.parties, QStringLiteral("Поставщик"));
    const QList<ViewCell>* const recipientRow = rowOf(view.parties, QStringLiteral("Получатель"));
    QVERIFY(providerRow && recipientRow);
    QVERIFY2(providerRow->at(5).text.startsWith(provider), qPrintable(providerRow->at(5).text));
    QCOMPARE(providerRow->at(5).marked, !provider.startsWith(u"организация"));
    QCOMPARE(recipientRow->at(5).text, recipient);

    QString shown;
    if (view.selected) {
        const ViewTable& table = view.table(view.selected->section);
        shown = QStringLiteral("%1: %2 / %3")
                    .arg(table.title, table.rows.at(view.selected->row).front().text,
                         table.columns.at(view.selected->column));
        QVERIFY(table.rows.at(view.selected->row).at(view.selected->column).marked);
    }
    QCOMPARE(shown, selected);
    QCOMPARE(invoiceViewText(view).contains(QStringLiteral("\n» ")), view.selected.has_value());
    // The view changed nothing.
    QCOMPARE(querySqlite(m_db, QStringLiteral("SELECT count(*) FROM invoices")), QStringLiteral("1"));
    QVERIFY(QFile::exists(path));
}

QTEST_GUILESS_MAIN(TestInvoiceView)
#include "tst_invoiceview.moc"
