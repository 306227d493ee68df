#pragma once

#include "data/tdm.h"

#include <QString>
#include <QVariant>

namespace eschf {

// A value a parameter cannot take. The message names the statement, the parameter and the value;
// value() and problem() say the same again for a message of the caller's own.
class ParamRefused : public Error
{
public:
    ParamRefused(QString message, QString value, QString problem);

    const QString& value() const noexcept { return m_value; }
    const QString& problem() const noexcept { return m_problem; }

private:
    QString m_value;
    QString m_problem;
};

// Converts a value handed to a statement parameter into its declared type, or throws ParamRefused naming
// the statement, the parameter and the value. The result is dialect-free: int (smallint, int,
// tinyint), qlonglong (bigint), bool (bit), QDateTime in Qt::UTC holding the time as written
// (datetime), canonical text "-123.450" with exactly the declared scale (decimal), QString
// (varchar). A null or invalid value gives typedNull().
QVariant convertParam(const QString& statement, const ParamDecl& decl, const QVariant& value);

// The NULL of a declared type: a bare QVariant() would reach SQL Server as varbinary.
QVariant typedNull(ParamType type);

// The value as it is bound for a dialect. SQLite keeps datetimes as text "YYYY-MM-DD HH:MM:SS.SSS"
// and bits as 0/1; SQL Server takes a QDateTime and a bool.
QVariant bindingValue(const ParamDecl& decl, const QVariant& converted, Dialect dialect);

// "smallint", "decimal(18,3)", "varchar(25)"...
QString typeName(const ParamDecl& decl);

} // namespace eschf
