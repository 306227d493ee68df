#include "data/error.h"
#include "data/tdm.h"
#include "import/resolution.h"
#include "mapping/invoicedocument.h"
#include "testdatabase.h"
#include "testsupport.h"

#include <QTemporaryDir>
#include <QtTest>

#include <limits>
#include <memory>

using namespace eschf;

namespace {

const QString kSender = QStringLiteral("190000001");
const QString kRecipient = QStringLiteral("290000001");

constexpr int kNull = std::numeric_limits<int>::min();

// A directory row: id, UNN, DopUNN and idPlat.
QString predpr(int id, const QString& unn, int dopUnn = kNull, int idPlat = kNull)
{
    const auto orNull = [](int value) {
        return value == kNull ? QStringLiteral("NULL") : QString::number(value);
    };
    return QStringLiteral("INSERT INTO tbPredpr(idPredpr, UNN, DopUNN, idPlat) VALUES (%1, '%2', %3, %4);")
        .arg(QString::number(id), QString(unn).replace(u'\'', QStringLiteral("''")), orNull(dopUnn),
             orNull(idPlat));
}

QString redirection(const QString& unn, int dopUnn, const QString& newDopUnn)
{
    return QStringLiteral("INSERT INTO invPredprs(unn, dopUnn, newDopUnn) VALUES ('%1', %2, %3);")
        .arg(unn, QString::number(dopUnn), newDopUnn);
}

QString escapedXml(QString text)
{
    return text.replace(u'&', QStringLiteral("&amp;"))
        .replace(u'<', QStringLiteral("&lt;"))
        .replace(u'"', QStringLiteral("&quot;"));
}

// An invoice with the parts the lookups read. A null branch code leaves the element out.
QByteArray invoiceXml(const QString& sender, const QString& providerBranch, const QString& recipientUnp,
                      const QString& recipientBranch,
                      const QString& documentType = QStringLiteral("ORIGINAL"),
                      const QString& initial = QString(), const QString& consigneeUnp = QString())
{
    const auto branch = [](const QString& code) {
        return code.isNull() ? QString()
                             : QStringLiteral("<branchCode>%1</branchCode>").arg(escapedXml(code));
    };
    QString xml =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<issuance xmlns=\"http://www.w3schools.com\" sender=\"%1\">\n"
                       "<general><number>190000001-2022-0000000005</number>"
                       "<documentType>%2</documentType>%3</general>\n"
                       "<provider><unp>190000001</unp>%4</provider>\n"
                       "<recipient><unp>%5</unp>%6</recipient>\n"
                       "<senderReceiver><consignees>%7</consignees></senderReceiver>\n"
                       "</issuance>\n")
            .arg(escapedXml(sender), documentType,
                 initial.isNull() ? QString()
                                  : QStringLiteral("<invoice>%1</invoice>").arg(escapedXml(initial)),
                 branch(providerBranch), escapedXml(recipientUnp), branch(recipientBranch),
                 consigneeUnp.isNull() ? QString()
                                       : QStringLiteral("<consignee><unp>%1</unp></consignee>"
                                                        "<consignee><unp>390000002</unp></consignee>")
                                             .arg(escapedXml(consigneeUnp)));
    return xml.toUtf8();
}

QString selectText(const QString& whereLine)
{
    return QStringLiteral("Select idPredpr from tbPredpr\r\n") + whereLine + QStringLiteral("\r\n");
}

const QString kW1 = QStringLiteral(
    "where (idPredpr=idPlat or idPlat is NULL) and (DopUNN=1 or DopUNN is NULL) and UNN='190000001'");

QString w2(int code)
{
    return QStringLiteral("where (idPredpr=idPlat or idPlat is NULL) and DopUNN=%1 and UNN='190000001'")
        .arg(code);
}

// A lookup's answer as one value for data rows: the id, 0 for nothing found.
int idOrZero(const std::optional<int>& id)
{
    return id.value_or(0);
}

} // namespace

class TestResolution : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data();
    void init();
    void cleanup();

    void quoting_data();
    void quoting();

    void ordinarySender_data();
    void ordinarySender();
    void senderBranchRefused_data();
    void senderBranchRefused();
    void redirectionWithoutNewCode();

    void additionalSender_data();
    void additionalSender();
    void additionalWithoutInitialNumber();

    void recipient_data();
    void recipient();
    void recipientBranchRefused_data();
    void recipientBranchRefused();

    void organisationByUnn();
    void consignee_data();
    void consignee();

    void databaseFailureNamesParty();
    void badFiles_data();
    void badFiles();

