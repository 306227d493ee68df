#include "data/tdm.h"
#include "import/startup.h"
#include "testdatabase.h"
#include "testsupport.h"

#include <QtTest>

using namespace eschf;

namespace {

// The own organisation and what an earlier run left: invoices finished (1), finished and marked 0 by
// hand, and two never finished (NULL).
const char* const seed = R"(
INSERT INTO tbPredpr (idPredpr, UNN) VALUES (1, '190555001'), (2, '100200300'), (3, ''), (4, NULL), (5, ' 100200300');
INSERT INTO invoices (idSender, compilingYear, number, documentType, idProvider,
                      totalCostVat, totalExcise, totalVat, totalCost, completed)
VALUES (1, 2022, 1, 1, 1, '0.000', '0.000', '0.000', '0.000', 1),
       (1, 2022, 2, 1, 1, '0.000', '0.000', '0.000', '0.000', 0),
       (1, 2022, 3, 1, 1, '0.000', '0.000', '0.000', '0.000', NULL),
       (1, 2022, 4, 1, 1, '0.000', '0.000', '0.000', '0.000', NULL);
)";

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase_data();
    void init();
    void cleanup();
    void missingSettingsFile();
    void ownTaxpayerNumberDecidesDownload_data();
    void ownTaxpayerNumberDecidesDownload();
    void purgesOnlyUnfinishedInvoices();
    void failedQuerySkipsPurge_data();
    void failedQuerySkipsPurge();
    void failureNeverShowsPassword_data();
    void failureNeverShowsPassword();
    void mendsInvoiceFolder();
    void opensThroughOdbc_data();
    void opensThroughOdbc();

private:
    QString settingsWith(const QString& line1, const QString& line2 = QString());
    QString remaining(const QString& sql) const { return m_database->query(sql); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::TestDatabase> m_database;
    QString m_db; // the SQLite file
};

void TestStartup::initTestCase_data()
{
    test::addBackendRows();
}

void TestStartup::init()
{
    ESCHF_FETCH_BACKEND(backend);
    if (backend == test::Backend::MsSql &&
        QByteArray(QTest::currentTestFunction()) == "failureNeverShowsPassword")
        QSKIP("its settings name databases of their own");
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_db = m_dir->filePath(QStringLiteral("buh.db"));
    m_database = std::make_unique<test::TestDatabase>(backend, m_db);
    m_database->exec(QString::fromUtf8(seed));
}

void TestStartup::cleanup()
{
    m_database.reset();
    m_dir.reset();
}

QString TestStartup::settingsWith(const QString& line1, const QString& line2)
{
    const QString path = m_dir->filePath(QStringLiteral("MdbConnect.ini"));
    test::writeSettings(path, line1, line2);
    return path;
}

void TestStartup::missingSettingsFile()
{
    TDM dm(QStringLiteral("startup-missing"));
    const StartupState state = runStartup(dm, m_dir->filePath(QStringLiteral("MdbConnect.ini")));
    QVERIFY(!state.settingsFound);
    QVERIFY(!state.succeeded());
    QVERIFY(!state.settings && !state.connection && !state.ownUnn && !state.purged);
    QVERIFY(!dm.isOpen());
    // Nothing was purged: the database was never reached.
    QCOMPARE(remaining(QStringLiteral("SELECT count(*) FROM invoices")), QStringLiteral("4"));

    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder.ini")));
    QVERIFY(!runStartup(dm, m_dir->filePath(QStringLiteral("folder.ini"))).settingsFound);
}

