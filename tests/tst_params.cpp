// Typed parameters: what each declared type takes, how it is converted, what it refuses and how the
// refusal reads.
#include "data/error.h"
#include "data/paramconvert.h"
#include "data/tdm.h"

#include <QDateTime>
#include <QtTest>

#include <limits>

using namespace eschf;
using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(ParamType)

namespace {

QDateTime utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

} // namespace

class TestParams : public QObject
{
    Q_OBJECT

private slots:
    void conversion_data();
    void conversion();
    void nullIsTyped_data();
    void nullIsTyped();
    void bindingPerDialect();
    void statementParameters();
};

void TestParams::conversion_data()
{
    QTest::addColumn<ParamType>("type");
    QTest::addColumn<int>("precision");
    QTest::addColumn<int>("scale");
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<QVariant>("expected"); // invalid: refused

    const QVariant refused;
    const auto row = [](const char* name, ParamType t, int p, int s, const QVariant& in,
                        const QVariant& out) {
        QTest::newRow(name) << t << p << s << in << out;
    };
    const ParamType sm = ParamType::SmallInt, in = ParamType::Int, bi = ParamType::BigInt,
                    ti = ParamType::TinyInt;

    row("smallint text", sm, 5, 0, u"123"_s, 123);
    row("smallint blanks and sign", sm, 5, 0, u" -32768 "_s, -32768);
    row("smallint plus", sm, 5, 0, u"+7"_s, 7);
    row("smallint above range", sm, 5, 0, 32768, refused);
    row("smallint id above range as text", sm, 5, 0, u"40000"_s, refused);
    row("smallint letters", sm, 5, 0, u"12a"_s, refused);
    row("smallint empty", sm, 5, 0, u""_s, refused);
    row("smallint blank", sm, 5, 0, u"  "_s, refused);
    row("smallint sign alone", sm, 5, 0, u"-"_s, refused);
    row("smallint decimal text", sm, 5, 0, u"1.0"_s, refused);
    row("smallint exponent", sm, 5, 0, u"1e3"_s, refused);
    row("smallint inner blank", sm, 5, 0, u"1 2"_s, refused);
    row("smallint other digits", sm, 5, 0, u"١٢"_s, refused);
    row("smallint whole double", sm, 5, 0, 12.0, 12);
    row("smallint fraction double", sm, 5, 0, 12.5, refused);
    row("smallint bool", sm, 5, 0, true, refused);
    row("int limits", in, 10, 0, u"-2147483648"_s, std::numeric_limits<int>::min());
    row("int above", in, 10, 0, u"2147483648"_s, refused);
    row("tinyint 255", ti, 3, 0, 255, 255);
    row("tinyint 256", ti, 3, 0, 256, refused);
    row("tinyint negative", ti, 3, 0, u"-1"_s, refused);
    row("bigint leading zeros", bi, 19, 0, u"0000001234"_s, qlonglong(1234));
    row("bigint max", bi, 19, 0, u"9223372036854775807"_s, std::numeric_limits<qlonglong>::max());
    row("bigint min", bi, 19, 0, u"-9223372036854775808"_s, std::numeric_limits<qlonglong>::min());
    row("bigint above", bi, 19, 0, u"9223372036854775808"_s, refused);
    row("bigint unsigned above", bi, 19, 0, std::numeric_limits<qulonglong>::max(), refused);
    row("bigint many zeros", bi, 19, 0, u"00000000000000000000000042"_s, qlonglong(42));

    const ParamType de = ParamType::Decimal;
    row("decimal comma", de, 18, 3, u"1234,56"_s, u"1234.560"_s);
    row("decimal point", de, 18, 3, u"1234.56"_s, u"1234.560"_s);
    row("decimal half up", de, 18, 3, u"1234.5605"_s, u"1234.561"_s);
    row("decimal below half", de, 18, 3, u"1234.56049999"_s, u"1234.560"_s);
    row("decimal half away from zero", de, 18, 3, u"-1234.5605"_s, u"-1234.561"_s);
    row("decimal rounds to zero", de, 18, 3, u"-0,0004"_s, u"0.000"_s);
    row("decimal carry", de, 18, 3, u"9.9995"_s, u"10.000"_s);
    row("decimal fifteen digits", de, 18, 3, u"123456789012345.678"_s, u"123456789012345.678"_s);
    row("decimal largest", de, 18, 3, u"999999999999999.9994"_s, u"999999999999999.999"_s);
    row("decimal rounds past the width", de, 18, 3, u"999999999999999.9995"_s, refused);
    row("decimal sixteen digits", de, 18, 3, u"1234567890123456"_s, refused);
    row("decimal seventeen digits", de, 18, 3, u"12345678901234567.89"_s, refused);
    row("decimal leading zeros", de, 18, 3, u"00000000000000001.5"_s, u"1.500"_s);
    row("decimal blanks", de, 18, 3, u" 12 "_s, u"12.000"_s);
    row("decimal no whole part", de, 18, 3, u",5"_s, u"0.500"_s);
    row("decimal no fraction", de, 18, 3, u"5."_s, u"5.000"_s);
    row("decimal plus", de, 18, 3, u"+5"_s, u"5.000"_s);
    row("decimal group blank", de, 18, 3, u"1 234,5"_s, refused);
    row("decimal two separators", de, 18, 3, u"1.234,5"_s, refused);
    row("decimal exponent", de, 18, 3, u"1e5"_s, refused);
    row("decimal empty", de, 18, 3, u""_s, refused);
    row("decimal separator alone", de, 18, 3, u","_s, refused);
    row("decimal letters", de, 18, 3, u"abc"_s, refused);
    row("decimal integer", de, 18, 3, 42, u"42.000"_s);
    row("decimal double", de, 18, 3, 0.1, u"0.100"_s);
    row("decimal large double", de, 18, 3, 1e20, refused);
    row("decimal rate", de, 6, 4, u"20"_s, u"20.0000"_s);
    row("decimal rate too wide", de, 6, 4, u"100"_s, refused);
    row("decimal rate rounds too wide", de, 6, 4, u"99.99995"_s, refused);
    row("decimal count", de, 18, 4, u"12345678901234,56789"_s, u"12345678901234.5679"_s);
    row("decimal scale 0", de, 10, 0, u"2.5"_s, u"3"_s);

    const ParamType dt = ParamType::DateTime;
    row("date", dt, 23, 3, u"2022-06-20"_s, utc(2022, 6, 20));
    row("date blanks", dt, 23, 3, u" 2022-06-20 "_s, utc(2022, 6, 20));
    row("date and time", dt, 23, 3, u"2022-06-20T08:30:00"_s, utc(2022, 6, 20, 8, 30));
    row("time with space", dt, 23, 3, u"2022-06-20 08:30"_s, utc(2022, 6, 20, 8, 30));
    row("zone dropped, time kept", dt, 23, 3, u"2022-06-20T23:30:00+03:00"_s, utc(2022, 6, 20, 23, 30));
    row("zone Z", dt, 23, 3, u"2022-06-20T08:30:00Z"_s, utc(2022, 6, 20, 8, 30));
    row("date with zone", dt, 23, 3, u"2022-06-20-05:00"_s, utc(2022, 6, 20));
    row("thousandths", dt, 23, 3, u"2022-06-20T08:30:00.5"_s, utc(2022, 6, 20, 8, 30, 0, 500));
    row("finer than thousandths", dt, 23, 3, u"2022-06-20T08:30:00.123999"_s,
        utc(2022, 6, 20, 8, 30, 0, 123));
    row("date in a DST gap", dt, 23, 3, u"2022-03-27T02:30:00"_s, utc(2022, 3, 27, 2, 30));
    row("leap day", dt, 23, 3, u"2024-02-29"_s, utc(2024, 2, 29));
    row("no leap day", dt, 23, 3, u"2023-02-29"_s, refused);
    row("day 31 of June", dt, 23, 3, u"2022-06-31"_s, refused);
    row("month 13", dt, 23, 3, u"2022-13-01"_s, refused);
    row("hour 25", dt, 23, 3, u"2022-06-20T25:00:00"_s, refused);
    row("hour 24", dt, 23, 3, u"2022-06-20T24:00:00"_s, refused);
    row("zone 15 hours", dt, 23, 3, u"2022-06-20T08:30:00+15:00"_s, refused);
    row("national form", dt, 23, 3, u"20.06.2022"_s, refused);
    row("short month", dt, 23, 3, u"2022-6-20"_s, refused);
    row("empty date", dt, 23, 3, u""_s, refused);
    row("first day the server holds", dt, 23, 3, u"1753-01-01"_s, utc(1753, 1, 1));
    row("day before it", dt, 23, 3, u"1752-12-31T23:59:59"_s, refused);
    row("year 1700", dt, 23, 3, u"1700-06-20"_s, refused);
    row("year written short", dt, 23, 3, u"0202-06-20"_s, refused);
    row("QDate before 1753", dt, 23, 3, QDate(1700, 1, 1), refused);
    row("last day the server holds", dt, 23, 3, u"9999-12-31T23:59:59.997"_s,
        utc(9999, 12, 31, 23, 59, 59, 997));
    row("trailing text", dt, 23, 3, u"2022-06-20x"_s, refused);
    row("QDate", dt, 23, 3, QDate(2022, 6, 20), utc(2022, 6, 20));
    row("QDateTime", dt, 23, 3, QDateTime(QDate(2022, 6, 20), QTime(8, 30), Qt::LocalTime),
        utc(2022, 6, 20, 8, 30));
    row("number as date", dt, 23, 3, 20220620, refused);

    const ParamType bt = ParamType::Bit;
    row("bit true", bt, 0, 0, true, true);
    row("bit false", bt, 0, 0, false, false);
    row("bit text true", bt, 0, 0, u"true"_s, true);
    row("bit text False", bt, 0, 0, u"False"_s, false);
    row("bit 1", bt, 0, 0, 1, true);
    row("bit text 0", bt, 0, 0, u"0"_s, false);
    row("bit 2", bt, 0, 0, 2, refused);
    row("bit yes", bt, 0, 0, u"yes"_s, refused);
    row("bit empty", bt, 0, 0, u""_s, refused);

    const ParamType vc = ParamType::VarChar;
    row("varchar never cut", vc, 10, 0, QString(600, u'Ж'), QString(600, u'Ж'));
    row("varchar blanks kept", vc, 10, 0, u"  a  "_s, u"  a  "_s);
    row("varchar number", vc, 10, 0, 123, u"123"_s);
    row("varchar null string is empty text", vc, 10, 0, QString(), u""_s);

    const ParamType un = ParamType::Untyped;
    row("untyped text", un, 0, 0, u"0012"_s, u"0012"_s);
    row("untyped number", un, 0, 0, qlonglong(12), qlonglong(12));
}

