#include "data/error.h"
#include "mapping/invoicedocument.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <cstdio>
#include <thread>
#include <unistd.h>

using namespace eschf;
using namespace Qt::StringLiterals;

namespace {

QString invoicePath(const QString& name)
{
    return test::testDataPath(u"invoices/"_s + name);
}

QString badPath(const QString& name)
{
    return test::testDataPath(u"bad/"_s + name);
}

QString errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Error& error) {
        return error.message();
    }
    return QString();
}

// A path as XmlElement::path() writes it, "[n]" picking the n-th of a repeated element.
XmlElement elementAt(XmlElement element, const QString& path)
{
    for (const QString& step : path.split(u'/')) {
        const qsizetype bracket = step.indexOf(u'[');
        if (bracket < 0) {
            element = element.child(step);
            continue;
        }
        const std::vector<XmlElement> all = element.children(QStringView(step).left(bracket));
        const qsizetype position = QStringView(step).mid(bracket + 1).chopped(1).toInt();
        if (position < 1 || position > qsizetype(all.size()))
            return XmlElement();
        element = all[position - 1];
    }
    return element;
}

// Everything the import reads, as "path=text" lines, for comparing one invoice in several forms.
QStringList readTree(const XmlElement& root)
{
    QStringList lines;
    const auto add = [&](const XmlElement& element) {
        lines << element.path() + u'=' + (element.present() ? element.text() : u"<absent>"_s);
    };
    lines << u"sender="_s + root.attribute(u"sender");
    for (const char16_t* path : {u"general/number",
                                 u"general/invoice",
                                 u"general/dateCancelled",
                                 u"general/documentType",
                                 u"general/dateTransaction",
                                 u"provider/unp",
                                 u"provider/branchCode",
                                 u"provider/name",
                                 u"provider/providerStatus",
                                 u"provider/specialDealGoods",
                                 u"provider/principal/number",
                                 u"provider/principal/date",
                                 u"provider/vendor/number",
                                 u"provider/vendor/date",
                                 u"provider/declaration",
                                 u"provider/dateRelease",
                                 u"provider/dateActualExport",
                                 u"provider/taxes/number",
                                 u"provider/taxes/date",
                                 u"recipient/unp",
                                 u"recipient/branchCode",
                                 u"recipient/name",
                                 u"recipient/recipientStatus",
                                 u"recipient/declaration",
                                 u"recipient/taxes/number",
                                 u"recipient/taxes/date",
                                 u"recipient/dateImport",
                                 u"senderReceiver/consignees/consignee/unp",
                                 u"deliveryCondition/contract/number",
                                 u"deliveryCondition/contract/date",
                                 u"deliveryCondition/description"})
        add(root.at(QStringView(path)));
    for (const XmlElement& document :
         root.at(u"deliveryCondition/contract/documents").children(u"document")) {
        for (const char16_t* path : {u"docType/code", u"date", u"blankCode", u"seria", u"number"})
            add(document.at(QStringView(path)));
    }
    const XmlElement roster = root.child(u"roster");
    for (const char16_t* total : {u"totalCostVat", u"totalExcise", u"totalVat", u"totalCost"})
        lines << QStringView(total).toString() + u'=' + roster.attribute(QStringView(total));
    for (const XmlElement& item : roster.children(u"rosterItem")) {
        for (const char16_t* path :
             {u"number", u"name", u"code", u"code_oced", u"count", u"price", u"cost", u"summaExcise",
              u"vat/rate", u"vat/rateType", u"vat/summaVat", u"costVat"})
            add(item.at(QStringView(path)));
        for (const XmlElement& description : item.child(u"descriptions").children(u"description"))
            add(description);
    }
    return lines;
}

QByteArray invoiceWithItems(int items)
{
    QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<issuance sender="190000001"><general><number>190000001-2022-0000009999</number></general>
<roster totalCostVat="0.000" totalExcise="0.000" totalVat="0.000" totalCost="0.000">
)";
    const QByteArray item =
        R"(<rosterItem><number>1</number><name>Бумага офисная А4, 80 г/кв. м, 500 листов</name>
