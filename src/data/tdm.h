#pragma once

#include "data/connection.h"
#include "data/error.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <unordered_map>
#include <vector>

namespace eschf {

class TDM;

enum class ParamType
{
    SmallInt, // 16-bit signed
    Int,      // 32-bit signed
    BigInt,   // 64-bit signed
    TinyInt,  // 0 to 255
    Bit,
    DateTime,
    Decimal, // exact, precision and scale as declared
    VarChar, // width as declared; never cut here: the database refuses what its column cannot hold
    Untyped, // takes the value as given
};

struct ParamDecl
{
    QString name; // the name callers set it by: "idSender", "[name]"
    ParamType type = ParamType::Untyped;
    int precision = 0; // decimal: digits in all; varchar: width
    int scale = 0;     // decimal: digits after the point
    bool nullable = false;
};

// Where in the invoice a parameter's value comes from: the element's path from the root as the
// file writes it and, for a row of the roster, the item's position (from 1). A failure of the
// statement names it for the operator.
struct ValueSource
{
    const char16_t* element = nullptr;
    int item = 0;
};

enum class Dialect
{
    MsSql,
    Sqlite,
};

// One named, reusable statement of the data module: a fixed text for each dialect, declared
// parameters set by name, prepared once per connection and reused.
//
// Setting a parameter converts the value to its declared type at once. A value that does not fit is
// kept as a refusal of the parameter and thrown as Error (naming the parameter and the value, and
// the value's place in the invoice when the setter gave it) when the statement runs: the statement
// is refused, not the assignment. Setting the parameter again, or to NULL, drops the refusal.
//   whole numbers  qint64 or a text of digits with an optional sign (blanks around it allowed);
//                  out of range is refused
//   decimals       a text with a point or a comma as separator, or a number; rounded half away
//                  from zero to the declared scale; too many digits before the point are refused
//   datetime       QDate, QDateTime, or a text "YYYY-MM-DD" optionally followed by a time
//                  ("THH:MM[:SS[.fff]]" or with a space for T) and a zone (Z or +HH:MM: dropped,
//                  the time kept as written); places past the thousandths are cut
//   bit            bool, 0 or 1, or the texts "true", "false", "1", "0"
//   varchar        any text, whole
//   untyped        the value as given
// A null QVariant (or setNull) gives a typed NULL. Values persist until set again.
//
// The rows of a query are read whole when it is opened, and the cursor is closed at once.
//
// Every failure of the database is thrown as Error carrying the database layer's text.
class Statement
{
public:
    Statement(TDM& owner, QString name, std::vector<ParamDecl> params, QStringList msSqlLines,
              QStringList sqliteLines);
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    const QString& name() const { return m_name; }

    void setParam(QStringView name, const QVariant& value, ValueSource source = {});
    void setNull(QStringView name);
    void setAllNull();
    // The converted value: a typed null QVariant when NULL.
    QVariant param(QStringView name) const;

    // Runs a statement that returns no rows.
    void exec();
    // Runs a query and stands on its first row (eof() when it returned none). Closes first.
    void open();
    void close();
    bool isOpen() const;
    bool eof() const;
    bool next();
    // A column of the current row, found without regard to case. Throws Error on no current row.
    QVariant field(QStringView column) const;
    int numRowsAffected() const;

    // For SelectVariousPredprs alone: the text of its next use, the same for both dialects.
    void setText(const QStringList& lines);
    // The text for the connection's dialect (or the one given): every line followed by CR LF.
    // SQLite takes the parts between empty lines one after the other.
    QString text() const;
    QString text(Dialect dialect) const;

private:
    friend class TDM;
    std::size_t indexOf(QStringView name) const;
    // SQLite prepares one statement at a time: its text is sent in parts, split at empty lines.
    struct Part
    {
        QSqlQuery query;
        std::vector<std::size_t> params; // the parameters whose placeholders stand in this part
    };

    struct Refusal
    {
        QString message;
        QString value;
        QString problem;
    };

    void prepare();
    void throwIfRefused() const;
    QString placeOf(std::size_t param) const;
    void clear(std::size_t param);
    QString refusedByDatabase(const QString& databaseText, std::size_t* param) const;
    std::optional<ValuePlace> valuePlaceOf(std::size_t param) const;
    void runParts();
    void fetchAll(QSqlQuery& query);
    void releaseQueries();
    void detach();
    Error failure(const QSqlError& error) const;

