#include "data/error.h"
#include "data/tdm.h"
#include "import/resolution.h"
#include "mapping/header.h"
#include "mapping/invoicedocument.h"
#include "testdatabase.h"
#include "testsupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace eschf;

namespace {

// header/invoice.xml: an ordinary invoice that fills every parameter it can: sender 190000001 (no branch),
// recipient 290000001, a principal in the directory and a vendor that is not.
QByteArray baseInvoice()
{
    QFile file(test::testDataPath(QStringLiteral("header/invoice.xml")));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file.fileName()));
    return file.readAll();
}

// The row the invoice above gives, column by column.
const QList<QPair<QString, QString>> kFullRow = {
    {QStringLiteral("idSender"), QStringLiteral("10")},
    {QStringLiteral("compilingYear"), QStringLiteral("2022")},
    {QStringLiteral("number"), QStringLiteral("1234")},
    {QStringLiteral("invoice"), QStringLiteral("190000001-2021-0000000077")},
    {QStringLiteral("dateCancelled"), QStringLiteral("2022-06-30 00:00:00.000")},
    {QStringLiteral("documentType"), QStringLiteral("1")},
    {QStringLiteral("dateTransaction"), QStringLiteral("2022-06-22 00:00:00.000")},
    {QStringLiteral("idProvider"), QStringLiteral("10")},
    {QStringLiteral("providerStatus"), QStringLiteral("3")},
    {QStringLiteral("specialDealGoods"), QStringLiteral("1")},
    {QStringLiteral("principalId"), QStringLiteral("30")},
    {QStringLiteral("principalYear"), QStringLiteral("2021")},
    {QStringLiteral("principalNumber"), QStringLiteral("42")},
    {QStringLiteral("principalDate"), QStringLiteral("2021-05-05 00:00:00.000")},
    {QStringLiteral("vendorId"), QStringLiteral("NULL")},
    {QStringLiteral("vendorYear"), QStringLiteral("2020")},
    {QStringLiteral("vendorNumber"), QStringLiteral("43")},
    {QStringLiteral("vendorDate"), QStringLiteral("2020-04-04 09:00:00.000")},
    {QStringLiteral("pDeclaration"), QStringLiteral("DECL-1")},
    {QStringLiteral("dateRelease"), QStringLiteral("2022-06-20 08:30:00.000")},
    {QStringLiteral("dateActualExport"), QStringLiteral("2022-06-21 00:00:00.000")},
    {QStringLiteral("pTaxesNumber"), QStringLiteral("PT-5")},
    {QStringLiteral("pTaxesDate"), QStringLiteral("2022-06-19 00:00:00.000")},
    {QStringLiteral("idRecipient"), QStringLiteral("20")},
    {QStringLiteral("recipientStatus"), QStringLiteral("1")},
    {QStringLiteral("rDeclaration"), QStringLiteral("RDECL-2")},
    {QStringLiteral("rTaxesNumber"), QStringLiteral("RT-6")},
    {QStringLiteral("rTaxesDate"), QStringLiteral("2022-06-18 00:00:00.000")},
    {QStringLiteral("dateImport"), QStringLiteral("2022-06-17 00:00:00.000")},
    {QStringLiteral("contractNumber"), QStringLiteral("Д-15/2022")},
    {QStringLiteral("contractDate"), QStringLiteral("2022-01-10 00:00:00.000")},
    {QStringLiteral("description"), QStringLiteral("Поставка по договору")},
    {QStringLiteral("totalCostVat"), QStringLiteral("1234.560")},
    {QStringLiteral("totalExcise"), QStringLiteral("0.000")},
    {QStringLiteral("totalVat"), QStringLiteral("205.760")},
    {QStringLiteral("totalCost"), QStringLiteral("1028.800")},
};

// The provider and recipient columns an additional invoice leaves NULL.
const QStringList kOrdinaryOnly = {
    QStringLiteral("providerStatus"),   QStringLiteral("specialDealGoods"), QStringLiteral("principalId"),
    QStringLiteral("principalYear"),    QStringLiteral("principalNumber"),  QStringLiteral("principalDate"),
    QStringLiteral("vendorId"),         QStringLiteral("vendorYear"),       QStringLiteral("vendorNumber"),
    QStringLiteral("vendorDate"),       QStringLiteral("pDeclaration"),     QStringLiteral("dateRelease"),
    QStringLiteral("dateActualExport"), QStringLiteral("pTaxesNumber"),     QStringLiteral("pTaxesDate"),
    QStringLiteral("idRecipient"),      QStringLiteral("recipientStatus"),  QStringLiteral("rDeclaration"),
    QStringLiteral("rTaxesNumber"),     QStringLiteral("rTaxesDate"),       QStringLiteral("dateImport"),
};