<code>4802569000</code><code_oced>17120</code_oced><count>100.000</count><price>12.500</price><cost>1250.000</cost>
<vat><rate>20</rate><rateType>DECIMAL</rateType><summaVat>250.000</summaVat></vat><costVat>1500.000</costVat>
<descriptions><description>DEDUCTION_IN_FULL</description></descriptions></rosterItem>
)";
    xml.reserve(xml.size() + item.size() * items + 32);
    for (int i = 0; i < items; ++i)
        xml += item;
    return xml + "</roster></issuance>\n";
}

// libxml2 writes to stderr unless told otherwise; every test checks that it stayed silent.
class StderrCapture
{
public:
    void start()
    {
        QVERIFY(m_file.open());
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        QVERIFY(m_saved >= 0);
        QVERIFY(::dup2(m_file.handle(), STDERR_FILENO) >= 0);
    }
    QByteArray stop()
    {
        if (m_saved < 0)
            return QByteArray();
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
        m_file.seek(0);
        const QByteArray written = m_file.readAll();
        m_file.resize(0);
        return written;
    }

private:
    QTemporaryFile m_file;
    int m_saved = -1;
};

int g_foreignErrors = 0;
void countForeignError(void*, xmlErrorPtr)
{
    ++g_foreignErrors;
}

} // namespace

class TestDocument : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_stderr.start(); }
    void cleanup()
    {
        const QByteArray written = m_stderr.stop();
        QVERIFY2(written.isEmpty(), written.constData());
    }

    void rules_data();
    void rules();
    void attributes_data();
    void attributes();
    void repetition();
    void lookupPaths();

    void originalValues_data();
    void originalValues();
    void sameInvoiceInEveryForm_data();
    void sameInvoiceInEveryForm();
    void fixedAndAdditional();

    void badCorpus_data();
    void badCorpus();
    void hostileInput_data();
    void hostileInput();
    void externalSubsetNotRead();
    void processDefaultsDoNotCount();

    void failedLoadLeavesNoTree();
    void loadingTwiceReplacesTree();
    void missingFile();
    void parsesOnWorkerThread();
    void restoresErrorHandlers();

private:
    StderrCapture m_stderr;
};