private:
    void seed(const QString& sql) { m_database->exec(sql); }
    XmlElement load(const QByteArray& xml);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::TestDatabase> m_database;
    std::unique_ptr<TDM> m_dm;
    InvoiceDocument m_doc;
};

void TestResolution::initTestCase_data()
{
    test::addBackendRows();
}

void TestResolution::init()
{
    ESCHF_FETCH_BACKEND(backend);
    if (backend == test::Backend::MsSql && QByteArray(QTest::currentTestFunction()) == "quoting")
        QSKIP("quotes text: no database involved");
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_database = std::make_unique<test::TestDatabase>(backend, m_dir->filePath(QStringLiteral("eschf.db")));
    m_dm = std::make_unique<TDM>(QStringLiteral("resolution"));
    m_dm->open(m_database->connectionParams());
}

void TestResolution::cleanup()
{
    m_dm.reset();
    m_database.reset();
    m_dir.reset();
}

XmlElement TestResolution::load(const QByteArray& xml)
{
    m_doc.loadBytes(xml, QStringLiteral("test.xml"));
    return m_doc.root();
}

void TestResolution::quoting_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("digits") << "190000001"
                            << "'190000001'";
    QTest::newRow("empty") << ""
                           << "''";
    QTest::newRow("inner quote") << "19'0"
                                 << "'19''0'";
    QTest::newRow("only quotes") << "''"
                                 << "''''''";
    QTest::newRow("injection") << "1' OR '1'='1"
                               << "'1'' OR ''1''=''1'";
}

void TestResolution::quoting()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(quoted(text), expected);
}

void TestResolution::ordinarySender_data()
{
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("branchCode"); // null: no element
    QTest::addColumn<QString>("sender");
    QTest::addColumn<int>("expected"); // 0: none found
    QTest::addColumn<QString>("whereLine");

    const QString noBranch = predpr(10, kSender);
    const QString branch1 = predpr(11, kSender, 1);
    const QString branch7 = predpr(13, kSender, 7);
    const QString branch12 = predpr(14, kSender, 12);
    const QString other = predpr(30, QStringLiteral("190000002"));

    QTest::newRow("none given, row without branch")
        << noBranch + branch7 << QString() << kSender << 10 << kW1;
    QTest::newRow("none given, branch 1") << branch1 + branch7 << QString() << kSender << 11 << kW1;
    QTest::newRow("1 matches a row without branch") << noBranch + branch7 << "1" << kSender << 10 << kW1;
    QTest::newRow("1 matches branch 1") << branch1 + branch7 << "1" << kSender << 11 << kW1;
    QTest::newRow("7") << noBranch + branch1 + branch7 << "7" << kSender << 13 << w2(7);
    QTest::newRow("7 trimmed") << noBranch + branch7 << "  7\t" << kSender << 13 << w2(7);
    QTest::newRow("12 trimmed") << noBranch + branch12 << " 12 " << kSender << 14 << w2(12);
    QTest::newRow("01 is branch 1 only") << noBranch + branch1 << "01" << kSender << 11 << w2(1);
    QTest::newRow("01 misses a row without branch") << noBranch << "01" << kSender << 0 << w2(1);
    QTest::newRow("+7") << branch7 << "+7" << kSender << 13 << w2(7);
    QTest::newRow("-3") << predpr(15, kSender, -3) << "-3" << kSender << 15 << w2(-3);
    QTest::newRow("7 not in directory") << noBranch + branch1 << "7" << kSender << 0 << w2(7);
    QTest::newRow("empty element") << noBranch << "" << kSender << 10 << kW1;
    QTest::newRow("blanks only") << noBranch << "   " << kSender << 10 << kW1;
    QTest::newRow("redirected 7 to 1")
        << noBranch + branch7 + redirection(kSender, 7, QStringLiteral("1")) << "7" << kSender << 10 << kW1;
    QTest::newRow("redirected 7 to 12") << branch7 + branch12 + redirection(kSender, 7, QStringLiteral("12"))
                                        << " 7 " << kSender << 14 << w2(12);
    QTest::newRow("redirection of another taxpayer")
        << branch7 + branch12 + redirection(QStringLiteral("190000002"), 7, QStringLiteral("12")) << "7"
        << kSender << 13 << w2(7);
    QTest::newRow("redirection of another branch")
        << branch7 + branch12 + redirection(kSender, 8, QStringLiteral("12")) << "7" << kSender << 13
        << w2(7);
    QTest::newRow("another taxpayer") << other << QString() << kSender << 0 << kW1;
    QTest::newRow("idPlat of another row")
        << predpr(20, kSender, kNull, 5) << QString() << kSender << 0 << kW1;
    QTest::newRow("idPlat of its own") << predpr(21, kSender, kNull, 21) << QString() << kSender << 21 << kW1;
    QTest::newRow("branch row of another payer")
        << predpr(22, kSender, 7, 10) + noBranch << "7" << kSender << 0 << w2(7);
    QTest::newRow("quote in sender, row of that text")
        << predpr(40, QStringLiteral("19000'0001")) + noBranch << QString() << "19000'0001" << 40
        << QStringLiteral("where (idPredpr=idPlat or idPlat is NULL) and (DopUNN=1 or DopUNN is NULL) and "
                          "UNN='19000''0001'");
    QTest::newRow("sender trying to widen the search")
        << noBranch + other << QString() << "1' OR '1'='1" << 0
        << QStringLiteral("where (idPredpr=idPlat or idPlat is NULL) and (DopUNN=1 or DopUNN is NULL) and "
                          "UNN='1'' OR ''1''=''1'");
}

