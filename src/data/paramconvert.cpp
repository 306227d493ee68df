#include "data/paramconvert.h"

#include "data/error.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace eschf {

namespace {

struct Context
{
    const QString& statement;
    const ParamDecl& decl;
    const QVariant& value;
};

QString shownValue(const QVariant& value)
{
    return value.toString();
}

[[noreturn]] void refuse(const Context& c, const QString& what)
{
    const QString value = shownValue(c.value);
    throw ParamRefused(u"%1: значение \"%2\" параметра %3 (%4) %5"_s.arg(c.statement, value, c.decl.name,
                                                                         typeName(c.decl), what),
                       value, what);
}

bool isIntegral(const QVariant& v)
{
    switch (v.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Char:
        return true;
    default:
        return false;
    }
}

bool isFloating(const QVariant& v)
{
    const int id = v.metaType().id();
    return id == QMetaType::Double || id == QMetaType::Float;
}

bool isText(const QVariant& v)
{
    const int id = v.metaType().id();
    return id == QMetaType::QString || id == QMetaType::QByteArray || id == QMetaType::QChar;
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool allDigits(QStringView s)
{
    for (QChar c : s) {
        if (!isAsciiDigit(c))
            return false;
    }
    return true;
}

// --- whole numbers

struct Range
{
    qint64 low;
    qint64 high;
};

Range rangeOf(ParamType type)
{
    switch (type) {
    case ParamType::SmallInt:
        return {std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max()};
    case ParamType::Int:
        return {std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()};
    case ParamType::TinyInt:
        return {0, 255};
    default:
        return {std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max()};
    }
}

QVariant toWholeNumber(const Context& c)
{
    const Range range = rangeOf(c.decl.type);
    // Made only when needed: this runs for every whole number of every row.
    const auto outOfRange = [&range] {
        return u"вне диапазона от %1 до %2"_s.arg(range.low).arg(range.high);
    };
    qint64 n = 0;
    if (isIntegral(c.value)) {
        if (c.value.metaType().id() == QMetaType::ULongLong || c.value.metaType().id() == QMetaType::ULong) {
            const qulonglong u = c.value.toULongLong();
            if (u > static_cast<qulonglong>(std::numeric_limits<qint64>::max()))
                refuse(c, outOfRange());
            n = static_cast<qint64>(u);
        } else {
            n = c.value.toLongLong();
        }
    } else if (isFloating(c.value)) {
        const double d = c.value.toDouble();
        // 2^63 is the first double past qint64; the one below it fits.
        if (!std::isfinite(d) || d != std::trunc(d))
            refuse(c, u"не целое число"_s);
        if (d < -9223372036854775808.0 || d >= 9223372036854775808.0)
            refuse(c, outOfRange());
        n = static_cast<qint64>(d);
    } else if (isText(c.value)) {
        const QString text = c.value.toString().trimmed();
        QStringView digits(text);
        if (!digits.isEmpty() && (digits.front() == u'+' || digits.front() == u'-'))
            digits = digits.mid(1);
        if (digits.isEmpty() || !allDigits(digits))
            refuse(c, u"не целое число"_s);
        bool ok = false;
        n = text.toLongLong(&ok, 10);
        if (!ok)
            refuse(c, outOfRange());
    } else {
        refuse(c, u"не целое число"_s);
    }
    if (n < range.low || n > range.high)
        refuse(c, outOfRange());
    if (c.decl.type == ParamType::BigInt)
        return QVariant::fromValue(static_cast<qlonglong>(n));
    return QVariant::fromValue(static_cast<int>(n));
}

// --- decimals, exact: never through a double

// Adds one unit in the last place of a string of digits; returns false on a carry out of it.
bool incrementDigits(QString& digits)
{
    for (qsizetype i = digits.size() - 1; i >= 0; --i) {
        if (digits[i] == u'9') {
            digits[i] = u'0';
        } else {
            digits[i] = QChar(digits[i].unicode() + 1);
            return true;
        }
    }
    return false;
}

QString decimalSourceText(const Context& c)
{
    if (isIntegral(c.value))
        return c.value.toString();
    if (isFloating(c.value)) {
        const double d = c.value.toDouble();
        if (!std::isfinite(d))
            refuse(c, u"не десятичное число"_s);
        // The shortest text that reads back as the same double: what the caller meant.
        return QLocale::c().toString(d, 'f', QLocale::FloatingPointShortest);
    }
    if (isText(c.value))
        return c.value.toString();
    refuse(c, u"не десятичное число"_s);
}

QVariant toDecimal(const Context& c)
{
    const QString text = decimalSourceText(c).trimmed();
    QStringView rest(text);
    bool negative = false;
    if (!rest.isEmpty() && (rest.front() == u'+' || rest.front() == u'-')) {
        negative = rest.front() == u'-';
        rest = rest.mid(1);
    }
    qsizetype sep = rest.indexOf(u'.');
    if (sep < 0)
        sep = rest.indexOf(u',');
    QStringView whole = sep < 0 ? rest : rest.left(sep);
    const QStringView fraction = sep < 0 ? QStringView() : rest.mid(sep + 1);
    if ((whole.isEmpty() && fraction.isEmpty()) || !allDigits(whole) || !allDigits(fraction))
        refuse(c, u"не десятичное число"_s);

    const int scale = c.decl.scale;
    QString digits = whole.toString() + fraction.left(scale).toString().leftJustified(scale, u'0');
    bool carry = false;
    if (fraction.size() > scale && fraction[scale] >= u'5')
        carry = !incrementDigits(digits);
    if (carry)
        digits.prepend(u'1');

    QString intPart = digits.left(digits.size() - scale);
    const QString fracPart = digits.right(scale);
    qsizetype firstSignificant = 0;
    while (firstSignificant < intPart.size() && intPart[firstSignificant] == u'0')
        ++firstSignificant;
    intPart = intPart.mid(firstSignificant);
    const int maxIntDigits = c.decl.precision - scale;
    if (intPart.size() > maxIntDigits) {
        refuse(c, u"не помещается: допустимо не более %1 цифр до запятой"_s.arg(maxIntDigits));
    }
    if (intPart.isEmpty())
        intPart = u"0"_s;
    const bool zero = intPart == u"0"_s && fracPart.count(u'0') == fracPart.size();
    QString result = (negative && !zero ? u"-"_s : QString()) + intPart;
    if (scale > 0)
        result += u'.' + fracPart;
    return result;
}

// --- datetime

// SQL Server's datetime holds no other days: the embedded database refuses them too.
QDateTime inServerRange(const Context& c, const QDate& date, const QTime& time)
{
    if (date < QDate(1753, 1, 1) || date > QDate(9999, 12, 31))
        refuse(c, u"вне диапазона дат от 1753-01-01 до 9999-12-31"_s);
    return QDateTime(date, time, Qt::UTC);
}

QVariant toDateTime(const Context& c)
{
    if (c.value.metaType().id() == QMetaType::QDate) {
        const QDate d = c.value.toDate();
        if (!d.isValid())
            refuse(c, u"не дата"_s);
        return inServerRange(c, d, QTime(0, 0));
    }
    if (c.value.metaType().id() == QMetaType::QDateTime) {
        const QDateTime dt = c.value.toDateTime();
        if (!dt.isValid())
            refuse(c, u"не дата"_s);
        return inServerRange(c, dt.date(), dt.time());
    }
    if (!isText(c.value))
        refuse(c, u"не дата"_s);

    // XML Schema's date and dateTime; the zone is dropped and the time kept as written.
    static const QRegularExpression form(u"^([0-9]{4})-([0-9]{2})-([0-9]{2})"
                                         u"(?:[T ]([0-9]{2}):([0-9]{2})(?::([0-9]{2})(?:\\.([0-9]+))?)?)?"
                                         u"(Z|[+-]([0-9]{2}):([0-9]{2}))?$"_s);
    const QRegularExpressionMatch m = form.match(c.value.toString().trimmed());
    if (!m.hasMatch())
        refuse(c, u"не дата"_s);
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const int hour = m.captured(4).toInt();
    const int minute = m.captured(5).toInt();
    const int second = m.captured(6).toInt();
    // datetime keeps thousandths; further places are cut.
    const int ms = m.captured(7).left(3).leftJustified(3, u'0').toInt();
    const QTime time(hour, minute, second, ms);
    const bool zoneOk = !m.hasCaptured(9) || (m.captured(9).toInt() <= 14 && m.captured(10).toInt() <= 59);
    if (!date.isValid() || !time.isValid() || !zoneOk)
        refuse(c, u"не дата"_s);
    return inServerRange(c, date, time);
}

// --- bit

QVariant toBit(const Context& c)
{
    if (c.value.metaType().id() == QMetaType::Bool)
        return c.value.toBool();
    if (isIntegral(c.value)) {
        const qlonglong n = c.value.toLongLong();
        if (n == 0 || n == 1)
            return n == 1;
    } else if (isText(c.value)) {
        const QString t = c.value.toString().trimmed();
        if (t == u"1"_s || t.compare(u"true"_s, Qt::CaseInsensitive) == 0)
            return true;
        if (t == u"0"_s || t.compare(u"false"_s, Qt::CaseInsensitive) == 0)
            return false;
    }
    refuse(c, u"не логическое значение"_s);
}

// A null QString would bind as NULL; an empty text has to stay an empty text.
QString nonNullText(QString s)
{
    if (s.isNull())
        return QString(u""_s);
    return s;
}

bool isNullValue(const QVariant& v)
{
    if (!v.isValid() || v.isNull())
        return true;
    // A QDateTime or QDate that is null carries no value either.
    if (v.metaType().id() == QMetaType::QDateTime)
        return v.toDateTime().isNull();
    if (v.metaType().id() == QMetaType::QDate)
        return v.toDate().isNull();
    return false;
}

} // namespace

ParamRefused::ParamRefused(QString message, QString value, QString problem)
    : Error(std::move(message)), m_value(std::move(value)), m_problem(std::move(problem))
{
}

QString typeName(const ParamDecl& decl)
{
    switch (decl.type) {
    case ParamType::SmallInt:
        return u"smallint"_s;
    case ParamType::Int:
        return u"int"_s;
    case ParamType::BigInt:
        return u"bigint"_s;
    case ParamType::TinyInt:
        return u"tinyint"_s;
    case ParamType::Bit:
        return u"bit"_s;
    case ParamType::DateTime:
        return u"datetime"_s;
    case ParamType::Decimal:
        return u"decimal(%1,%2)"_s.arg(decl.precision).arg(decl.scale);
    case ParamType::VarChar:
        return u"varchar(%1)"_s.arg(decl.precision);
    case ParamType::Untyped:
        break;
    }
    return u"без типа"_s;
}

QVariant typedNull(ParamType type)
{
    switch (type) {
    case ParamType::SmallInt:
    case ParamType::Int:
    case ParamType::TinyInt:
        return QVariant(QMetaType::fromType<int>());
    case ParamType::BigInt:
        return QVariant(QMetaType::fromType<qlonglong>());
    case ParamType::Bit:
        return QVariant(QMetaType::fromType<bool>());
    case ParamType::DateTime:
        return QVariant(QMetaType::fromType<QDateTime>());
    case ParamType::Decimal:
    case ParamType::VarChar:
    case ParamType::Untyped:
        break;
    }
    return QVariant(QMetaType::fromType<QString>());
}

QVariant convertParam(const QString& statement, const ParamDecl& decl, const QVariant& value)
{
    if (isNullValue(value))
        return typedNull(decl.type);
    const Context c{statement, decl, value};
    switch (decl.type) {
    case ParamType::SmallInt:
    case ParamType::Int:
    case ParamType::BigInt:
    case ParamType::TinyInt:
        return toWholeNumber(c);
    case ParamType::Bit:
        return toBit(c);
    case ParamType::DateTime:
        return toDateTime(c);
    case ParamType::Decimal:
        return toDecimal(c);
    case ParamType::VarChar:
        if (!value.canConvert<QString>())
            refuse(c, u"не текст"_s);
        return nonNullText(value.toString());
    case ParamType::Untyped:
        break;
    }
    if (value.metaType().id() == QMetaType::QString)
        return nonNullText(value.toString());
    return value;
}

QVariant bindingValue(const ParamDecl& decl, const QVariant& converted, Dialect dialect)
{
    if (dialect != Dialect::Sqlite || converted.isNull())
        return converted;
    switch (decl.type) {
    case ParamType::DateTime:
        return converted.toDateTime().toString(u"yyyy-MM-dd HH:mm:ss.zzz"_s);
    case ParamType::Bit:
        return converted.toBool() ? 1 : 0;
    default:
        return converted;
    }
}

} // namespace eschf