void TestDocument::rules_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("text"); // the message part when reading fails
    QTest::addColumn<bool>("fails");

    const QByteArray entities = R"(<!DOCTYPE r [<!ENTITY org "ООО «Ромашка»"><!ENTITY mixed "a<i/>b">]>)";

    QTest::newRow("text") << "<r><a>190000001</a></r>"_ba << u"a"_s << true << u"190000001"_s << false;
    QTest::newRow("UTF-8 with BOM") << "\xEF\xBB\xBF<r><a>\xD0\x91</a></r>"_ba << u"a"_s << true << u"Б"_s
                                    << false;
    QTest::newRow("missing") << "<r/>"_ba << u"a"_s << false << QString() << false;
    QTest::newRow("below a missing one") << "<r/>"_ba << u"a/b/c"_s << false << QString() << false;
    QTest::newRow("written empty") << "<r><a></a></r>"_ba << u"a"_s << false << QString() << false;
    QTest::newRow("self-closing") << "<r><a/></r>"_ba << u"a"_s << false << QString() << false;
    QTest::newRow("white space only")
        << "<r><a> \t\r\n  </a></r>"_ba << u"a"_s << false << QString() << false;
    QTest::newRow("white space character references")
        << "<r><a>&#32;&#x9;</a></r>"_ba << u"a"_s << false << QString() << false;
    QTest::newRow("no-break space is text")
        << "<r><a>\xC2\xA0</a></r>"_ba << u"a"_s << true << u"\u00A0"_s << false;
    QTest::newRow("untrimmed") << "<r><a>  7 </a></r>"_ba << u"a"_s << true << u"  7 "_s << false;
    QTest::newRow("line ends as XML reads them")
        << "<r><a>x\r\ny\rz</a></r>"_ba << u"a"_s << true << u"x\ny\nz"_s << false;
    QTest::newRow("white space between elements")
        << "<r>\n  <a>\n    <b>v</b>\n  </a>\n</r>"_ba << u"a/b"_s << true << u"v"_s << false;
    QTest::newRow("first of two") << "<r><c><u>1</u></c><c><u>2</u></c></r>"_ba << u"c/u"_s << true << u"1"_s
                                  << false;
    QTest::newRow("case matters") << "<r><Number>1</Number></r>"_ba << u"number"_s << false << QString()
                                  << false;
    QTest::newRow("non-ASCII name") << "<r><имя>v</имя></r>"_ba << u"имя"_s << true << u"v"_s << false;
    QTest::newRow("default namespace") << R"(<r xmlns="http://www.w3schools.com"><a><b>v</b></a></r>)"_ba
                                       << u"a/b"_s << true << u"v"_s << false;
    QTest::newRow("references") << "<r><a>A&amp;B &lt;&#x41;&#1041;&gt;&quot;&apos;</a></r>"_ba << u"a"_s
                                << true << u"A&B <AБ>\"'"_s << false;
    QTest::newRow("internal entity in text") << entities + "<r><a>Поставщик &org;, г. Минск</a></r>" << u"a"_s
                                             << true << u"Поставщик ООО «Ромашка», г. Минск"_s << false;
    QTest::newRow("internal entity as the text")
        << entities + "<r><a>&org;</a><b>&org;</b></r>" << u"b"_s << true << u"ООО «Ромашка»"_s << false;
    QTest::newRow("CDATA") << "<r><a><![CDATA[<b>x</b> & y]]></a></r>"_ba << u"a"_s << true
                           << u"<b>x</b> & y"_s << false;
    QTest::newRow("CDATA among white space")
        << "<r><a>\n  <![CDATA[x]]>\n</a></r>"_ba << u"a"_s << true << u"x"_s << false;
    QTest::newRow("white space only CDATA is kept")
        << "<r><a><![CDATA[  ]]></a></r>"_ba << u"a"_s << true << u"  "_s << false;

    QTest::newRow("sub-element") << "<r><a>x<b/>y</a></r>"_ba << u"a"_s << true << u"вложенный элемент «b»"_s
                                 << true;
    QTest::newRow("container") << "<r><a>\n  <b>1</b>\n</a></r>"_ba << u"a"_s << true
                               << u"вложенный элемент «b»"_s << true;
    QTest::newRow("comment") << "<r><a>12<!-- x -->34</a></r>"_ba << u"a"_s << true << u"комментарий"_s
                             << true;
    QTest::newRow("comment only") << "<r><a><!-- x --></a></r>"_ba << u"a"_s << true << u"комментарий"_s
                                  << true;
    QTest::newRow("processing instruction")
        << "<r><a>1<?note x?></a></r>"_ba << u"a"_s << true << u"инструкция обработки «note»"_s << true;
    QTest::newRow("text and CDATA") << "<r><a>x<![CDATA[y]]></a></r>"_ba << u"a"_s << true << u"несколько"_s
                                    << true;
    QTest::newRow("two adjacent CDATA")
        << "<r><a><![CDATA[x]]><![CDATA[y]]></a></r>"_ba << u"a"_s << true << u"несколько"_s << true;
    QTest::newRow("two CDATA apart") << "<r><a><![CDATA[x]]>\n<![CDATA[y]]></a></r>"_ba << u"a"_s << true
                                     << u"несколько"_s << true;
    QTest::newRow("CDATA and text in turns")
        << "<r><a><![CDATA[x]]><![CDATA[y]]>z<![CDATA[w]]><![CDATA[v]]>tail</a></r>"_ba << u"a"_s << true
        << u"несколько"_s << true;
    QTest::newRow("entity holding an element") << entities + "<r><a>&mixed;</a><b>&mixed;</b></r>" << u"b"_s
                                               << true << u"вложенный элемент «i»"_s << true;
}

void TestDocument::rules()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, path);
    QFETCH(bool, present);
    QFETCH(QString, text);
    QFETCH(bool, fails);

    InvoiceDocument document;
    document.loadBytes(xml, u"rules.xml"_s);
    const XmlElement element = document.root().at(path);
    QCOMPARE(element.present(), present);
    if (!fails) {
        QCOMPARE(element.text(), text);
        return;
    }
    const QString message = errorOf([&] { element.text(); });
    QVERIFY2(message.contains(text), qPrintable(message));
    QVERIFY2(message.contains(u"«"_s + path + u"»"_s), qPrintable(message));
}