void TestResolution::ordinarySender()
{
    QFETCH(QString, directory);
    QFETCH(QString, branchCode);
    QFETCH(QString, sender);
    QFETCH(int, expected);
    QFETCH(QString, whereLine);
    seed(directory);

    OrganisationResolver resolver(*m_dm, QString());
    const XmlElement root = load(invoiceXml(sender, branchCode, kRecipient, QString()));
    QCOMPARE(idOrZero(resolver.ordinarySender(root, root.attribute(u"sender"))), expected);
    QCOMPARE(m_dm->SelectVariousPredprs.text(), selectText(whereLine));
}

void TestResolution::senderBranchRefused_data()
{
    const QString notWhole = QStringLiteral("не является целым числом");
    QTest::addColumn<QString>("branchCode");
    QTest::addColumn<QString>("reason");
    QTest::newRow("SQL after the code") << "7 OR 1=1" << notWhole;
    QTest::newRow("hex") << "$1F" << notWhole;
    QTest::newRow("C hex") << "0x1F" << notWhole;
    QTest::newRow("letters") << "A7" << notWhole;
    QTest::newRow("blank inside") << "1 2" << notWhole;
    QTest::newRow("sign alone") << "-" << notWhole;
    QTest::newRow("decimal point") << "7.0" << notWhole;
    QTest::newRow("other digits") << QStringLiteral("\u0663") << notWhole;
    QTest::newRow("beyond int") << "99999999999" << QStringLiteral("вне допустимого диапазона");
}

void TestResolution::senderBranchRefused()
{
    QFETCH(QString, branchCode);
    QFETCH(QString, reason);
    seed(predpr(10, kSender) + predpr(13, kSender, 7));
    OrganisationResolver resolver(*m_dm, QString());
    const XmlElement root = load(invoiceXml(kSender, branchCode, kRecipient, QString()));
    try {
        resolver.ordinarySender(root, kSender);
        QFAIL("a branch code that is not a whole number was used");
    } catch (const Error& e) {
        QCOMPARE(e.message(), QStringLiteral("Код филиала поставщика \"%1\" %2").arg(branchCode, reason));
    }
    // Nothing of the file's making reached a statement.
    QVERIFY(m_dm->SelectVariousPredprs.text().isEmpty());
}

void TestResolution::redirectionWithoutNewCode()
{
    seed(predpr(10, kSender) + predpr(13, kSender, 7) + redirection(kSender, 7, QStringLiteral("NULL")));
    OrganisationResolver resolver(*m_dm, QString());
    const XmlElement root = load(invoiceXml(kSender, QStringLiteral("7"), kRecipient, QString()));
    try {
        resolver.ordinarySender(root, kSender);
        QFAIL("a redirection without a new code was followed");
    } catch (const Error& e) {
        QCOMPARE(e.message(), QStringLiteral("Для кода филиала поставщика \"7\" (УНП \"190000001\") в "
                                             "перенаправлениях не задан новый код"));
    }
}