void TestParams::conversion()
{
    QFETCH(ParamType, type);
    QFETCH(int, precision);
    QFETCH(int, scale);
    QFETCH(QVariant, input);
    QFETCH(QVariant, expected);
    const ParamDecl decl{u"totalCost"_s, type, precision, scale, false};
    if (!expected.isValid()) {
        try {
            const QVariant got = convertParam(u"InvoicesInsert"_s, decl, input);
            QFAIL(qPrintable(u"accepted as %1"_s.arg(got.toString())));
        } catch (const Error& e) {
            // Names the statement, the parameter and the value.
            QVERIFY2(e.message().contains(u"InvoicesInsert"_s), qPrintable(e.message()));
            QVERIFY2(e.message().contains(u"totalCost"_s), qPrintable(e.message()));
            QVERIFY2(e.message().contains(u'"' + input.toString() + u'"'), qPrintable(e.message()));
        }
        return;
    }
    const QVariant got = convertParam(u"InvoicesInsert"_s, decl, input);
    QCOMPARE(got.metaType(), expected.metaType());
    QCOMPARE(got, expected);
    QVERIFY(!got.isNull());
    if (type == ParamType::DateTime)
        QCOMPARE(got.toDateTime().timeSpec(), Qt::UTC);
}

void TestParams::nullIsTyped_data()
{
    QTest::addColumn<ParamType>("type");
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<int>("typeId");
    QTest::newRow("smallint") << ParamType::SmallInt << QVariant() << int(QMetaType::Int);
    QTest::newRow("bigint") << ParamType::BigInt << QVariant() << int(QMetaType::LongLong);
    QTest::newRow("tinyint") << ParamType::TinyInt << QVariant() << int(QMetaType::Int);
    QTest::newRow("bit") << ParamType::Bit << QVariant() << int(QMetaType::Bool);
    QTest::newRow("datetime") << ParamType::DateTime << QVariant() << int(QMetaType::QDateTime);
    QTest::newRow("null QDateTime") << ParamType::DateTime << QVariant(QDateTime())
                                    << int(QMetaType::QDateTime);
    QTest::newRow("decimal") << ParamType::Decimal << QVariant() << int(QMetaType::QString);
    QTest::newRow("varchar") << ParamType::VarChar << QVariant() << int(QMetaType::QString);
    QTest::newRow("untyped") << ParamType::Untyped << QVariant() << int(QMetaType::QString);
    QTest::newRow("typed null given")
        << ParamType::Int << QVariant(QMetaType::fromType<QString>()) << int(QMetaType::Int);
}