void TestDocument::attributes_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("error");

    QTest::newRow("sender") << R"(<issuance sender="190000001"/>)"_ba << QString() << u"sender"_s
                            << u"190000001"_s << QString();
    QTest::newRow("references resolved") << R"(<issuance sender="19&#48;000001 &amp;&quot;"/>)"_ba
                                         << QString() << u"sender"_s << u"190000001 &\""_s << QString();
    QTest::newRow("empty value") << R"(<issuance sender=""/>)"_ba << QString() << u"sender"_s << QString()
                                 << QString();
    QTest::newRow("default namespace")
        << R"(<issuance xmlns="http://www.w3schools.com" sender="190000001"/>)"_ba << QString() << u"sender"_s
        << u"190000001"_s << QString();
    QTest::newRow("total") << R"(<r><roster totalCost="1890.000"/></r>)"_ba << u"roster"_s << u"totalCost"_s
                           << u"1890.000"_s << QString();
    QTest::newRow("missing") << R"(<issuance Sender="190000001"/>)"_ba << QString() << u"sender"_s
                             << QString() << u"Нет атрибута «sender» у элемента «issuance»."_s;
    QTest::newRow("missing total") << R"(<r><roster totalCost="1"/></r>)"_ba << u"roster"_s
                                   << u"totalExcise"_s << QString()
                                   << u"Нет атрибута «totalExcise» у элемента «roster»."_s;
    QTest::newRow("element missing") << R"(<r><general/></r>)"_ba << u"roster"_s << u"totalVat"_s << QString()
                                     << u"Нет атрибута «totalVat»: нет элемента «roster»."_s;
    QTest::newRow("deeper element missing") << R"(<r><general/></r>)"_ba << u"general/a/b"_s << u"x"_s
                                            << QString() << u"Нет атрибута «x»: нет элемента «general/a»."_s;
}

void TestDocument::attributes()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, path);
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(QString, error);

    InvoiceDocument document;
    document.loadBytes(xml);
    const XmlElement element = path.isEmpty() ? document.root() : document.root().at(path);
    if (error.isEmpty())
        QCOMPARE(element.attribute(name), value);
    else
        QCOMPARE(errorOf([&] { element.attribute(name); }), error);
}

void TestDocument::repetition()
{
    InvoiceDocument document;
    document.loadBytes(R"(<r><roster>
        <rosterItem><number>1</number></rosterItem>
        <!-- между позициями -->
        <note>не позиция</note>
        <?page 2?>
        <rosteritem><number>x</number></rosteritem>
        <rosterItem><number>2</number>
            <descriptions><description>EXCISE_MARK</description><!-- c --><description/></descriptions>
        </rosterItem>
    </roster><empty>   </empty></r>)");
    const XmlElement roster = document.root().child(u"roster");
    const std::vector<XmlElement> items = roster.children(u"rosterItem");
    QCOMPARE(int(items.size()), 2);
    QCOMPARE(items[0].child(u"number").text(), u"1"_s);
    QCOMPARE(items[1].child(u"number").text(), u"2"_s);
    QCOMPARE(items[1].path(), u"roster/rosterItem[2]"_s);
    // A repeated element reached by lookup is its first occurrence.
    QCOMPARE(roster.at(u"rosterItem/number").text(), u"1"_s);

    const std::vector<XmlElement> descriptions = items[1].child(u"descriptions").children(u"description");
    QCOMPARE(int(descriptions.size()), 2);
    QCOMPARE(descriptions[0].text(), u"EXCISE_MARK"_s);
    QVERIFY(!descriptions[1].present());
    QCOMPARE(descriptions[1].text(), QString());

    QVERIFY(items[0].child(u"descriptions").children(u"description").empty());
    QVERIFY(document.root().child(u"empty").children(u"x").empty());
    QVERIFY(document.root().at(u"missing/roster").children(u"rosterItem").empty());
}

void TestDocument::lookupPaths()
{
    InvoiceDocument document;
    document.load(invoicePath(u"original.xml"_s));
    const XmlElement root = document.root();
    QCOMPARE(root.name(), u"issuance"_s);
    QCOMPARE(root.path(), u"issuance"_s);
    QCOMPARE(root.at(u"provider/principal/number").path(), u"provider/principal/number"_s);
    QCOMPARE(root.at(u"deliveryCondition/contract/documents/document").path(),
             u"deliveryCondition/contract/documents/document[1]"_s);
    QCOMPARE(root.child(u"general").child(u"nope").child(u"deeper").path(), u"general/nope"_s);
    QCOMPARE(root.at(u"nope/deeper").path(), u"nope"_s);
    QVERIFY(root.at(u"nope/deeper").isNull());
    QCOMPARE(root.at(u"nope/deeper").name(), QString());
    QCOMPARE(root.at(u"general/number").text(), root.child(u"general").child(u"number").text());
    QVERIFY(InvoiceDocument().root().isNull());
    QVERIFY(!InvoiceDocument().root().child(u"general").present());
}

