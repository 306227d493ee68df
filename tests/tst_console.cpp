// eschf-import as a user runs it: its own copy in a folder of its own, started from elsewhere.
#include "testsupport.h"

#include <QtTest>

namespace {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

} // namespace

class TestConsole : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void settingsFileMissing_data();
    void settingsFileMissing();
    void reportsStartup_data();
    void reportsStartup();
    void failedStartup();
    void badArguments();

private:
    Run run(const QStringList& arguments, const QString& workingDirectory, bool cLocale = false) const;
    void writeGoodSettings(const QString& folder) const;

    QTemporaryDir m_dir;
    QString m_program; // the copy under test
    QString m_programDir;
    QString m_elsewhere; // a working directory with a settings file of its own
    QString m_db;
};

void TestConsole::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_programDir = m_dir.filePath(QStringLiteral("program"));
    m_elsewhere = m_dir.filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(m_programDir));
    QVERIFY(QDir().mkpath(m_elsewhere));

    QString built = QDir(QStringLiteral(ESCHF_BIN_DIR)).filePath(QStringLiteral("eschf-import"));
#ifdef Q_OS_WIN
    built += QStringLiteral(".exe");
#endif
    QVERIFY2(QFile::exists(built), qPrintable(built));
    m_program = QDir(m_programDir).filePath(QFileInfo(built).fileName());
    QVERIFY(QFile::copy(built, m_program));

    m_db = m_dir.filePath(QStringLiteral("buh.db"));
    eschf::test::createSqliteDatabase(m_db);
    eschf::test::execSqlite(m_db,
                            QStringLiteral("INSERT INTO tbPredpr (idPredpr, UNN) VALUES (1, '190555001');"
                                           "INSERT INTO tbNastrPredpr VALUES (1);"));
    // A working directory holding a settings file must not be taken for the program folder.
    writeGoodSettings(m_elsewhere);
}

void TestConsole::writeGoodSettings(const QString& folder) const
{
    eschf::test::writeSettings(QDir(folder).filePath(QStringLiteral("MdbConnect.ini")),
                               eschf::test::sqliteConnectionString(m_db),
                               m_dir.filePath(QStringLiteral("invoices")));
}

Run TestConsole::run(const QStringList& arguments, const QString& workingDirectory, bool cLocale) const
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    if (cLocale) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        env.insert(QStringLiteral("LANG"), QStringLiteral("C"));
        process.setProcessEnvironment(env);
    }
    process.start(m_program, arguments);
    Run result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    // Whatever the locale, the program writes UTF-8.
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void TestConsole::settingsFileMissing_data()
{
    QTest::addColumn<QString>("workingDirectory");
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("started elsewhere") << "elsewhere" << QStringList();
    QTest::newRow("started in the program folder") << "program" << QStringList();
    QTest::newRow("--config naming no file") << "elsewhere" << QStringList{"--config", "absent.ini"};
}

void TestConsole::settingsFileMissing()
{
    QFETCH(QString, workingDirectory);
    QFETCH(QStringList, arguments);
    QFile::remove(QDir(m_programDir).filePath(QStringLiteral("MdbConnect.ini")));
    const Run r = run(arguments, m_dir.filePath(workingDirectory));
    QCOMPARE(r.status, 2);
    QVERIFY2(r.err.startsWith(QStringLiteral("Файл MdbConnect.ini не найден.\n")), qPrintable(r.err));
    QCOMPARE(r.out, QString());
}

void TestConsole::reportsStartup_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("settingsBesideProgram");
    QTest::addColumn<bool>("cLocale");

    QTest::newRow("settings beside the program, C locale") << QStringList() << true << true;
    QTest::newRow("--config relative to the working directory")
        << QStringList{"--config", "MdbConnect.ini"} << false << false;
    QTest::newRow("--config=, with --update-old")
        << QStringList{"--update-old", "--config=" + m_elsewhere + "/MdbConnect.ini"} << false << false;
}

void TestConsole::reportsStartup()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, settingsBesideProgram);
    QFETCH(bool, cLocale);
    QFile::remove(QDir(m_programDir).filePath(QStringLiteral("MdbConnect.ini")));
    if (settingsBesideProgram)
        writeGoodSettings(m_programDir);
    eschf::test::execSqlite(
        m_db, QStringLiteral("INSERT INTO invoices (idSender, compilingYear, number, documentType, "
                             "idProvider, totalCostVat, totalExcise, totalVat, totalCost) "
                             "VALUES (1, 2022, 7, 1, 1, '0.000', '0.000', '0.000', '0.000')"));

    const Run r = run(arguments, m_elsewhere, cLocale);
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QCOMPARE(r.out, QStringLiteral("УНП своей организации: 190555001\nУдалено незавершённых ЭСЧФ: 1\n"));
    QCOMPARE(r.err, QString());
}

void TestConsole::failedStartup()
{
    const QString says = QStringLiteral("Microsoft.ACE.OLEDB.12.0");
    const QString settings = m_dir.filePath(QStringLiteral("broken.ini"));
    eschf::test::writeSettings(settings, "Provider=" + says + ";Data Source=buh.accdb;Password=zq7Secret",
                               QString());
    const Run r = run({QStringLiteral("--config"), settings}, m_elsewhere);
    QCOMPARE(r.status, 2);
    QCOMPARE(r.out, QString());
    QVERIFY2(r.err.contains(says), qPrintable(r.err));
    QVERIFY2(!r.err.contains(QStringLiteral("zq7Secret")), qPrintable(r.err));
}

void TestConsole::badArguments()
{
    const Run r = run({QStringLiteral("--no-such-option")}, m_elsewhere);
    QCOMPARE(r.status, 1);
    QVERIFY(r.err.contains(QStringLiteral("no-such-option")));
}

QTEST_GUILESS_MAIN(TestConsole)
#include "tst_console.moc"
