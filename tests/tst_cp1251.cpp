#include "mapping/cp1251.h"
#include "mapping/invoicedocument.h"

#include <QtTest>

using namespace eschf;
using namespace Qt::StringLiterals;

class TestCp1251 : public QObject
{
    Q_OBJECT
private slots:
    void decode_data();
    void decode();
    void everyByte();
    void document_data();
    void document();
};

void TestCp1251::decode_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("room");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("consumed");
    QTest::addColumn<QString>("expected");

    QTest::newRow("ASCII") << "INV-0001"_ba << 64 << 8 << 8 << u"INV-0001"_s;
    QTest::newRow("Cyrillic") << "\xCE\xCE\xCE \xAB\xCF\xF0\xE8\xEC\xE5\xF0\xBB"_ba << 64 << 23 << 12
                              << u"ООО «Пример»"_s;
    QTest::newRow("Belarusian letters") << "\xA1\xA2\xB2\xB3\xA8\xB8"_ba << 64 << 12 << 6 << u"ЎўІіЁё"_s;
    QTest::newRow("three-byte characters") << "\xB9 \x88 \x99"_ba << 64 << 11 << 5 << u"№ € ™"_s;
    QTest::newRow("no-break space") << "1\xA0" "000"_ba << 64 << 6 << 5 << u"1\u00A0000"_s;
    // A character that does not fit is left for the next call whole, never split.
    QTest::newRow("room for one letter") << "\xC6\xF3\xEA"_ba << 3 << 2 << 1 << u"Ж"_s;
    QTest::newRow("room for none") << "\xB9"_ba << 2 << 0 << 0 << QString();
    QTest::newRow("ASCII after a letter that fits") << "\xC6z"_ba << 3 << 3 << 2 << u"Жz"_s;
    // 0x98 is the one byte without a character: the bytes before it still count.
    QTest::newRow("undefined byte") << "ab\x98"_ba << 64 << -2 << 2 << u"ab"_s;
}

void TestCp1251::decode()
{
    QFETCH(QByteArray, input);
    QFETCH(int, room);
    QFETCH(int, result);
    QFETCH(int, consumed);
    QFETCH(QString, expected);

    QByteArray out(room, '\0');
    int outlen = room;
    int inlen = int(input.size());
    const int ret = cp1251ToUtf8(reinterpret_cast<unsigned char*>(out.data()), &outlen,
                                 reinterpret_cast<const unsigned char*>(input.constData()), &inlen);
    QCOMPARE(ret, result);
    QCOMPARE(inlen, consumed);
    QCOMPARE(QString::fromUtf8(out.constData(), outlen), expected);
}

// Each defined byte gives one character, and where this Qt knows the code page it agrees.
void TestCp1251::everyByte()
{
    QStringDecoder qtDecoder("windows-1251");
    for (int byte = 1; byte < 256; ++byte) {
        if (byte == 0x98)
            continue;
        const unsigned char in = static_cast<unsigned char>(byte);
        unsigned char out[4] = {};
        int outlen = 4;
        int inlen = 1;
        QVERIFY2(cp1251ToUtf8(out, &outlen, &in, &inlen) > 0, qPrintable(QString::number(byte, 16)));
        const QString decoded = QString::fromUtf8(reinterpret_cast<const char*>(out), outlen);
        QCOMPARE(decoded.size(), 1);
        if (qtDecoder.isValid()) {
            const char raw = char(in);
            QCOMPARE(decoded, qtDecoder.decode(QByteArrayView(&raw, 1)).operator QString());
        }
    }
}

void TestCp1251::document_data()
{
    QTest::addColumn<QByteArray>("declared");
    QTest::newRow("windows-1251") << "windows-1251"_ba;
    QTest::newRow("upper case") << "WINDOWS-1251"_ba;
    QTest::newRow("cp1251") << "cp1251"_ba;
}

// The parser finds a decoder for the name however the invoice spells it, with or without iconv.
void TestCp1251::document()
{
    QFETCH(QByteArray, declared);
    const QByteArray bytes = "<?xml version=\"1.0\" encoding=\"" + declared +
                             "\"?><issuance><name>\xCE\xCE\xCE \xAB\xD1\xEE\xF0\xE0\xBB</name></issuance>";
    InvoiceDocument doc;
    doc.loadBytes(bytes, u"cp.xml"_s);
    QCOMPARE(doc.root().child(u"name").text(), u"ООО «Сора»"_s);
}

QTEST_APPLESS_MAIN(TestCp1251)
#include "tst_cp1251.moc"
