// eschf-import as a user runs it: its own copy in a folder of its own, started from elsewhere.
#include "cli/consoleimport.h"
#include "data/tdm.h"
#include "import/importrun.h"
#include "import/startup.h"
#include "invoicexml.h"
#include "testsupport.h"

#include <QBuffer>
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
    void importsFolder_data();
    void importsFolder();
    void emptyFolder();
    void updateOldFromCommandLine_data();
    void updateOldFromCommandLine();
    void undeletableFile();
    void progressOnTerminal();
    void checkWithReport();
    void driverWarningsStayOffStderr();

private:
    // A database with a small directory, a settings file and an empty invoice folder of their own
    // under a sub-folder; returns the settings file. The folder's path is left in *folder.
    QString prepareImport(const QString& name, QString* folder) const;
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
    // stdout is the import's alone; the invoice folder does not exist here.
    QCOMPARE(r.out, QString());
    QCOMPARE(r.err, QStringLiteral("УНП своей организации: 190555001\nУдалено незавершённых ЭСЧФ: 1\n"
                                   "В папке нет файлов.\n"));
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
    QCOMPARE(r.status, 2);
    QVERIFY(r.err.contains(QStringLiteral("no-such-option")));
}

QString TestConsole::prepareImport(const QString& name, QString* folder) const
{
    const QString root = m_dir.filePath(name);
    QDir(root).removeRecursively();
    *folder = QDir(root).filePath(QStringLiteral("Счета за июнь")) + u'/';
    QDir().mkpath(*folder);
    const QString db = QDir(root).filePath(QStringLiteral("buh.db"));
    eschf::test::createSqliteDatabase(db);
    eschf::test::execSqlite(db,
                            QStringLiteral("INSERT INTO tbPredpr (idPredpr, UNN) VALUES (1, '190000001'), "
                                           "(2, '290000002'); INSERT INTO tbNastrPredpr VALUES (1);"));
    const QString settings = QDir(root).filePath(QStringLiteral("MdbConnect.ini"));
    eschf::test::writeSettings(settings, eschf::test::sqliteConnectionString(db), *folder);
    return settings;
}

void TestConsole::importsFolder_data()
{
    QTest::addColumn<QStringList>("files"); // E: an invoice, F: the same again, C: no document, I: broken
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("lines"); // what stdout says for each file, "PATH" for its own path
    QTest::addColumn<QString>("summary");
    QTest::addColumn<int>("reasons"); // lines on stderr after the start-up's two

    const QString loaded = QStringLiteral("Загружен в базу - удалён");
    QTest::newRow("all loaded") << QStringList{"E", "E"} << 0 << QStringList{loaded, loaded}
                                << "Загружено: 2\nОшибки: 0\nПропущено: 0\n"
                                << 0;
    QTest::newRow("loaded and already there")
        << QStringList{"E", "F"} << 0 << QStringList{loaded, "Уже существует - удалён"}
        << "Загружено: 1\nОшибки: 0\nПропущено: 1\n"
        << 0;
    QTest::newRow("no document to match")
        << QStringList{"C", "E"} << 1
        << QStringList{"У ЭСЧФ - 290000002-2024-0000000100 - нет документа для сверки.", loaded}
        << "Загружено: 1\nОшибки: 1\nПропущено: 0\n"
        << 0;
    QTest::newRow("not an invoice") << QStringList{"I", "E"} << 1 << QStringList{"PATH", loaded}
                                    << "Загружено: 1\nОшибки: 1\nПропущено: 0\n"
                                    << 1;
}

