// Invoice files that try the database: taxpayer numbers, branch codes, names and numbers carrying
// quotes, semicolons, comment markers and SQL, and texts longer than their columns. None may change
// what a statement does, none may be cut on the way in, and each ends with a defined outcome.
#include "data/connection.h"
#include "data/tdm.h"
#include "import/fileimport.h"
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

const char* const kDirectory = R"sql(
INSERT INTO tbPredpr(idPredpr, UNN, DopUNN, idPlat) VALUES
    (1, '190000001', NULL, NULL),
    (2, '290000002', NULL, NULL),
    (3, '390000003', 1, NULL),
    (4, '390000003', 7, 4);
INSERT INTO tbNastrPredpr(idPredpr) VALUES (1);
)sql";

const QString kOwnUnn = QStringLiteral("190000001");

// What a file tries, put into an invoice that would otherwise load.
using Change = std::function<void(InvoiceXml&, QString& xml)>;

QString outcomeName(Outcome outcome)
{
    return QString(QChar(u'A' + static_cast<int>(outcome)));
}

void replaceOnce(QString& xml, const QString& from, const QString& to)
{
    const qsizetype at = xml.indexOf(from);
    QVERIFY2(at >= 0, qPrintable(from));
    xml.replace(at, from.size(), to);
}

// Elements the builder does not write: put in right after an opening tag.
Change inside(const QString& openTag, const QString& element)
{
    return [=](InvoiceXml&, QString& xml) {
        if (!xml.isEmpty())
            replaceOnce(xml, openTag, openTag + element);
    };
}

QString escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

// A party's declaration and tax document number, which the builder does not write.
std::function<Change(QString)> declarationOf(const QString& partyTag)
{
    return [partyTag](QString t) {
        return inside(partyTag, QStringLiteral("<declaration>%1</declaration>").arg(escaped(t)));
    };
}

std::function<Change(QString)> taxesNumberOf(const QString& partyTag)
{
    return [partyTag](QString t) {
        return inside(
            partyTag,
            QStringLiteral("<taxes><number>%1</number><date>2024-01-01</date></taxes>").arg(escaped(t)));
    };
}

// Hostile texts: each must end up as one value, never as SQL.
const QStringList kHostile = {
    QStringLiteral("1' OR '1'='1"),
    QStringLiteral("'; DROP TABLE invoices; --"),
    QStringLiteral("x\" OR 1=1 /* */ --"),
    QStringLiteral("0' UNION SELECT idPredpr FROM tbPredpr --"),
    QStringLiteral("; DELETE FROM tbPredpr;"),
};

// A document number keeps its last 25 characters without leading zeros.
QString normalised(const QString& number)
{
    QString kept = number.right(25);
    while (kept.startsWith(u'0'))
        kept.remove(0, 1);
    return kept;
}

} // namespace

Q_DECLARE_METATYPE(Change)

class TestHostile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data();
    void init();
    void cleanup();

    void hostileText_data();
    void hostileText();
    void overlongText_data();
    void overlongText();
    void brokenFile_data();
    void brokenFile();

private:
    FileResult importOne(const Change& change);
    QString sql(const QString& query) const { return m_database->query(query); }
    // The tables (and on SQLite the indexes) there are.
    QString schema() const;
    int count(const QString& table) const
    {
        return sql(QStringLiteral("SELECT count(*) FROM ") + table).toInt();
    }
    void verifyDatabaseIntact() const;
    void verifyNothingStored() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TestDatabase> m_database;
    QString m_path;
    QString m_schema; // the tables and indexes as they were made
};

void TestHostile::initTestCase_data()
{
    addBackendRows();
}

void TestHostile::init()
{
    ESCHF_FETCH_BACKEND(backend);
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_database = std::make_unique<TestDatabase>(backend, m_dir->filePath(QStringLiteral("eschf.db")));
    m_database->exec(QString::fromUtf8(kDirectory));
    m_path = m_dir->filePath(QStringLiteral("invoice.xml"));
    m_schema = schema();
}

void TestHostile::cleanup()
{
    m_database.reset();
    m_dir.reset();
}