void TestParams::nullIsTyped()
{
    QFETCH(ParamType, type);
    QFETCH(QVariant, input);
    QFETCH(int, typeId);
    const QVariant got = convertParam(u"S"_s, {u"p"_s, type, 18, 3, true}, input);
    QVERIFY(got.isValid());
    QVERIFY(got.isNull());
    QCOMPARE(got.typeId(), typeId);
}

void TestParams::bindingPerDialect()
{
    const ParamDecl date{u"d"_s, ParamType::DateTime, 23, 3, true};
    const ParamDecl flag{u"b"_s, ParamType::Bit, 0, 0, true};
    const QVariant when = convertParam(u"S"_s, date, u"2022-06-20T08:30:00.5+03:00"_s);
    QCOMPARE(bindingValue(date, when, Dialect::Sqlite), QVariant(u"2022-06-20 08:30:00.500"_s));
    QCOMPARE(bindingValue(date, when, Dialect::MsSql).toDateTime().time(), QTime(8, 30, 0, 500));
    QCOMPARE(bindingValue(flag, true, Dialect::Sqlite), QVariant(1));
    QCOMPARE(bindingValue(flag, false, Dialect::Sqlite), QVariant(0));
    QCOMPARE(bindingValue(flag, true, Dialect::MsSql), QVariant(true));
    const QVariant none = typedNull(ParamType::DateTime);
    QVERIFY(bindingValue(date, none, Dialect::Sqlite).isNull());
    QCOMPARE(bindingValue(date, none, Dialect::MsSql).typeId(), int(QMetaType::QDateTime));
}