// The base invoice with one piece of it replaced (each "from" must occur in it).
using Edits = QList<QPair<QString, QString>>;
QByteArray edited(const Edits& edits)
{
    QString xml = QString::fromUtf8(baseInvoice());
    for (const auto& [from, to] : edits) {
        if (!xml.contains(from))
            qFatal("test invoice lacks %s", qPrintable(from));
        xml.replace(from, to);
    }
    return xml.toUtf8();
}

enum class Stop
{
    Inserted,
    NoSender,
    NoDocument,
    NoRecipient,
};

} // namespace

Q_DECLARE_METATYPE(Edits)

class TestHeader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data();
    void init();
    void cleanup();

    void cuts_data();
    void cuts();
    void shortDateAndDecimals_data();
    void shortDateAndDecimals();

    void fullRow();
    void edits_data();
    void edits();
    void refused_data();
    void refused();
    void documentCheck_data();
    void documentCheck();
    void additionalInvoice();
    void nothingCarriedOver();

private:
    Stop insertHeader(const QByteArray& xml);
    QString column(const QString& name, const QString& number = QStringLiteral("1234")) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::TestDatabase> m_database;
    std::unique_ptr<TDM> m_dm;
    InvoiceDocument m_doc;
};

void TestHeader::initTestCase_data()
{
    test::addBackendRows();
}

void TestHeader::init()
{
    ESCHF_FETCH_BACKEND(backend);
    // These read the invoice alone.
    static const QList<QByteArray> withoutDatabase{"cuts", "shortDateAndDecimals", "documentCheck"};
    if (backend == test::Backend::MsSql && withoutDatabase.contains(QTest::currentTestFunction()))
        QSKIP("no database involved");
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_database = std::make_unique<test::TestDatabase>(backend, m_dir->filePath(QStringLiteral("eschf.db")));
    m_database->exec(QStringLiteral("INSERT INTO tbPredpr(idPredpr, UNN, DopUNN, idPlat) VALUES "
                                    "(10, '190000001', NULL, NULL), (20, '290000001', NULL, NULL), "
                                    "(30, '390000001', 4, 10);"));
    m_dm = std::make_unique<TDM>(QStringLiteral("header"));
    m_dm->open(m_database->connectionParams());
}

void TestHeader::cleanup()
{
    m_dm.reset();
    m_database.reset();
    m_dir.reset();
}

// The header stretch of a file's import: reset, sender, general part, the checks and lookups of an
// ordinary invoice, totals, insert.
Stop TestHeader::insertHeader(const QByteArray& xml)
{
    m_doc.loadBytes(xml, QStringLiteral("invoice.xml"));
    const XmlElement root = m_doc.root();
    const QString sender = root.attribute(u"sender");
    m_dm->InvoicesInsert.setAllNull();

    OrganisationResolver resolver(*m_dm, QStringLiteral("290000001"));
    HeaderMapping header(*m_dm, resolver);
    const bool additional = root.at(u"general/documentType").text() == u"ADDITIONAL";
    const std::optional<int> senderId =
        additional ? resolver.additionalSender(root, sender) : resolver.ordinarySender(root, sender);
    if (!senderId)
        return Stop::NoSender;
    const QString number = root.at(u"general/number").text();
    header.fillGeneral(root, *senderId, yearText(number), sequenceText(number));
    if (!additional) {
        if (!HeaderMapping::hasDocumentToMatch(root))
            return Stop::NoDocument;
        header.fillProvider(root);
        if (!header.fillRecipient(root))
            return Stop::NoRecipient;
    }
    header.fillTotals(root);
    m_dm->InvoicesInsert.exec();
    return Stop::Inserted;
}

QString TestHeader::column(const QString& name, const QString& number) const
{
    return m_database->query(QStringLiteral("SELECT %1 FROM invoices WHERE number = %2").arg(name, number));
}