QString TestHostile::schema() const
{
    if (m_database->isServer())
        return m_database->lines(QStringLiteral("SELECT name FROM sys.tables ORDER BY name")).join(u',');
    return sql(QStringLiteral("SELECT group_concat(name, ',') FROM sqlite_master"));
}

FileResult TestHostile::importOne(const Change& change)
{
    InvoiceXml invoice;
    QString xml;
    change(invoice, xml); // the builder's fields first
    xml = invoice.toXml();
    change(invoice, xml); // then what it does to the text
    writeText(m_path, xml.toUtf8());

    const ConnectionParams connection = m_database->connectionParams();
    TDM dm(QStringLiteral("tst_hostile"));
    dm.open(connection);
    InvoiceDocument document;
    FileImporter importer(dm, document, kOwnUnn, false);
    return importer.importFile(m_path);
}

void TestHostile::verifyDatabaseIntact() const
{
    QCOMPARE(schema(), m_schema);
    QCOMPARE(m_database->lines(
                 QStringLiteral("SELECT idPredpr, UNN, DopUNN, idPlat FROM tbPredpr ORDER BY idPredpr")),
             (QStringList{QStringLiteral("1|190000001|NULL|NULL"), QStringLiteral("2|290000002|NULL|NULL"),
                          QStringLiteral("3|390000003|1|NULL"), QStringLiteral("4|390000003|7|4")}));
    QCOMPARE(count(QStringLiteral("tbNastrPredpr")), 1);
    QVERIFY(count(QStringLiteral("invoices")) <= 1);
    QVERIFY(count(QStringLiteral("roster")) <= 1);
    QVERIFY(count(QStringLiteral("documents")) <= 1);
}

void TestHostile::verifyNothingStored() const
{
    QCOMPARE(count(QStringLiteral("invoices")), 0);
    QCOMPARE(count(QStringLiteral("roster")), 0);
    QCOMPARE(count(QStringLiteral("descriptions")), 0);
    QCOMPARE(count(QStringLiteral("documents")), 0);
}

void TestHostile::hostileText_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("stored"); // a query whose answer must be the hostile text itself
    QTest::addColumn<QString>("text");

    for (qsizetype i = 0; i < kHostile.size(); ++i) {
        const QString text = kHostile[i];
        const auto row = [&](const char* what) {
            return &QTest::newRow(qPrintable(QStringLiteral("%1 #%2").arg(QString::fromLatin1(what)).arg(i)));
        };
        *row("sender") << Change([text](InvoiceXml& x, QString&) { x.sender = x.providerUnp = text; })
                       << QStringLiteral("B") << QString() << text;
        *row("recipient unp") << Change([text](InvoiceXml& x, QString&) { x.recipientUnp = text; })
                              << QStringLiteral("D") << QString() << text;
        *row("provider branch code") << Change([text](InvoiceXml& x, QString&) {
            x.sender = x.providerUnp = QStringLiteral("390000003");
            x.providerBranch = text;
        }) << QStringLiteral("I") << QString()
                                     << text;
        *row("recipient branch code") << Change([text](InvoiceXml& x, QString&) { x.recipientBranch = text; })
                                      << QStringLiteral("H") << QString() << text;
        // An unknown consignee is no failure: the document names no organisation.
        *row("consignee unp") << Change([text](InvoiceXml& x, QString&) { x.consigneeUnp = text; })
                              << QStringLiteral("E") << QStringLiteral("SELECT idPredpr FROM documents")
                              << QStringLiteral("NULL");
        *row("invoice number") << Change([text](InvoiceXml& x, QString&) {
            x.number = QStringLiteral("290000002-2024-") + text;
        }) << QStringLiteral("I")
                               << QString() << text;
        *row("principal number") << Change([text](InvoiceXml& x, QString&) { x.principalNumber = text; })
                                 << QStringLiteral("H") << QString() << text;
        *row("item name") << Change([text](InvoiceXml& x, QString&) { x.items.front().name = text; })
                          << QStringLiteral("E") << QStringLiteral("SELECT name FROM roster") << text;
        *row("item code") << Change([text](InvoiceXml& x, QString&) { x.items.front().code = text.left(10); })
                          << QStringLiteral("E") << QStringLiteral("SELECT code FROM roster")
                          << text.left(10);
        *row("document number") << Change([text](InvoiceXml& x, QString&) {
            x.documents.front().number = text;
        }) << QStringLiteral("E")
                                << QStringLiteral("SELECT docNumber FROM documents") << normalised(text);
        *row("document seria") << Change([text](InvoiceXml& x, QString&) {
            x.documents.front().seria = text.left(25);
        }) << QStringLiteral("E")
                               << QStringLiteral("SELECT seria FROM documents")
                               << text.left(25).trimmed(); // trimmed on the way in
        *row("contract number") << Change([text](InvoiceXml& x, QString&) {
            x.contractNumber = text.left(20);
        }) << QStringLiteral("E")
                                << QStringLiteral("SELECT contractNumber FROM invoices") << text.left(20);
        *row("provider declaration")
            << inside(QStringLiteral("<provider>"),
                      QStringLiteral("<declaration>%1</declaration>").arg(escaped(text.left(25))))
            << QStringLiteral("E") << QStringLiteral("SELECT pDeclaration FROM invoices") << text.left(25);
    }
}

