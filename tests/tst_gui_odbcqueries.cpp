// What the program asks of an ODBC driver, read from unixODBC's trace: every statement on a
// forward-only cursor. Any other cursor makes SQL Server drivers open a server cursor
// (sp_cursoropen), which a server refuses for anything but a SELECT.
#include "data/tdm.h"
#include "import/importrun.h"
#include "import/startup.h"
#include "invoicexml.h"
#include "mapping/invoicedocument.h"
#include "settings/invpredprsmodel.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace eschf;
using namespace eschf::test;

namespace {

class Ignore : public ImportObserver
{
public:
    void fileStarted(int) override {}
    void fileFinished(int, const FileResult&) override {}
};

} // namespace

class TestOdbcQueries : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_trace;

private slots:
    void initTestCase();
    void everyStatementOnAForwardOnlyCursor();
};

// Read by unixODBC when the first connection is made: the drivers as registered, and the trace.
void TestOdbcQueries::initTestCase()
{
#ifdef Q_OS_WIN
    QSKIP("unixODBC's trace");
#endif
    if (sqliteOdbcDriver().isEmpty())
        QSKIP("the SQLite ODBC driver is not installed");
    QFile registered(QStringLiteral("/etc/odbcinst.ini"));
    QVERIFY(registered.open(QIODevice::ReadOnly));
    m_trace = m_dir.filePath(QStringLiteral("trace.log"));
    writeText(m_dir.filePath(QStringLiteral("odbcinst.ini")),
              registered.readAll() + "\n[ODBC]\nTrace=Yes\nTraceFile=" + m_trace.toUtf8() + "\n");
    qputenv("ODBCSYSINI", QFile::encodeName(m_dir.path()));
}

// Start-up, a run with update-old, a check with its savepoints, a statement the database refuses,
// and the branch window's new, changed and deleted rows.
void TestOdbcQueries::everyStatementOnAForwardOnlyCursor()
{
    const QString db = m_dir.filePath(QStringLiteral("buh.db"));
    createSqliteDatabase(db);
    seedDirectory(db);
    const QString folder = m_dir.filePath(QStringLiteral("in")) + u'/';
    QVERIFY(QDir().mkpath(folder));
    const QString settings = m_dir.filePath(QStringLiteral("MdbConnect.ini"));
    writeSettings(settings, QStringLiteral("Driver=%1;Database=%2").arg(sqliteOdbcDriver(), hostPath(db)),
                  folder);
    InvoiceXml refused;
    refused.number = QStringLiteral("290000002-2024-0000000102");
    refused.items.front().name = QString(600, u'Я');
    writeInvoice(folder + QStringLiteral("1.xml"), InvoiceXml());
    writeInvoice(folder + QStringLiteral("2.xml"), refused);

    TDM dm(QStringLiteral("tst_odbcqueries"));
    const StartupState state = runStartup(dm, settings);
    QVERIFY2(state.succeeded(), qPrintable(state.failure));
    InvoiceDocument document;
    Ignore ignore;
    for (const RunMode mode : {RunMode::Check, RunMode::Load}) {
        ImportRun run(dm, *state.connection, document, *state.ownUnn, true, mode);
        QVERIFY(run.run(listFolder(folder, QStringLiteral("*.xml"), false), ignore));
    }

    InvPredprsModel model(dm);
    model.reload();
    model.insertNewRow(model.rowCount());
    const int row = model.editRow();
    QVERIFY(model.setData(model.index(row, InvPredprsModel::Unn), QStringLiteral("790000007")));
    QVERIFY(model.setData(model.index(row, InvPredprsModel::DopUnn), QStringLiteral("3")));
    QVERIFY(model.setData(model.index(row, InvPredprsModel::NewDopUnn), QStringLiteral("1")));
    model.post();
    QVERIFY(model.setData(model.index(row, InvPredprsModel::NewDopUnn), QStringLiteral("2")));
    model.post();
    model.deleteRow(row);
    dm.close();

    QFile trace(m_trace);
    QVERIFY2(trace.open(QIODevice::ReadOnly), "unixODBC wrote no trace");
    const QString text = QString::fromUtf8(trace.readAll());
    static const QRegularExpression cursor(
        QStringLiteral("Attribute = SQL_ATTR_CURSOR_TYPE\\s+Value = (\\S+)"));
    int statements = 0;
    for (const QRegularExpressionMatch& m : cursor.globalMatch(text)) {
        ++statements;
        QCOMPARE(m.captured(1), QStringLiteral("(nil)")); // SQL_CURSOR_FORWARD_ONLY
    }
    // Not vacuous: the statements were seen.
    QVERIFY2(statements > 20, qPrintable(QString::number(statements)));
    QVERIFY(text.contains(QStringLiteral("SAVEPOINT")));
    QVERIFY(text.contains(QStringLiteral("DELETE FROM")));
}

QTEST_MAIN(TestOdbcQueries)
#include "tst_gui_odbcqueries.moc"