void TestResolution::additionalSender_data()
{
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("stored"); // where the initial invoice lies: idSender, year, number
    QTest::addColumn<int>("expected");

    const QString three = predpr(50, kSender, 1) + predpr(51, kSender, 7) + predpr(52, kSender);
    QTest::newRow("second of three") << three << "51, 2021, 77" << 51;
    QTest::newRow("third of three") << three << "52, 2021, 77" << 52;
    QTest::newRow("other year") << three << "51, 2020, 77" << 0;
    QTest::newRow("other number") << three << "51, 2021, 78" << 0;
    QTest::newRow("under no candidate") << three << "53, 2021, 77" << 0;
    QTest::newRow("no candidate") << predpr(60, QStringLiteral("190000002")) << "60, 2021, 77" << 0;
    QTest::newRow("candidate of another payer") << predpr(54, kSender, 7, 50) << "54, 2021, 77" << 0;
}

void TestResolution::additionalSender()
{
    QFETCH(QString, directory);
    QFETCH(QString, stored);
    QFETCH(int, expected);
    seed(directory);
    seed(QStringLiteral("INSERT INTO invoices(idSender, compilingYear, number, documentType, idProvider, "
                        "totalCostVat, totalExcise, totalVat, totalCost, completed) "
                        "VALUES (%1, 1, 0, '0.000', '0.000', '0.000', '0.000', 1);")
             .arg(stored));

    OrganisationResolver resolver(*m_dm, QString());
    const XmlElement root =
        load(invoiceXml(kSender, QStringLiteral("7"), kRecipient, QString(), QStringLiteral("ADDITIONAL"),
                        QStringLiteral("190000001-2021-0000000077")));
    QCOMPARE(idOrZero(resolver.additionalSender(root, kSender)), expected);
    QCOMPARE(m_dm->SelectVariousPredprs.text(),
             selectText(QStringLiteral("where (idPredpr=idPlat or idPlat is NULL) and UNN='190000001'")));
}

void TestResolution::additionalWithoutInitialNumber()
{
    seed(predpr(50, kSender));
    OrganisationResolver resolver(*m_dm, QString());
    const XmlElement root =
        load(invoiceXml(kSender, QString(), kRecipient, QString(), QStringLiteral("ADDITIONAL")));
    try {
        resolver.additionalSender(root, kSender);
        QFAIL("an initial invoice without a number was searched");
    } catch (const Error& e) {
        QVERIFY2(e.message().startsWith(
                     QStringLiteral("Поиск исходной ЭСЧФ \"\" поставщика с УНП \"190000001\": ")),
                 qPrintable(e.message()));
        QVERIFY2(e.message().contains(u"compilingYear"), qPrintable(e.message()));
    }
}

void TestResolution::recipient_data()
{
    QTest::addColumn<QString>("ownUnn");
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("unp");
    QTest::addColumn<QString>("branchCode");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("whereLine");

    const QString rows =
        predpr(60, kRecipient, 8000) + predpr(61, kRecipient, 1) + predpr(63, kRecipient, 12);
    const QString noBranch = predpr(62, kRecipient);
    const QString w3 =
        QStringLiteral("where (idPredpr=idPlat or idPlat is NULL) and DopUNN=%1 and UNN='290000001'");
    const QString w4 = QStringLiteral(
        "where (idPredpr=idPlat or idPlat is NULL) and (DopUNN=%1 or DopUNN is NULL) and UNN='290000001'");

    QTest::newRow("own 100200300: 8000")
        << "100200300" << rows << kRecipient << QString() << 60 << w4.arg(8000);
    QTest::newRow("own 200300400: 8000")
        << "200300400" << rows << kRecipient << QString() << 60 << w4.arg(8000);
    QTest::newRow("other own: 1") << "300400500" << rows << kRecipient << QString() << 61 << w4.arg(1);
    QTest::newRow("no own: 1") << "" << rows << kRecipient << QString() << 61 << w4.arg(1);
    QTest::newRow("8000 or no branch")
        << "100200300" << noBranch << kRecipient << QString() << 62 << w4.arg(8000);
    QTest::newRow("empty element: default") << "" << noBranch << kRecipient << "" << 62 << w4.arg(1);
    QTest::newRow("1 given") << "" << rows + noBranch << kRecipient << "1" << 61 << w3.arg(1);
    QTest::newRow("1 given misses no branch") << "" << noBranch << kRecipient << "1" << 0 << w3.arg(1);
    QTest::newRow("12 given") << "100200300" << rows << kRecipient << "12" << 63 << w3.arg(12);
    QTest::newRow("12 with blanks") << "" << rows << kRecipient << " 12 " << 63 << w3.arg(12);
    QTest::newRow("7 given, none") << "" << rows + noBranch << kRecipient << "7" << 0 << w3.arg(7);
    QTest::newRow("searched by unp") << "" << predpr(64, QStringLiteral("290000002")) << kRecipient
                                     << QString() << 0 << w4.arg(1);
    QTest::newRow("idPlat of another row")
        << "" << predpr(65, kRecipient, kNull, 60) << kRecipient << QString() << 0 << w4.arg(1);
    QTest::newRow("quote in unp")
        << "" << noBranch + predpr(66, QStringLiteral("29'0")) << "29'0" << QString() << 66
        << QStringLiteral(
               "where (idPredpr=idPlat or idPlat is NULL) and (DopUNN=1 or DopUNN is NULL) and UNN='29''0'");
    QTest::newRow("unp trying to widen the search")
        << "" << noBranch << "x' OR 'a'='a" << QString() << 0
        << QStringLiteral("where (idPredpr=idPlat or idPlat is NULL) and (DopUNN=1 or DopUNN is NULL) and "
                          "UNN='x'' OR ''a''=''a'");
}