void TestHostile::hostileText()
{
    QFETCH(Change, change);
    QFETCH(QString, outcome);
    QFETCH(QString, stored);
    QFETCH(QString, text);

    const FileResult result = importOne(change);
    QCOMPARE(outcomeName(result.outcome), outcome);
    verifyDatabaseIntact();
    if (outcome == u"E") {
        QVERIFY(!QFileInfo::exists(m_path));
        QCOMPARE(count(QStringLiteral("invoices")), 1);
        QCOMPARE(sql(stored), text);
    } else {
        QVERIFY(QFileInfo::exists(m_path));
        QVERIFY2(!result.reason.isEmpty() || !result.lineText.isEmpty(), "a file that stays says why");
        verifyNothingStored();
    }
}

void TestHostile::overlongText_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("column");  // named in SQLite's refusal
    QTest::addColumn<QString>("element"); // where the reason places the text, whatever the database says
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("text");

    // Letters, quotes and Cyrillic alike: the width counts characters, not bytes.
    const auto textOf = [](int length) {
        QString text;
        const QString pattern = QStringLiteral("Ж'a;-");
        while (text.size() < length)
            text += pattern;
        return text.left(length);
    };
    struct Column
    {
        const char* name;
        const char* element;
        int width;
        const char* stored;
        std::function<Change(QString)> change;
    };
    const std::vector<Column> columns = {
        {"invoice", "general/invoice", 25, "SELECT invoice FROM invoices",
         [](QString t) {
             return Change([t](InvoiceXml& x, QString&) { x.invoice = t; });
         }},
        {"pDeclaration", "provider/declaration", 25, "SELECT pDeclaration FROM invoices",
         declarationOf(QStringLiteral("<provider>"))},
        {"pTaxesNumber", "provider/taxes/number", 25, "SELECT pTaxesNumber FROM invoices",
         taxesNumberOf(QStringLiteral("<provider>"))},
        {"rDeclaration", "recipient/declaration", 25, "SELECT rDeclaration FROM invoices",
         declarationOf(QStringLiteral("<recipient>"))},
        {"rTaxesNumber", "recipient/taxes/number", 25, "SELECT rTaxesNumber FROM invoices",
         taxesNumberOf(QStringLiteral("<recipient>"))},
        {"contractNumber", "deliveryCondition/contract/number", 20, "SELECT contractNumber FROM invoices",
         [](QString t) {
             return Change([t](InvoiceXml& x, QString&) { x.contractNumber = t; });
         }},
        {"description", "deliveryCondition/description", 512, "SELECT description FROM invoices",
         [](QString t) {
             return Change([t](InvoiceXml&, QString& xml) {
                 if (!xml.isEmpty())
                     replaceOnce(xml, QStringLiteral("Поставка по заявке"), escaped(t));
             });
         }},
        {"name", "Позиция 1, roster/rosterItem/name", 512, "SELECT name FROM roster",
         [](QString t) {
             return Change([t](InvoiceXml& x, QString&) { x.items.front().name = t; });
         }},
        {"code", "Позиция 1, roster/rosterItem/code", 10, "SELECT code FROM roster",
         [](QString t) {
             return Change([t](InvoiceXml& x, QString&) { x.items.front().code = t; });
         }},
        {"code_oced", "Позиция 1, roster/rosterItem/code_oced", 5, "SELECT code_oced FROM roster",
         [](QString t) {
             return Change([t](InvoiceXml& x, QString&) { x.items.front().codeOced = t; });
         }},
        {"blankCode", "deliveryCondition/contract/documents/document/blankCode", 50,
         "SELECT blankCode FROM documents",
         [](QString t) {
             return Change([t](InvoiceXml& x, QString&) { x.documents.front().blankCode = t; });
         }},
        {"seria", "deliveryCondition/contract/documents/document/seria", 25, "SELECT seria FROM documents",
         [](QString t) {
             return Change([t](InvoiceXml& x, QString&) { x.documents.front().seria = t; });
         }},
    };
    for (const Column& column : columns) {
        for (const int length : {column.width, column.width + 1}) {
            const QString text = textOf(length);
            QTest::newRow(
                qPrintable(QStringLiteral("%1 %2").arg(QString::fromLatin1(column.name)).arg(length)))
                << column.change(text) << QString::fromLatin1(column.name)
                << QString::fromUtf8(column.element) << column.width << QString::fromLatin1(column.stored)
                << text;
        }
    }
}

