#include "mapping/codes.h"

#include <QtTest>

using namespace eschf::codes;
using namespace Qt::StringLiterals;

using CodeList = int (*)(QStringView);
Q_DECLARE_METATYPE(CodeList)

class TestCodes : public QObject
{
    Q_OBJECT
private slots:
    void code_data();
    void code();
};

void TestCodes::code_data()
{
    QTest::addColumn<CodeList>("list");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");

    const auto rows = [](const char* listName, CodeList list, const QStringList& keywords) {
        for (int i = 0; i < keywords.size(); ++i)
            QTest::addRow("%s %s", listName, qPrintable(keywords[i])) << list << keywords[i] << i + 1;
        QTest::addRow("%s empty", listName) << list << QString() << 0;
        QTest::addRow("%s lower case", listName) << list << keywords.first().toLower() << 0;
        QTest::addRow("%s space before", listName) << list << QLatin1Char(' ') + keywords.first() << 0;
        QTest::addRow("%s space after", listName) << list << keywords.first() + QLatin1Char(' ') << 0;
        QTest::addRow("%s prefix", listName) << list << keywords.first().chopped(1) << 0;
    };
    rows("document type", DocumentTypeCode,
         {u"ORIGINAL"_s, u"ADDITIONAL"_s, u"FIXED"_s, u"ADD_NO_REFERENCE"_s});
    rows("provider status", ProviderStatusCode,
         {u"SELLER"_s, u"CONSIGNOR"_s, u"COMMISSIONAIRE"_s, u"TRUSTEE"_s, u"TAX_DEDUCTION_PAYER"_s,
          u"FOREIGN_ORGANIZATION"_s, u"AGENT"_s, u"DEVELOPER"_s});
    rows("recipient status", RecipientStatusCode,
         {u"CUSTOMER"_s, u"CONSIGNOR"_s, u"COMMISSIONAIRE"_s, u"CONSUMER"_s, u"TAX_DEDUCTION_RECIPIENT"_s,
          u"FOREIGN_ORGANIZATION_BUYER"_s});
    rows("rate type", RateTypeCode, {u"DECIMAL"_s, u"ZERO"_s, u"NO_VAT"_s, u"CALCULATED"_s});
    rows("description", DescriptionCode,
         {u"DEDUCTION_IN_FULL"_s, u"VAT_EXEMPTION"_s, u"OUTSIDE_RB"_s, u"IMPORT_VAT"_s, u"EXCISE_MARK"_s,
          u"CONTROL_MARK"_s, u"CUSTOMS_EXCISE"_s, u"IDENTIFIED_MARK"_s, u"ANALYZED_DEAL"_s});

    // Keywords of one list mean nothing in another.
    QTest::newRow("provider FOREIGN_ORGANIZATION_BUYER")
        << CodeList(ProviderStatusCode) << u"FOREIGN_ORGANIZATION_BUYER"_s << 0;
    QTest::newRow("recipient FOREIGN_ORGANIZATION")
        << CodeList(RecipientStatusCode) << u"FOREIGN_ORGANIZATION"_s << 0;
    QTest::newRow("recipient SELLER") << CodeList(RecipientStatusCode) << u"SELLER"_s << 0;
    QTest::newRow("document type SELLER") << CodeList(DocumentTypeCode) << u"SELLER"_s << 0;
    QTest::newRow("rate type ORIGINAL") << CodeList(RateTypeCode) << u"ORIGINAL"_s << 0;
    QTest::newRow("description DECIMAL") << CodeList(DescriptionCode) << u"DECIMAL"_s << 0;
    QTest::newRow("mixed case") << CodeList(DocumentTypeCode) << u"Original"_s << 0;
    QTest::newRow("newline after") << CodeList(RateTypeCode) << u"ZERO\n"_s << 0;
    QTest::newRow("Cyrillic look-alike") << CodeList(RateTypeCode) << u"ZЕRO"_s << 0;
    QTest::newRow("longer than a keyword") << CodeList(DocumentTypeCode) << u"ORIGINALS"_s << 0;
}

void TestCodes::code()
{
    QFETCH(CodeList, list);
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(list(text), expected);
}

QTEST_APPLESS_MAIN(TestCodes)
#include "tst_codes.moc"