void TestDocument::originalValues_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("text");

    QTest::newRow("number") << u"general/number"_s << u"190000001-2022-0000001234"_s;
    QTest::newRow("no invoice") << u"general/invoice"_s << QString();
    QTest::newRow("document type") << u"general/documentType"_s << u"ORIGINAL"_s;
    QTest::newRow("provider name") << u"provider/name"_s << u"ООО «Ромашка»"_s;
    QTest::newRow("branch code") << u"provider/branchCode"_s << u"7"_s;
    QTest::newRow("vendor date") << u"provider/vendor/date"_s << u"2022-05-30"_s;
    QTest::newRow("recipient taxes") << u"recipient/taxes/number"_s << u"1911/2022/00042"_s;
    QTest::newRow("consignee") << u"senderReceiver/consignees/consignee/unp"_s << u"190666666"_s;
    QTest::newRow("contract") << u"deliveryCondition/contract/number"_s << u"Д-17/2022"_s;
    QTest::newRow("first document") << u"deliveryCondition/contract/documents/document/number"_s
                                    << u"0012345"_s;
    QTest::newRow("first document seria")
        << u"deliveryCondition/contract/documents/document/seria"_s << u"ВА"_s;
    QTest::newRow("first item") << u"roster/rosterItem/name"_s
                                << u"Бумага офисная А4, 80 г/кв. м, 500 листов"_s;
    QTest::newRow("first item VAT") << u"roster/rosterItem/vat/summaVat"_s << u"250.000"_s;
}

void TestDocument::originalValues()
{
    QFETCH(QString, path);
    QFETCH(QString, text);
    InvoiceDocument document;
    document.load(invoicePath(u"original.xml"_s));
    QCOMPARE(document.root().at(path).text(), text);
}

void TestDocument::sameInvoiceInEveryForm_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("number");
    QTest::newRow("default namespace") << u"namespaced.xml"_s << u"0000001235"_s;
    QTest::newRow("windows-1251") << u"windows1251.xml"_s << u"0000001236"_s;
    QTest::newRow("UTF-16 with BOM") << u"utf16.xml"_s << u"0000001237"_s;
}

void TestDocument::sameInvoiceInEveryForm()
{
    QFETCH(QString, file);
    QFETCH(QString, number);

    InvoiceDocument document;
    document.load(invoicePath(u"original.xml"_s));
    QStringList expected = readTree(document.root());
    QCOMPARE(expected.size(), 1 + 31 + 2 * 5 + 4 + 2 * (12 + 2));
    expected.replaceInStrings(u"0000001234"_s, number);

    document.load(invoicePath(file));
    const QStringList lines = readTree(document.root());
    for (qsizetype i = 0; i < qMin(lines.size(), expected.size()); ++i)
        QCOMPARE(lines[i], expected[i]);
    QCOMPARE(lines.size(), expected.size());
}

void TestDocument::fixedAndAdditional()
{
    InvoiceDocument document;
    document.load(invoicePath(u"fixed.xml"_s));
    XmlElement general = document.root().child(u"general");
    QCOMPARE(general.child(u"documentType").text(), u"FIXED"_s);
    QCOMPARE(general.child(u"invoice").text(), u"190000001-2022-0000001234"_s);
    QCOMPARE(general.child(u"dateCancelled").text(), u"2022-06-25"_s);

    document.load(invoicePath(u"additional.xml"_s));
    general = document.root().child(u"general");
    QCOMPARE(general.child(u"documentType").text(), u"ADDITIONAL"_s);
    QCOMPARE(general.child(u"invoice").text(), u"190000001-2022-0000001234"_s);
    QVERIFY(!general.child(u"dateCancelled").present());
    const std::vector<XmlElement> items = document.root().child(u"roster").children(u"rosterItem");
    QCOMPARE(int(items.size()), 1);
    QVERIFY(!items[0].child(u"count").present());
    QVERIFY(!items[0].child(u"descriptions").present());
    QCOMPARE(items[0].child(u"cost").text(), u"-125.000"_s);
    QCOMPARE(document.root().child(u"roster").attribute(u"totalCostVat"), u"-150.000"_s);
}