void TestHeader::cuts_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("year");
    QTest::addColumn<QString>("sequence");
    QTest::addColumn<QString>("taxpayer");
    QTest::newRow("whole") << "123456789-2022-0000001234"
                           << "2022"
                           << "0000001234"
                           << "123456789";
    QTest::newRow("longer") << "123456789-2022-00000012345"
                            << "2022"
                            << "0000001234"
                            << "123456789";
    QTest::newRow("hyphens unchecked") << "123456789x2022y0000001234"
                                       << "2022"
                                       << "0000001234"
                                       << "123456789";
    QTest::newRow("cut in the sequence") << "123456789-2022-00012"
                                         << "2022"
                                         << "00012"
                                         << "123456789";
    QTest::newRow("cut in the year") << "123456789-20"
                                     << "20"
                                     << ""
                                     << "123456789";
    QTest::newRow("taxpayer only") << "12345"
                                   << ""
                                   << ""
                                   << "12345";
    QTest::newRow("empty") << ""
                           << ""
                           << ""
                           << "";
    QTest::newRow("blanks kept") << " 23456789- 022-000000123 "
                                 << " 022"
                                 << "000000123 "
                                 << " 23456789";
}

void TestHeader::cuts()
{
    QFETCH(QString, number);
    QFETCH(QString, year);
    QFETCH(QString, sequence);
    QFETCH(QString, taxpayer);
    QCOMPARE(yearText(number), year);
    QCOMPARE(sequenceText(number), sequence);
    QCOMPARE(taxpayerText(number), taxpayer);
    QCOMPARE(cutChars(number, 1, 0), QString());
    QCOMPARE(cutChars(number, 0, 3), number.left(3));
}

void TestHeader::shortDateAndDecimals_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("decimal");
    QTest::newRow("date and time") << " 2022-06-22T10:15:00 "
                                   << "2022-06-22"
                                   << " 2022-06-22T10:15:00 ";
    QTest::newRow("zone") << "2022-06-22+03:00"
                          << "2022-06-22"
                          << "2022-06-22+03:00";
    QTest::newRow("short") << "2022-6-2"
                           << "2022-6-2"
                           << "2022-6-2";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
    QTest::newRow("points") << "1.2.3"
                            << "1.2.3"
                            << "1,2,3";
    QTest::newRow("blanks kept in decimals") << " 1234.560 "
                                             << "1234.560"
                                             << " 1234,560 ";
}

void TestHeader::shortDateAndDecimals()
{
    QFETCH(QString, text);
    QFETCH(QString, date);
    QFETCH(QString, decimal);
    QCOMPARE(shortDate(text), date);
    QCOMPARE(decimalText(text), decimal);
}

void TestHeader::fullRow()
{
    QCOMPARE(insertHeader(baseInvoice()), Stop::Inserted);
    for (const auto& [name, expected] : kFullRow)
        QCOMPARE(name + u'=' + column(name), name + u'=' + expected);
}