void TestConsole::importsFolder()
{
    QFETCH(QStringList, files);
    QFETCH(int, status);
    QFETCH(QStringList, lines);
    QFETCH(QString, summary);
    QFETCH(int, reasons);

    QString folder;
    const QString settings = prepareImport(QStringLiteral("import"), &folder);
    QStringList paths;
    for (int i = 0; i < files.size(); ++i) {
        const QString path = folder + QStringLiteral("%1.xml").arg(i);
        eschf::test::InvoiceXml invoice;
        invoice.number = QStringLiteral("290000002-2024-00000001%1")
                             .arg(files.at(i) == u"F" ? i - 1 : i, 2, 10, QLatin1Char('0'));
        if (files.at(i) == u"C")
            invoice.deliveryCondition = false;
        if (files.at(i) == u"I")
            eschf::test::writeText(path, "<issuance sender=\"290000002\">");
        else
            eschf::test::writeInvoice(path, invoice);
        paths << path;
    }

    // A C locale: the output is UTF-8 all the same, the Cyrillic folder name included.
    const Run r = run({QStringLiteral("--config"), settings}, m_elsewhere, true);
    QCOMPARE(r.status, status);
    QString expected;
    for (int i = 0; i < paths.size(); ++i)
        expected += paths.at(i) + u'\t' + (lines.at(i) == u"PATH" ? paths.at(i) : lines.at(i)) + u'\n';
    expected += QStringLiteral("Загрузка закончена.\n") + summary;
    QCOMPARE(r.out, expected);

    QStringList err = r.err.split(u'\n', Qt::SkipEmptyParts);
    QVERIFY2(err.size() == 2 + reasons, qPrintable(r.err));
    for (int i = 0; i < paths.size(); ++i) {
        const bool stays = lines.at(i) == u"PATH";
        QCOMPARE(QFile::exists(paths.at(i)), stays || files.at(i) == u"C");
        if (stays)
            QVERIFY2(err.at(2).startsWith(paths.at(i) + QStringLiteral(": ")) &&
                         err.at(2).size() > paths.at(i).size() + 2,
                     qPrintable(r.err));
    }
}

void TestConsole::emptyFolder()
{
    QString folder;
    const QString settings = prepareImport(QStringLiteral("empty"), &folder);
    eschf::test::writeText(folder + QStringLiteral("notes.txt"), "not an invoice");
    const Run r = run({QStringLiteral("--config"), settings}, m_elsewhere);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QString());
    QVERIFY2(r.err.endsWith(QStringLiteral("\nВ папке нет файлов.\n")), qPrintable(r.err));
}

void TestConsole::updateOldFromCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("line");
    QTest::newRow("without --update-old") << QStringList() << "Уже существует - удалён";
    QTest::newRow("with --update-old") << QStringList{"--update-old"} << "Загружен в базу - удалён";
}

void TestConsole::updateOldFromCommandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, line);

    QString folder;
    const QString settings = prepareImport(QStringLiteral("update-old"), &folder);
    const QString path = folder + QStringLiteral("invoice.xml");
    eschf::test::writeInvoice(path, eschf::test::InvoiceXml());
    QCOMPARE(run({QStringLiteral("--config"), settings}, m_elsewhere).status, 0);

    eschf::test::writeInvoice(path, eschf::test::InvoiceXml());
    const Run r = run(arguments << QStringLiteral("--config") << settings, m_elsewhere);
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.startsWith(path + u'\t' + line + u'\n'), qPrintable(r.out));
}

void TestConsole::undeletableFile()
{
    QString folder;
    const QString settings = prepareImport(QStringLiteral("undeletable"), &folder);
    const QString path = folder + QStringLiteral("invoice.xml");
    eschf::test::writeInvoice(path, eschf::test::InvoiceXml());
    eschf::test::FolderLock lock(folder);
    if (!lock.locked())
        QSKIP("this file system lets every file be deleted");

    const Run r = run({QStringLiteral("--config"), settings}, m_elsewhere);
    QCOMPARE(r.status, 1);
    QCOMPARE(r.out, path + u'\t' + path +
                        QStringLiteral("\nЗагрузка закончена.\nЗагружено: 0\nОшибки: 0\nПропущено: 0\n"));
    QVERIFY2(r.err.contains(u'\n' + path + QStringLiteral(": ")), qPrintable(r.err));
    QVERIFY(QFile::exists(path));
}