void TestResolution::recipient()
{
    QFETCH(QString, ownUnn);
    QFETCH(QString, directory);
    QFETCH(QString, unp);
    QFETCH(QString, branchCode);
    QFETCH(int, expected);
    QFETCH(QString, whereLine);
    seed(directory);

    OrganisationResolver resolver(*m_dm, ownUnn);
    const XmlElement root = load(invoiceXml(kSender, QString(), unp, branchCode));
    QCOMPARE(idOrZero(resolver.recipient(root)), expected);
    QCOMPARE(m_dm->SelectVariousPredprs.text(), selectText(whereLine));
}

void TestResolution::recipientBranchRefused_data()
{
    const QString notWhole = QStringLiteral("не является целым числом");
    QTest::addColumn<QString>("branchCode");
    QTest::addColumn<QString>("reason");
    QTest::newRow("SQL after the code") << "7 OR 1=1" << notWhole;
    QTest::newRow("hex") << "$1F" << notWhole;
    QTest::newRow("blank inside") << "1 2" << notWhole;
    QTest::newRow("comment") << "1--" << notWhole;
    QTest::newRow("beyond int") << "2147483648" << QStringLiteral("вне допустимого диапазона");
}

void TestResolution::recipientBranchRefused()
{
    QFETCH(QString, branchCode);
    QFETCH(QString, reason);
    seed(predpr(61, kRecipient, 1));
    OrganisationResolver resolver(*m_dm, QString());
    const XmlElement root = load(invoiceXml(kSender, QString(), kRecipient, branchCode));
    try {
        resolver.recipient(root);
        QFAIL("a branch code that is not a whole number was used");
    } catch (const Error& e) {
        QCOMPARE(e.message(), QStringLiteral("Код филиала получателя \"%1\" %2").arg(branchCode, reason));
    }
    QVERIFY(m_dm->SelectVariousPredprs.text().isEmpty());
}

void TestResolution::organisationByUnn()
{
    // Neither branch nor idPlat matters here.
    seed(predpr(70, QStringLiteral("390000001"), 7, 5) + predpr(71, QStringLiteral("390000002")));
    OrganisationResolver resolver(*m_dm, QString());
    QCOMPARE(idOrZero(resolver.organisationByUnn(QStringLiteral("390000001"))), 70);
    QCOMPARE(idOrZero(resolver.organisationByUnn(QStringLiteral("390000002"))), 71);
    QCOMPARE(idOrZero(resolver.organisationByUnn(QStringLiteral("390000003"))), 0);
    QCOMPARE(idOrZero(resolver.organisationByUnn(QStringLiteral("39000000"))), 0);
    QCOMPARE(idOrZero(resolver.organisationByUnn(QStringLiteral("3' OR '1'='1"))), 0);
    QCOMPARE(idOrZero(resolver.organisationByUnn(QString())), 0);
}

void TestResolution::consignee_data()
{
    QTest::addColumn<QString>("unp"); // null: no consignee at all
    QTest::addColumn<int>("expected");
    QTest::newRow("found, any branch and payer") << "390000001" << 70;
    QTest::newRow("not in the directory") << "390000009" << 0;
    QTest::newRow("no consignee") << QString() << 0;
    QTest::newRow("quote") << "39'0" << 0;
}