void TestStartup::ownTaxpayerNumberDecidesDownload_data()
{
    QTest::addColumn<QString>("nastr"); // the tbNastrPredpr rows
    QTest::addColumn<QString>("ownUnn");
    QTest::addColumn<bool>("download");

    QTest::newRow("an ordinary organisation") << "INSERT INTO tbNastrPredpr VALUES (1)"
                                              << "190555001" << true;
    QTest::newRow("100200300 may not download") << "INSERT INTO tbNastrPredpr VALUES (2)"
                                                << "100200300" << false;
    QTest::newRow("only exactly 100200300") << "INSERT INTO tbNastrPredpr VALUES (5)"
                                            << " 100200300" << true;
    QTest::newRow("empty number") << "INSERT INTO tbNastrPredpr VALUES (3)"
                                  << "" << true;
    QTest::newRow("NULL number") << "INSERT INTO tbNastrPredpr VALUES (4)"
                                 << "" << true;
    QTest::newRow("no row in tbNastrPredpr") << ""
                                             << "" << true;
    QTest::newRow("a row naming no organisation") << "INSERT INTO tbNastrPredpr VALUES (99)"
                                                  << "" << true;
}

void TestStartup::ownTaxpayerNumberDecidesDownload()
{
    QFETCH(QString, nastr);
    QFETCH(QString, ownUnn);
    QFETCH(bool, download);
    if (!nastr.isEmpty())
        m_database->exec(nastr);

    TDM dm(QStringLiteral("startup-unn"));
    const StartupState state = runStartup(dm, settingsWith(m_database->connectionString()));
    QVERIFY2(state.succeeded(), qPrintable(state.failure));
    QCOMPARE(state.ownUnn, std::optional<QString>(ownUnn));
    QCOMPARE(state.downloadEnabled, std::optional<bool>(download));
    // Left open for the import, which reads the number again for every invoice.
    QVERIFY(dm.SelNastr.isOpen());
    if (!ownUnn.isEmpty())
        QCOMPARE(dm.SelNastr.field(u"UNN").toString(), ownUnn);
}

void TestStartup::purgesOnlyUnfinishedInvoices()
{
    m_database->exec(QStringLiteral("INSERT INTO tbNastrPredpr VALUES (1)"));
    TDM dm(QStringLiteral("startup-purge"));
    const QString settings = settingsWith(m_database->connectionString());
    const StartupState state = runStartup(dm, settings);
    QVERIFY2(state.succeeded(), qPrintable(state.failure));
    QCOMPARE(state.purged, std::optional<int>(2));
    QCOMPARE(m_database->lines(QStringLiteral("SELECT number, completed FROM invoices ORDER BY number")),
             (QStringList{QStringLiteral("1|1"), QStringLiteral("2|0")}));

    // The next start finds nothing left to purge.
    TDM again(QStringLiteral("startup-purge-again"));
    QCOMPARE(runStartup(again, settings).purged, std::optional<int>(0));
}

void TestStartup::failedQuerySkipsPurge_data()
{
    QTest::addColumn<QString>("breakage");
    QTest::addColumn<QString>("says");

    QTest::newRow("two rows in tbNastrPredpr") << "INSERT INTO tbNastrPredpr VALUES (1), (2)"
                                               << "";
    QTest::newRow("no tbNastrPredpr table") << "DROP TABLE tbNastrPredpr"
                                            << "tbNastrPredpr";
}

void TestStartup::failedQuerySkipsPurge()
{
    QFETCH(QString, breakage);
    QFETCH(QString, says);
    m_database->exec(breakage);

    TDM dm(QStringLiteral("startup-broken"));
    const StartupState state = runStartup(dm, settingsWith(m_database->connectionString()));
    QVERIFY(state.settingsFound);
    QVERIFY(!state.succeeded());
    QVERIFY(!state.failure.isEmpty());
    // What SQLite says; the server words it its own way.
    if (!m_database->isServer())
        QVERIFY2(state.failure.contains(says), qPrintable(state.failure));
    QVERIFY(state.connection);
    QVERIFY(!state.ownUnn && !state.downloadEnabled && !state.purged);
    QCOMPARE(remaining(QStringLiteral("SELECT count(*) FROM invoices")), QStringLiteral("4"));
}