void TestHeader::edits_data()
{
    QTest::addColumn<Edits>("edits");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("expected");

    const auto edit = [](const char* from, const char* to) {
        return Edits{{QString::fromUtf8(from), QString::fromUtf8(to)}};
    };
    const char* cancelled = "<dateCancelled>2022-06-30</dateCancelled>";
    QTest::newRow("dateCancelled blanks")
        << edit(cancelled, "<dateCancelled>  \n </dateCancelled>") << "dateCancelled"
        << "NULL";
    QTest::newRow("dateCancelled empty") << edit(cancelled, "<dateCancelled/>") << "dateCancelled"
                                         << "NULL";
    QTest::newRow("dateCancelled absent") << edit(cancelled, "") << "dateCancelled"
                                          << "NULL";
    QTest::newRow("dateCancelled with time, whole")
        << edit(cancelled, "<dateCancelled>2022-06-30T23:59:58</dateCancelled>") << "dateCancelled"
        << "2022-06-30 23:59:58.000";
    const char* invoice = "<invoice>190000001-2021-0000000077</invoice>";
    QTest::newRow("invoice absent: empty text") << edit(invoice, "") << "invoice"
                                                << "";
    QTest::newRow("invoice blanks: empty text") << edit(invoice, "<invoice> </invoice>") << "invoice"
                                                << "";
    QTest::newRow("documentType unknown") << edit("ORIGINAL", "original") << "documentType"
                                          << "0";
    QTest::newRow("documentType absent")
        << edit("<documentType>ORIGINAL</documentType>", "") << "documentType"
        << "0";
    QTest::newRow("dateTransaction plain")
        << edit("  2022-06-22T10:15:00  ", "2022-06-21") << "dateTransaction"
        << "2022-06-21 00:00:00.000";
    QTest::newRow("dateRelease whole with time") << Edits() << "dateRelease"
                                                 << "2022-06-20 08:30:00.000";

    const char* special = "<specialDealGoods>true</specialDealGoods>";
    QTest::newRow("flag True") << edit(special, "<specialDealGoods>True</specialDealGoods>")
                               << "specialDealGoods"
                               << "0";
    QTest::newRow("flag 1") << edit(special, "<specialDealGoods>1</specialDealGoods>") << "specialDealGoods"
                            << "0";
    QTest::newRow("flag absent") << edit(special, "") << "specialDealGoods"
                                 << "0";
    QTest::newRow("providerStatus absent")
        << edit("<providerStatus>COMMISSIONAIRE</providerStatus>", "") << "providerStatus"
        << "0";
    QTest::newRow("recipientStatus") << edit("CUSTOMER", "FOREIGN_ORGANIZATION_BUYER") << "recipientStatus"
                                     << "6";

    const char* principal =
        "<principal><number>390000001-2021-0000000042</number><date>2021-05-05</date></principal>";
    QTest::newRow("principal absent: id") << edit(principal, "") << "principalId"
                                          << "NULL";
    QTest::newRow("principal absent: date") << edit(principal, "") << "principalDate"
                                            << "NULL";
    QTest::newRow("principal blanks") << edit(principal, "<principal>  </principal>") << "principalYear"
                                      << "NULL";
    QTest::newRow("principal without date") << edit("<date>2021-05-05</date>", "") << "principalDate"
                                            << "NULL";
    QTest::newRow("principal not in the directory")
        << edit("390000001-2021", "390000009-2021") << "principalId"
        << "NULL";
    QTest::newRow("principal not in the directory: year")
        << edit("390000001-2021", "390000009-2021") << "principalYear"
        << "2021";
    QTest::newRow("vendor found by its own number") << edit("490000001-2020", "390000001-2020") << "vendorId"
                                                    << "30";

    QTest::newRow("pDeclaration blanks")
        << edit("<declaration>DECL-1</declaration>", "<declaration> </declaration>") << "pDeclaration"
        << "NULL";
    const char* pTaxes = "<taxes><number>PT-5</number><date>2022-06-19</date></taxes>";
    QTest::newRow("pTaxes without number")
        << edit(pTaxes, "<taxes><date>2022-06-19</date></taxes>") << "pTaxesNumber"
        << "";
    QTest::newRow("pTaxes without date")
        << edit(pTaxes, "<taxes><number>PT-5</number></taxes>") << "pTaxesDate"
        << "NULL";
    QTest::newRow("pTaxes absent") << edit(pTaxes, "") << "pTaxesNumber"
                                   << "NULL";
    const char* rTaxes = "<taxes><number>RT-6</number><date>2022-06-18</date></taxes>";
    QTest::newRow("rTaxes without number")
        << edit(rTaxes, "<taxes><date>2022-06-18</date></taxes>") << "rTaxesNumber"
        << "";
    QTest::newRow("rTaxes absent: date") << edit(rTaxes, "") << "rTaxesDate"
                                         << "NULL";
    QTest::newRow("dateImport blanks")
        << edit("<dateImport>2022-06-17</dateImport>", "<dateImport>\t</dateImport>") << "dateImport"
        << "NULL";

    QTest::newRow("contract number absent") << edit("<number>  Д-15/2022  </number>", "") << "contractNumber"
                                            << "NULL";
    QTest::newRow("contract date blanks")
        << edit("<date> 2022-01-10+03:00 </date>", "<date>  </date>") << "contractDate"
        << "NULL";
    QTest::newRow("description blanks")
        << edit("<description>Поставка по договору</description>", "<description> </description>")
        << "description"
        << "NULL";
    QTest::newRow("description untrimmed")
        << edit("<description>Поставка по договору</description>", "<description> Поставка </description>")
        << "description"
        << " Поставка ";
}