void TestHostile::overlongText()
{
    QFETCH(Change, change);
    QFETCH(QString, column);
    QFETCH(QString, element);
    QFETCH(int, width);
    QFETCH(QString, stored);
    QFETCH(QString, text);

    const FileResult result = importOne(change);
    verifyDatabaseIntact();
    if (QTest::currentDataTag() == column + QStringLiteral(" %1").arg(width)) {
        QCOMPARE(outcomeName(result.outcome), QStringLiteral("E"));
        if (m_database->isServer()) {
            // Compared where it is stored: read back through QODBC and FreeTDS, a text whose UTF-8
            // is longer than its column's width comes back broken.
            QCOMPARE(sql(QStringLiteral("SELECT count(*) FROM (%1) AS s WHERE %2 = N'%3'")
                             .arg(stored, column, QString(text).replace(u'\'', QStringLiteral("''")))),
                     QStringLiteral("1"));
        } else {
            QCOMPARE(sql(stored).size(), width);
        }
    } else {
        // Too long: the whole file fails and says which column, nothing of it is kept.
        QCOMPARE(outcomeName(result.outcome), QStringLiteral("H"));
        QVERIFY2(result.reason.startsWith(
                     QStringLiteral("%1: текст длиной %2 знаков не помещается в столбец шириной %3")
                         .arg(element)
                         .arg(width + 1)
                         .arg(width)),
                 qPrintable(result.reason));
        if (!m_database->isServer())
            QVERIFY2(result.reason.contains(column), qPrintable(result.reason));
        QVERIFY(QFileInfo::exists(m_path));
        verifyNothingStored();
    }
}

void TestHostile::brokenFile_data()
{
    QTest::addColumn<QString>("source");
    for (const char* folder : {"bad", "fuzz"}) {
        const QDir dir(testDataPath(QString::fromLatin1(folder)));
        for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
            if (name != u"README.txt")
                QTest::newRow(qPrintable(QString::fromLatin1(folder) + u'/' + name)) << dir.filePath(name);
        }
    }
}

// Twice each, so that the second time meets whatever the first one stored.
void TestHostile::brokenFile()
{
    QFETCH(QString, source);
    QFile in(source);
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QByteArray bytes = in.readAll();

    const ConnectionParams connection = m_database->connectionParams();
    TDM dm(QStringLiteral("tst_hostile"));
    dm.open(connection);
    InvoiceDocument document;
    FileImporter importer(dm, document, kOwnUnn, false);
    for (int round = 0; round < 2; ++round) {
        writeText(m_path, bytes);
        const FileResult result = importer.importFile(m_path);
        const bool kept = result.outcome == Outcome::E || result.outcome == Outcome::F;
        QCOMPARE(QFileInfo::exists(m_path), !kept);
        if (!kept) {
            QVERIFY2(!result.lineText.isEmpty(), "a file that stays has a line");
            if (round == 0)
                verifyNothingStored();
        }
    }
    verifyDatabaseIntact();
}

QTEST_GUILESS_MAIN(TestHostile)
#include "tst_hostile.moc"