void TestStartup::failureNeverShowsPassword_data()
{
    QTest::addColumn<QString>("line1");
    QTest::addColumn<bool>("translated");

    // Refused at once: nothing listens on port 1.
    QTest::newRow("SQL Server that cannot be reached")
        << "Provider=SQLOLEDB.1;Data Source=127.0.0.1,1;Initial Catalog=Buh;User ID=sa;Password=zq7Secret;"
           "Connect Timeout=5"
        << true;
    QTest::newRow("the password in the database layer's own text")
        << "Provider=SQLite;Data Source=nothing-zq7Secret.db;Password=zq7Secret" << true;
    QTest::newRow("refused before connecting")
        << "Provider=SQLOLEDB;Data Source=srv;Password='zq7Secret;User ID=sa" << false;
}

void TestStartup::failureNeverShowsPassword()
{
    QFETCH(QString, line1);
    QFETCH(bool, translated);
    TDM dm(QStringLiteral("startup-password"));
    const StartupState state = runStartup(dm, settingsWith(line1));
    QVERIFY(!state.succeeded());
    QVERIFY(!state.failure.isEmpty());
    QVERIFY2(!state.failure.contains(QStringLiteral("zq7Secret")), qPrintable(state.failure));
    QCOMPARE(bool(state.connection), translated);
    QVERIFY(!state.ownUnn && !state.purged);
}

void TestStartup::mendsInvoiceFolder()
{
    const QString folder = m_dir->filePath(QStringLiteral("ЭСЧФ"));
    QVERIFY(QDir().mkpath(folder));
    TDM dm(QStringLiteral("startup-folder"));
    const QString line1 = m_database->isServer() ? m_database->connectionString()
                                                 : test::sqliteConnectionString(QStringLiteral("buh.db"));
    const StartupState state = runStartup(dm, settingsWith(line1, folder));
    QVERIFY2(state.succeeded(), qPrintable(state.failure));
    QCOMPARE(state.settings->invoiceFolder, folder);
    QCOMPARE(state.path, folder + QDir::separator());
    // The database file is found beside the settings file, whatever the working directory.
    if (!m_database->isServer())
        QCOMPARE(state.connection->databaseName, m_db);
}

void TestStartup::opensThroughOdbc_data()
{
    QTest::addColumn<QString>("line1");
    QTest::addColumn<QString>("odbcIni"); // a user DSN file, when the line names a DSN

    QTest::newRow("Driver=") << "Driver=SQLite3;Database=%1"
                             << "";
    QTest::newRow("DSN=") << "DSN=eschf_buh"
                          << "[eschf_buh]\nDriver=SQLite3\nDatabase=%1\n";
}

void TestStartup::opensThroughOdbc()
{
    QFETCH(QString, line1);
    QFETCH(QString, odbcIni);
    if (m_database->isServer())
        QSKIP("the SQLite ODBC driver on the SQLite file; the server's rows go through ODBC throughout");
    if (!installedOdbcDrivers().contains(QStringLiteral("SQLite3")))
        QSKIP("the SQLite ODBC driver is not installed");
    if (!odbcIni.isEmpty() && test::underWine())
        QSKIP("Wine: odbc32 hands a DSN to the host's unixODBC, which reads ODBCINI from the Unix "
              "environment; a Windows program cannot set that variable");
    const QString db = test::hostPath(m_db);
    if (!odbcIni.isEmpty()) {
        const QString iniPath = m_dir->filePath(QStringLiteral("odbc.ini"));
        QFile ini(iniPath);
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(odbcIni.arg(db).toUtf8());
        ini.close();
        qputenv("ODBCINI", QFile::encodeName(iniPath));
    }
    m_database->exec(QStringLiteral("INSERT INTO tbNastrPredpr VALUES (1)"));

    StartupState state;
    {
        TDM dm(QStringLiteral("startup-odbc"));
        state = runStartup(dm, settingsWith(QString(line1).replace(QStringLiteral("%1"), db)));
    }
    qunsetenv("ODBCINI");
    QVERIFY2(state.succeeded(), qPrintable(state.failure));
    QCOMPARE(state.connection->driver, QStringLiteral("QODBC"));
    QCOMPARE(state.ownUnn, std::optional<QString>(QStringLiteral("190555001")));
    QCOMPARE(state.purged, std::optional<int>(2));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