// --check changes neither the database nor the folder, skips the purge and says what it would
// remove; --report writes a row per file, and one that cannot be written stops it all first.
void TestConsole::checkWithReport()
{
    QString folder;
    const QString settings = prepareImport(QStringLiteral("check"), &folder);
    const QString db = QFileInfo(settings).dir().filePath(QStringLiteral("buh.db"));
    eschf::test::execSqlite(db,
                            QStringLiteral("INSERT INTO invoices (idSender, compilingYear, number, "
                                           "documentType, idProvider, totalCostVat, totalExcise, totalVat, "
                                           "totalCost) VALUES (2, 2023, 1, 1, 2, '0', '0', '0', '0')"));
    const QString loads = folder + QStringLiteral("1.xml");
    eschf::test::writeInvoice(loads, eschf::test::InvoiceXml());
    const QString broken = folder + QStringLiteral("2.xml");
    eschf::test::writeText(broken, "<issuance");

    const QString unwritable = m_dir.filePath(QStringLiteral("no-such-folder/report.csv"));
    Run r = run({QStringLiteral("--config"), settings, QStringLiteral("--report"), unwritable}, m_elsewhere);
    QCOMPARE(r.status, 2);
    QVERIFY2(r.err.contains(QStringLiteral("Не удалось записать отчёт")), qPrintable(r.err));
    QVERIFY(QFile::exists(loads));

    const QString report = m_dir.filePath(QStringLiteral("check-report.csv"));
    r = run(
        {QStringLiteral("--config"), settings, QStringLiteral("--check"), QStringLiteral("--report"), report},
        m_elsewhere);
    QCOMPARE(r.status, 1);
    QCOMPARE(r.out,
             loads + QStringLiteral("\tБудет загружен\n") + broken + u'\t' + broken +
                 QStringLiteral("\nПроверка закончена.\nБудет загружено: 1\nОшибки: 1\nУже в базе: 0\n"));
    QVERIFY2(r.err.contains(QStringLiteral("Незавершённых ЭСЧФ, которые загрузка удалит: 1")),
             qPrintable(r.err));
    QVERIFY(QFile::exists(loads) && QFile::exists(broken));
    QCOMPARE(eschf::test::querySqlite(db, QStringLiteral("SELECT count(*) FROM invoices")),
             QStringLiteral("1"));
    QFile csv(report);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = csv.readAll().split('\n');
    QCOMPARE(rows.size(), 4); // header, two files, nothing after the last CRLF
    QVERIFY(rows.at(1).startsWith("\"1.xml\";\"290000002-2024-0000000101\";\"E\";"));
}

// Through ODBC a refused statement makes Qt's driver warn; stderr still holds the program's lines
// alone, the driver's text once, inside the file's reason.
void TestConsole::driverWarningsStayOffStderr()
{
    const QString driver = eschf::test::sqliteOdbcDriver();
    if (driver.isEmpty())
        QSKIP("the SQLite ODBC driver is not installed");
    QString folder;
    const QString settings = prepareImport(QStringLiteral("driver-warnings"), &folder);
    const QString db = QFileInfo(settings).dir().filePath(QStringLiteral("buh.db"));
    eschf::test::writeSettings(
        settings, QStringLiteral("Driver=%1;Database=%2").arg(driver, eschf::test::hostPath(db)), folder);
    eschf::test::InvoiceXml refused;
    refused.items.front().name = QString(600, u'Я'); // wider than its column
    const QString path = eschf::test::writeInvoice(folder + QStringLiteral("invoice.xml"), refused);

    const Run r = run({QStringLiteral("--config"), settings}, m_elsewhere);
    QCOMPARE(r.status, 1);
    const QStringList err = r.err.split(u'\n', Qt::SkipEmptyParts);
    QVERIFY2(err.size() == 3, qPrintable(r.err));
    QVERIFY2(err.at(2).startsWith(path + QStringLiteral(": Позиция 1, roster/rosterItem/name")),
             qPrintable(r.err));
}

void TestConsole::progressOnTerminal()
{
    QString folder;
    const QString settings = prepareImport(QStringLiteral("progress"), &folder);
    eschf::test::InvoiceXml invoice;
    eschf::test::writeInvoice(folder + QStringLiteral("a.xml"), invoice);
    invoice.number = QStringLiteral("290000002-2024-0000000102");
    eschf::test::writeInvoice(folder + QStringLiteral("b.xml"), invoice);

    eschf::TDM dm(QStringLiteral("tst_console"));
    const eschf::StartupState state = eschf::runStartup(dm, settings);
    QVERIFY2(state.succeeded(), qPrintable(state.failure));
    QBuffer outBuffer;
    QBuffer errBuffer;
    outBuffer.open(QIODevice::WriteOnly);
    errBuffer.open(QIODevice::WriteOnly);
    QTextStream out(&outBuffer);
    QTextStream err(&errBuffer);
    eschf::ConsoleImport import(out, err, true);
    QCOMPARE(import.run(dm, state, false, eschf::RunMode::Load), int(eschf::ExitClean));

    // Each progress line is wiped before a file's line, so nothing of it stays on the screen.
    const QString blank = u'\r' + QString(QStringLiteral("Загрузка: 1 из 2").size(), u' ') + u'\r';
    QCOMPARE(QString::fromUtf8(errBuffer.data()),
             QStringLiteral("\rЗагрузка: 1 из 2") + blank + QStringLiteral("\rЗагрузка: 2 из 2") + blank);
    QVERIFY(QString::fromUtf8(outBuffer.data()).endsWith(QStringLiteral("Пропущено: 0\n")));
}

QTEST_GUILESS_MAIN(TestConsole)
#include "tst_console.moc"