void TestDocument::badCorpus_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("read");     // "load", "sender", "totals" or the path of a text
    QTest::addColumn<QString>("expected"); // a part of the message, or the text read

    QTest::newRow("not well-formed")
        << u"not-well-formed.xml"_s << u"load"_s
        << u"строке 8: Opening and ending tag mismatch: general line 3 and generl"_s;
    QTest::newRow("billion laughs") << u"billion-laughs.xml"_s << u"load"_s << u"entity reference loop"_s;
    QTest::newRow("external entity") << u"external-entity.xml"_s << u"load"_s << u"«file:///etc/passwd»"_s;
    QTest::newRow("external parameter entity")
        << u"external-parameter-entity.xml"_s << u"load"_s << u"«file:///etc/passwd»"_s;
    QTest::newRow("no sender") << u"no-sender.xml"_s << u"sender"_s
                               << u"Нет атрибута «sender» у элемента «issuance»."_s;
    QTest::newRow("no roster") << u"no-roster.xml"_s << u"totals"_s
                               << u"Нет атрибута «totalCostVat»: нет элемента «roster»."_s;
    QTest::newRow("roster without a total")
        << u"roster-no-total.xml"_s << u"totals"_s << u"Нет атрибута «totalExcise» у элемента «roster»."_s;
    QTest::newRow("text with a sub-element")
        << u"text-with-subelement.xml"_s << u"roster/rosterItem[2]/name"_s
        << u"Текст элемента «roster/rosterItem[2]/name» не читается: в нём вложенный элемент «b»."_s;
    QTest::newRow("comment in a text")
        << u"comment-in-text.xml"_s << u"general/number"_s
        << u"Текст элемента «general/number» не читается: в нём комментарий."_s;
    QTest::newRow("two CDATA sections")
        << u"two-cdata.xml"_s << u"roster/rosterItem[2]/name"_s << u"несколько частей текста"_s;

    // These load and read as written; what they mean for the lookups is the resolution's business.
    QTest::newRow("quotes in sender")
        << u"sender-quotes.xml"_s << u"provider/unp"_s << u"text:190000001' OR '1'='1"_s;
    QTest::newRow("branch code with SQL")
        << u"branch-or.xml"_s << u"provider/branchCode"_s << u"text:7 OR 1=1"_s;
    QTest::newRow("branch code in hex") << u"branch-hex.xml"_s << u"provider/branchCode"_s << u"text:$1F"_s;
    QTest::newRow("branch code in spaces")
        << u"branch-spaces.xml"_s << u"provider/branchCode"_s << u"text: 12 "_s;
    QTest::newRow("branch code empty") << u"branch-empty.xml"_s << u"provider/branchCode"_s << u"text:"_s;
    QTest::newRow("recipient branch code with SQL")
        << u"recipient-branch-or.xml"_s << u"recipient/branchCode"_s << u"text:1 OR 1=1"_s;
}

void TestDocument::badCorpus()
{
    QFETCH(QString, file);
    QFETCH(QString, read);
    QFETCH(QString, expected);

    InvoiceDocument document;
    QElapsedTimer timer;
    timer.start();
    const QString loadError = errorOf([&] { document.load(badPath(file)); });
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    if (read == u"load") {
        QVERIFY2(loadError.contains(expected), qPrintable(loadError));
        QVERIFY2(loadError.startsWith(u"Файл «"_s + file + u"» не загружен: "_s), qPrintable(loadError));
        QVERIFY(!loadError.contains(u"root:"_s));
        QVERIFY(!document.isLoaded());
        QVERIFY(document.root().isNull());
        return;
    }
    QVERIFY2(loadError.isEmpty(), qPrintable(loadError));
    const XmlElement root = document.root();
    if (read == u"sender") {
        QCOMPARE(errorOf([&] { root.attribute(u"sender"); }), expected);
    } else if (read == u"totals") {
        QCOMPARE(
            errorOf([&] {
                for (const char16_t* total : {u"totalCostVat", u"totalExcise", u"totalVat", u"totalCost"})
                    root.child(u"roster").attribute(QStringView(total));
            }),
            expected);
    } else if (expected.startsWith(u"text:")) {
        QCOMPARE(root.at(read).text(), expected.mid(5));
    } else {
        const XmlElement element = elementAt(root, read);
        QCOMPARE(element.path(), read);
        const QString message = errorOf([&] { element.text(); });
        QVERIFY2(message.contains(expected), qPrintable(message));
    }
}