void TestHeader::edits()
{
    QFETCH(Edits, edits);
    QFETCH(QString, column);
    QFETCH(QString, expected);
    QCOMPARE(insertHeader(edited(edits)), Stop::Inserted);
    QCOMPARE(this->column(column), expected);
}

void TestHeader::refused_data()
{
    QTest::addColumn<Edits>("edits");
    QTest::addColumn<QString>("named"); // what the message must name

    const auto edit = [](const char* from, const char* to) {
        return Edits{{QString::fromUtf8(from), QString::fromUtf8(to)}};
    };
    QTest::newRow("number absent") << edit("<number>190000001-2022-0000001234</number>", "")
                                   << "compilingYear";
    QTest::newRow("number short") << edit("190000001-2022-0000001234", "190000001-2022") << "number";
    QTest::newRow("number not digits") << edit("-2022-0000001234", "-2022-00000012x4") << "number";
    QTest::newRow("dateTransaction absent")
        << edit("<dateTransaction>  2022-06-22T10:15:00  </dateTransaction>", "") << "dateTransaction";
    QTest::newRow("dateTransaction not a date")
        << edit("2022-06-22T10:15:00", "22.06.2022") << "dateTransaction";
    QTest::newRow("principal without number")
        << edit("<number>390000001-2021-0000000042</number>", "") << "principalYear";
    QTest::newRow("vendor without number")
        << edit("<number>490000001-2020-0000000043</number>", "") << "vendorYear";
    QTest::newRow("total not a number") << edit("totalExcise=\"0\"", "totalExcise=\"нет\"") << "totalExcise";
    QTest::newRow("total missing") << edit("totalExcise=\"0\"", "") << "totalExcise";
    QTest::newRow("roster missing") << Edits{{QStringLiteral("<roster "), QStringLiteral("<list ")},
                                             {QStringLiteral("</roster>"), QStringLiteral("</list>")}}
                                    << "totalCostVat";
}

void TestHeader::refused()
{
    QFETCH(Edits, edits);
    QFETCH(QString, named);
    try {
        insertHeader(edited(edits));
        QFAIL("the header was written");
    } catch (const Error& e) {
        QVERIFY2(e.message().contains(QRegularExpression(QStringLiteral("\\b%1\\b").arg(named))),
                 qPrintable(e.message()));
    }
    QCOMPARE(m_database->query(QStringLiteral("SELECT count(*) FROM invoices")), QStringLiteral("0"));
}

void TestHeader::documentCheck_data()
{
    QTest::addColumn<QString>("documents"); // what stands where the base invoice has its documents
    QTest::addColumn<bool>("goOn");
    const auto document = [](const char* code, const char* number) {
        return QStringLiteral(
                   "<documents><document><docType><code>%1</code></docType>%2</document></documents>")
            .arg(QString::fromUtf8(code), QString::fromUtf8(number));
    };
    QTest::newRow("none") << QString() << false;
    QTest::newRow("empty") << "<documents/>" << false;
    QTest::newRow("blanks") << "<documents>\n  </documents>" << false;
    QTest::newRow("600 without number") << document("600", "") << false;
    QTest::newRow("600 empty number") << document("600", "<number/>") << false;
    QTest::newRow("600 blank number") << document("600", "<number> </number>") << false;
    QTest::newRow("600 with number") << document("600", "<number>15</number>") << true;
    QTest::newRow("601 without number") << document("601", "") << true;
    QTest::newRow("600 with blanks") << document(" 600", "") << true;
    QTest::newRow("only the first counts")
        << "<documents><document><docType><code>602</code></docType></document>"
           "<document><docType><code>600</code></docType></document></documents>"
        << true;
    QTest::newRow("first is 600 without number")
        << "<documents><document><docType><code>600</code></docType></document>"
           "<document><docType><code>602</code></docType><number>1</number></document></documents>"
        << false;
    QTest::newRow("other element before the first")
        << "<documents><note>x</note><document><docType><code>600</code></docType></document></documents>"
        << false;
}