namespace {

// What running the statement throws; empty when it throws nothing of a refused value (without a
// connection it fails all the same, for another reason).
QString refusalOnRun(Statement& s)
{
    try {
        s.exec();
    } catch (const Error& e) {
        return e.message().contains(u"нет соединения"_s) ? QString() : e.message();
    }
    return QString();
}

} // namespace

// Set by name, kept until set again, reset by setAllNull; an unknown name is an error. A refused
// value refuses the statement when it runs, not the assignment.
void TestParams::statementParameters()
{
    TDM dm;
    Statement& s = dm.RosterInsert;
    s.setParam(u"[count]", u"1,5"_s);
    s.setParam(u"units", u"796"_s);
    QCOMPARE(s.param(u"[count]"), QVariant(u"1.5000"_s));
    QCOMPARE(s.param(u"units"), QVariant(796));
    s.setParam(u"units", u"муж"_s);
    QCOMPARE(refusalOnRun(s), u"RosterInsert: значение \"муж\" параметра units (smallint) не целое число"_s);
    s.setParam(u"units", u"796"_s); // set again: the refusal is gone
    QCOMPARE(refusalOnRun(s), QString());
    s.setParam(u"cost", u""_s, {u"roster/rosterItem/cost", 2});
    QCOMPARE(refusalOnRun(s), u"Позиция 2, roster/rosterItem/cost: значение «» — не десятичное число. "
                              u"Подробности: RosterInsert: значение \"\" параметра cost (decimal(18,3)) не "
                              u"десятичное число"_s);
    s.setParam(u"units", u"муж"_s);
    s.setNull(u"units");
    QVERIFY(s.param(u"units").isNull());
    QCOMPARE(s.param(u"[count]"), QVariant(u"1.5000"_s));
    s.setAllNull();
    QVERIFY(s.param(u"[count]").isNull());
    QCOMPARE(refusalOnRun(s), QString()); // cost's refusal went with it
    QVERIFY_THROWS_EXCEPTION(Error, s.setParam(u"count", 1));
    QVERIFY_THROWS_EXCEPTION(Error, s.param(u"Units"));
    // A statement needs an open connection to run.
    QVERIFY_THROWS_EXCEPTION(Error, s.open());
}

QTEST_APPLESS_MAIN(TestParams)
#include "tst_params.moc"