void TestDocument::hostileInput_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<bool>("mayLoad");

    QByteArray nested = R"(<issuance sender="190000001">)";
    for (int i = 0; i < 5000; ++i)
        nested += "<a>";
    nested += "x";
    for (int i = 0; i < 5000; ++i)
        nested += "</a>";
    QTest::newRow("5,000 nested elements") << nested + "</issuance>" << false;

    QTest::newRow("30 MB of items") << invoiceWithItems(30 * 1024 * 1024 / 560) << true;
    QTest::newRow("30 MB text") << R"(<issuance sender="190000001"><general><number>)" +
                                       QByteArray(30 * 1024 * 1024, '7') + "</number></general></issuance>"
                                << true;

    // One 100 KB entity used 20,000 times: 2 GB of text from a 160 KB file.
    QByteArray quadratic = "<!DOCTYPE r [<!ENTITY a \"" + QByteArray(100000, 'A') + "\">]><r><a>";
    for (int i = 0; i < 20000; ++i)
        quadratic += "&a;";
    QTest::newRow("quadratic blow-up") << quadratic + "</a></r>" << false;

    QTest::newRow("empty file") << QByteArray() << false;
    QTest::newRow("not XML") << "MZ\x90\0\3\0\0\0"_ba << false;
    QTest::newRow("wrong encoding declared")
        << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>\xCF\xF0\xE8\xE2\xE5\xF2</r>") << false;
    QTest::newRow("unknown encoding") << R"(<?xml version="1.0" encoding="x-no-such"?><r/>)"_ba << false;
    QTest::newRow("undeclared prefix") << "<r><p:a>1</p:a></r>"_ba << false;
    QTest::newRow("undefined entity") << "<r><a>&nbsp;</a></r>"_ba << false;
    QTest::newRow("two roots") << "<r/><r/>"_ba << false;
    QTest::newRow("NUL inside") << QByteArray("<r><a>1\0</a></r>", 16) << false;
}

void TestDocument::hostileInput()
{
    QFETCH(QByteArray, xml);
    QFETCH(bool, mayLoad);

    InvoiceDocument document;
    QElapsedTimer timer;
    timer.start();
    const QString message = errorOf([&] { document.loadBytes(xml, u"hostile.xml"_s); });
    QVERIFY2(timer.elapsed() < 15000, qPrintable(QString::number(timer.elapsed())));
    if (message.isEmpty()) {
        QVERIFY(mayLoad);
        QVERIFY(document.isLoaded());
        return;
    }
    QVERIFY2(message.startsWith(u"Файл «hostile.xml» не загружен: "_s), qPrintable(message));
    QVERIFY(!document.isLoaded());
}