void TestHeader::documentCheck()
{
    QFETCH(QString, documents);
    QFETCH(bool, goOn);
    QString xml = QString::fromUtf8(baseInvoice());
    const qsizetype from = xml.indexOf(u"<documents>");
    const qsizetype to =
        xml.indexOf(u"</documents>") + qsizetype(std::char_traits<char>::length("</documents>"));
    xml.replace(from, to - from, documents);
    m_doc.loadBytes(xml.toUtf8());
    QCOMPARE(HeaderMapping::hasDocumentToMatch(m_doc.root()), goOn);

    // Without deliveryCondition there is nothing to match, whatever stands elsewhere.
    m_doc.loadBytes(edited({{QStringLiteral("<deliveryCondition>"), QStringLiteral("<other>")},
                            {QStringLiteral("</deliveryCondition>"), QStringLiteral("</other>")}}));
    QVERIFY(!HeaderMapping::hasDocumentToMatch(m_doc.root()));
}

void TestHeader::additionalInvoice()
{
    // The initial invoice, stored under the sender.
    QCOMPARE(insertHeader(edited(
                 {{QStringLiteral("190000001-2022-0000001234"), QStringLiteral("190000001-2021-0000000077")},
                  {QStringLiteral("<invoice>190000001-2021-0000000077</invoice>"), QString()}})),
             Stop::Inserted);
    // No documents: an additional invoice is never checked for them.
    QCOMPARE(insertHeader(edited({{QStringLiteral("ORIGINAL"), QStringLiteral("ADDITIONAL")},
                                  {QStringLiteral("<documents>"), QStringLiteral("<papers>")},
                                  {QStringLiteral("</documents>"), QStringLiteral("</papers>")}})),
             Stop::Inserted);
    QCOMPARE(column(QStringLiteral("documentType")), QStringLiteral("2"));
    QCOMPARE(column(QStringLiteral("invoice")), QStringLiteral("190000001-2021-0000000077"));
    QCOMPARE(column(QStringLiteral("idSender")), QStringLiteral("10"));
    QCOMPARE(column(QStringLiteral("contractNumber")), QStringLiteral("Д-15/2022"));
    QCOMPARE(column(QStringLiteral("description")), QStringLiteral("Поставка по договору"));
    QCOMPARE(column(QStringLiteral("totalCostVat")), QStringLiteral("1234.560"));
    for (const QString& name : kOrdinaryOnly)
        QCOMPARE(name + u'=' + column(name), name + QStringLiteral("=NULL"));
}

void TestHeader::nothingCarriedOver()
{
    QCOMPARE(insertHeader(baseInvoice()), Stop::Inserted);
    QCOMPARE(
        insertHeader(edited(
            {{QStringLiteral("-0000001234"), QStringLiteral("-0000001235")},
             {QStringLiteral("<dateCancelled>2022-06-30</dateCancelled>"), QString()},
             {QStringLiteral("<principal><number>390000001-2021-0000000042</number><date>2021-05-05</date>"
                             "</principal>"),
              QString()},
             {QStringLiteral(
                  "<vendor><number>490000001-2020-0000000043</number><date>2020-04-04T09:00:00</date>"
                  "</vendor>"),
              QString()},
             {QStringLiteral("<declaration>DECL-1</declaration>"), QString()},
             {QStringLiteral("<taxes><number>PT-5</number><date>2022-06-19</date></taxes>"), QString()},
             {QStringLiteral("<taxes><number>RT-6</number><date>2022-06-18</date></taxes>"), QString()},
             {QStringLiteral("<number>  Д-15/2022  </number>"), QString()},
             {QStringLiteral("<description>Поставка по договору</description>"), QString()}})),
        Stop::Inserted);
    const QString second = QStringLiteral("1235");
    for (const char* name :
         {"dateCancelled", "principalId", "principalYear", "principalNumber", "principalDate", "vendorId",
          "vendorYear", "vendorNumber", "vendorDate", "pDeclaration", "pTaxesNumber", "pTaxesDate",
          "rTaxesNumber", "rTaxesDate", "contractNumber", "description"}) {
        const QString column = QString::fromLatin1(name);
        QCOMPARE(column + u'=' + this->column(column, second), column + QStringLiteral("=NULL"));
    }
    QCOMPARE(column(QStringLiteral("principalId")), QStringLiteral("30"));
}

QTEST_GUILESS_MAIN(TestHeader)
#include "tst_header.moc"