void TestResolution::consignee()
{
    QFETCH(QString, unp);
    QFETCH(int, expected);
    // The second consignee of every test file, 390000002, is never the one read.
    seed(predpr(70, QStringLiteral("390000001"), 7, 5) + predpr(71, QStringLiteral("390000002")));
    OrganisationResolver resolver(*m_dm, QString());
    const XmlElement root = load(
        invoiceXml(kSender, QString(), kRecipient, QString(), QStringLiteral("ORIGINAL"), QString(), unp));
    QCOMPARE(resolver.consignee(root), expected);
    QCOMPARE(m_dm->SelectVariousPredprs.text(), selectText(QStringLiteral("where UNN=") + quoted(unp)));
}

void TestResolution::databaseFailureNamesParty()
{
    // A directory the database cannot read: every lookup says whom it was looking for.
    seed(QStringLiteral("DROP TABLE tbPredpr;"));
    OrganisationResolver resolver(*m_dm, QString());
    const XmlElement root =
        load(invoiceXml(kSender, QStringLiteral(" 7 "), kRecipient, QStringLiteral("3"),
                        QStringLiteral("ORIGINAL"), QString(), QStringLiteral("390000001")));
    const auto messageOf = [](const auto& lookup) {
        try {
            lookup();
        } catch (const Error& e) {
            return e.message();
        }
        return QString();
    };
    QVERIFY(messageOf([&] {
                resolver.ordinarySender(root, kSender);
            }).startsWith(QStringLiteral("Поиск поставщика с УНП \"190000001\", код филиала \" 7 \": ")));
    QVERIFY(messageOf([&] {
                resolver.additionalSender(root, kSender);
            }).startsWith(QStringLiteral("Поиск исходной ЭСЧФ \"\" поставщика с УНП \"190000001\": ")));
    QVERIFY(messageOf([&] {
                resolver.recipient(root);
            }).startsWith(QStringLiteral("Поиск получателя с УНП \"290000001\", код филиала \"3\": ")));
    QVERIFY(messageOf([&] {
                resolver.organisationByUnn(QStringLiteral("390000001"));
            }).startsWith(QStringLiteral("Поиск организации с УНП \"390000001\": ")));
    QVERIFY(messageOf([&] {
                resolver.consignee(root);
            }).startsWith(QStringLiteral("Поиск грузополучателя с УНП \"390000001\": ")));
}

void TestResolution::badFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("recipientSide");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("error");
    QTest::newRow("sender and unp with quotes") << "sender-quotes.xml" << false << 0 << QString();
    QTest::newRow("branch with SQL") << "branch-or.xml" << false << 0
                                     << "Код филиала поставщика \"7 OR 1=1\" не является целым числом";
    QTest::newRow("branch in hex") << "branch-hex.xml" << false << 0
                                   << "Код филиала поставщика \"$1F\" не является целым числом";
    QTest::newRow("branch with blanks") << "branch-spaces.xml" << false << 12 << QString();
    QTest::newRow("branch empty") << "branch-empty.xml" << false << 10 << QString();
    QTest::newRow("recipient branch with SQL")
        << "recipient-branch-or.xml" << true << 0
        << "Код филиала получателя \"1 OR 1=1\" не является целым числом";
}

void TestResolution::badFiles()
{
    QFETCH(QString, file);
    QFETCH(bool, recipientSide);
    QFETCH(int, expected);
    QFETCH(QString, error);
    seed(predpr(10, kSender) + predpr(12, kSender, 12) + predpr(13, kSender, 7) +
         predpr(20, QStringLiteral("190555555"), 1));
    m_doc.load(test::testDataPath(QStringLiteral("bad/") + file));
    const XmlElement root = m_doc.root();
    OrganisationResolver resolver(*m_dm, QString());
    try {
        const std::optional<int> id = recipientSide
                                          ? resolver.recipient(root)
                                          : resolver.ordinarySender(root, root.attribute(u"sender"));
        QVERIFY2(error.isEmpty(), "the lookup should have failed");
        QCOMPARE(idOrZero(id), expected);
    } catch (const Error& e) {
        QCOMPARE(e.message(), error);
    }
}

QTEST_GUILESS_MAIN(TestResolution)
#include "tst_resolution.moc"