void TestDocument::externalSubsetNotRead()
{
    // An external DTD is never fetched, so a file that names one still loads.
    InvoiceDocument document;
    document.loadBytes(R"(<!DOCTYPE issuance SYSTEM "file:///etc/passwd"><issuance sender="190000001"/>)");
    QCOMPARE(document.root().attribute(u"sender"), u"190000001"_s);
}

void TestDocument::processDefaultsDoNotCount()
{
    // Whatever else in the process changed libxml2's defaults, the parser settings stay ours.
    const int substitute = xmlSubstituteEntitiesDefault(0);
    const int blanks = xmlKeepBlanksDefault(0);
    const int loadDtd = xmlLoadExtDtdDefaultValue;
    const int validate = xmlDoValidityCheckingDefaultValue;
    xmlLoadExtDtdDefaultValue = XML_DETECT_IDS | XML_COMPLETE_ATTRS;
    xmlDoValidityCheckingDefaultValue = 1;

    InvoiceDocument document;
    const QString external = errorOf([&] { document.load(badPath(u"external-parameter-entity.xml"_s)); });
    const QString entities = errorOf([&] {
        document.loadBytes(
            R"(<!DOCTYPE r [<!ENTITY e "x"><!ATTLIST r sender CDATA "999999999">]><r> <a>&e;</a> </r>)");
    });

    xmlSubstituteEntitiesDefault(substitute);
    xmlKeepBlanksDefault(blanks);
    xmlLoadExtDtdDefaultValue = loadDtd;
    xmlDoValidityCheckingDefaultValue = validate;

    QVERIFY2(external.contains(u"file:///etc/passwd"_s), qPrintable(external));
    QVERIFY2(entities.isEmpty(), qPrintable(entities));
    QCOMPARE(document.root().child(u"a").text(), u"x"_s);
    // No attribute comes from a DTD default.
    QVERIFY(!errorOf([&] { document.root().attribute(u"sender"); }).isEmpty());
}

void TestDocument::failedLoadLeavesNoTree()
{
    InvoiceDocument document;
    document.load(invoicePath(u"original.xml"_s));
    QVERIFY(document.isLoaded());
    QVERIFY(!errorOf([&] { document.load(badPath(u"not-well-formed.xml"_s)); }).isEmpty());
    QVERIFY(!document.isLoaded());
    QVERIFY(document.root().isNull());
    QVERIFY(!document.root().at(u"general/number").present());
    QCOMPARE(errorOf([&] { document.root().attribute(u"sender"); }),
             u"Нет атрибута «sender»: документ не загружен."_s);

    document.load(invoicePath(u"original.xml"_s));
    document.clear();
    QVERIFY(document.root().isNull());
}

void TestDocument::loadingTwiceReplacesTree()
{
    InvoiceDocument document;
    document.load(invoicePath(u"original.xml"_s));
    QVERIFY(document.root().at(u"provider/principal").present());
    document.load(invoicePath(u"additional.xml"_s));
    QCOMPARE(document.root().at(u"general/number").text(), u"190000001-2022-0000001301"_s);
    QCOMPARE(int(document.root().child(u"roster").children(u"rosterItem").size()), 1);
    document.load(invoicePath(u"original.xml"_s));
    QCOMPARE(document.root().at(u"general/number").text(), u"190000001-2022-0000001234"_s);
    QCOMPARE(int(document.root().child(u"roster").children(u"rosterItem").size()), 2);
}

void TestDocument::missingFile()
{
    QTemporaryDir dir;
    InvoiceDocument document;
    const QString missing = dir.filePath(u"нет такого.xml"_s);
    QString message = errorOf([&] { document.load(missing); });
    QVERIFY2(message.startsWith(u"Файл «"_s + missing + u"» не открывается"_s), qPrintable(message));
    message = errorOf([&] { document.load(dir.path()); });
    QVERIFY2(message.contains(dir.path()), qPrintable(message));
    QVERIFY(!document.isLoaded());

    // A Cyrillic file name reads like any other.
    const QString copy = dir.filePath(u"счёт-фактура.xml"_s);
    QVERIFY(QFile::copy(invoicePath(u"windows1251.xml"_s), copy));
    document.load(copy);
    QCOMPARE(document.root().at(u"recipient/name").text(), u"ОАО «Минский завод шестерён»"_s);
}

void TestDocument::parsesOnWorkerThread()
{
    // The import parses on a worker thread; its failures stay there, silent, like on this one.
    QStringList results;
    std::thread worker([&results] {
        InvoiceDocument document;
        for (const char16_t* file : {u"not-well-formed.xml", u"external-entity.xml", u"billion-laughs.xml"})
            results << errorOf([&] { document.load(badPath(QStringView(file).toString())); });
        document.load(invoicePath(u"utf16.xml"_s));
        results << document.root().at(u"provider/name").text();
    });
    worker.join();
    QCOMPARE(results.size(), 4);
    QVERIFY(results[0].contains(u"tag mismatch"_s));
    QVERIFY(results[1].contains(u"passwd"_s));
    QVERIFY(results[2].contains(u"loop"_s));
    QCOMPARE(results[3], u"ООО «Ромашка»"_s);
}

void TestDocument::restoresErrorHandlers()
{
    g_foreignErrors = 0;
    xmlSetStructuredErrorFunc(nullptr, countForeignError);
    InvoiceDocument document;
    const QString message = errorOf([&] { document.loadBytes("<r><a></b></r>"); });
    QVERIFY(xmlStructuredError == countForeignError);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    QVERIFY(!message.isEmpty());
    QCOMPARE(g_foreignErrors, 0);
}

QTEST_APPLESS_MAIN(TestDocument)
#include "tst_document.moc"
