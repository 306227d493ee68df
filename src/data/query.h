#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>

namespace eschf {

// Every query the program runs is made here. Forward-only before it is prepared or run: a query
// that may scroll makes QODBC ask for a static cursor, which SQL Server drivers open as a server
// cursor (sp_cursoropen), refused or mishandled for anything but a SELECT. Decimals come back as
// exact text.
QSqlQuery newQuery(const QSqlDatabase& db);

} // namespace eschf