    TDM& m_owner;
    QString m_name;
    std::vector<ParamDecl> m_params;
    QStringList m_placeholders; // ":name" as it stands in the text, per parameter
    QStringList m_msSqlLines;
    QStringList m_sqliteLines;
    std::vector<QVariant> m_values;
    std::vector<ValueSource> m_sources;
    std::vector<std::optional<Refusal>> m_refusals;
    QString m_identityColumn; // read as a whole number, whatever type the server gives it
    std::vector<Part> m_parts;
    bool m_prepared = false;
    // setText's earlier texts, still prepared, by their text.
    struct PreparedText
    {
        std::vector<Part> parts;
        quint64 lastUse = 0;
    };
    static constexpr std::size_t kPreparedTextsKept = 256;
    std::unordered_map<QString, PreparedText> m_preparedTexts;
    quint64 m_textUses = 0;
    // A result set is read whole and its cursor closed at once: a SQLite statement left stepping
    // would hold its transaction open, and SQL Server serves one open result set per connection.
    bool m_open = false;
    QStringList m_columns;
    std::vector<std::vector<QVariant>> m_rows;
    std::size_t m_row = 0;
    int m_rowsAffected = -1;
};

// The data module: one connection and every statement the program runs. One TDM per thread, each
// with its own connection name (a Qt connection belongs to the thread that opened it).
class TDM
{
public:
    explicit TDM(QString connectionName = QStringLiteral("MDBConnection"));
    ~TDM();
    TDM(const TDM&) = delete;
    TDM& operator=(const TDM&) = delete;

    // Opens the connection, replacing an open one. SQLite: WAL, synchronous=FULL, foreign keys on,
    // a busy timeout; a missing file is an error. Throws Error (no password in its text).
    void open(const ConnectionParams& connection);
    void close();
    bool isOpen() const;
    Dialect dialect() const;
    QSqlDatabase database() const;
    const QString& connectionName() const { return m_connectionName; }

    void transaction();
    void commit();
    void rollback();
    // A point inside the open transaction that one file's work can be undone to, keeping the work
    // of the files before it (a check runs a whole folder in one transaction it never commits).
    void savepoint();
    void rollbackToSavepoint();
    void releaseSavepoint();

    // Statements run on this connection since it was opened (for the benchmark).
    quint64 statementsRun() const { return m_statementsRun; }

    // How long a statement waits for a lock another connection holds before it fails with
    // Error::lockTimedOut() (-1: as long as it takes, the default). Only SQL Server waits so: a
    // SQLite reader in WAL never waits for a writer.
    void setLockWait(int milliseconds);

    // False when the embedded database's file is no longer the one that was opened (deleted,
    // renamed or replaced): SQLite would go on committing into a file nobody sees. Always true
    // for a server.
    bool databaseStillThere() const;

    // Whether the open connection still answers (a server that dropped the link, a database file
    // that went away). Costs a round trip: meant for after a failure, not before every file.
    bool connectionAnswers();

    // Statements of the invoice import.
    Statement InvoicesInsert;
    Statement RosterInsert;
    Statement DescriptionsInsert;
    Statement DocumentsInsert;
    Statement DocCheck;
    Statement FindSkl;
    // Organisation resolution.
    Statement SelectVariousPredprs;
    Statement SelPredprByUnn;
    Statement qSelectInvPredpr;
    Statement FindOriginal;
    // The import run.
    Statement UpdateAsComplete;
    Statement DeleteInvoice;
    Statement Check;
    // Start-up.
    Statement SelNastr;
    Statement DelZero;
    // What DelZero would remove, for a check that must change nothing.
    Statement CountZero;
    // The branch redirection window's query.
    Statement qSelectInvPredprs;

private:
    friend class Statement;
    std::vector<Statement*> statements();
    void configureSqlite();
    void execOrThrow(const QString& text);

    QString m_connectionName;
    QSqlDatabase m_db;
    ConnectionParams m_connection;
    Dialect m_dialect = Dialect::Sqlite;
    quint64 m_statementsRun = 0;
    QString m_fileIdentity; // the SQLite file as opened, empty for a server
};

} // namespace eschf
