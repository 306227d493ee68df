#include "data/query.h"

namespace eschf {

QSqlQuery newQuery(const QSqlDatabase& db)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.setNumericalPrecisionPolicy(QSql::HighPrecision);
    return query;
}

} // namespace eschf
