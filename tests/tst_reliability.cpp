// eschf-import as a scheduled run meets it at its worst: killed at any moment, the database busy,
// refusing writes or gone for a while, and a second run on the same folder at once. Whatever
// happens, every invoice ends up stored exactly once with exactly its rows, no file goes before its
// invoice is stored, and a later run loads whatever was left. On SQLite, and on the SQL Server that
// ESCHF_TEST_MSSQL names, where a session ended from outside takes the place of the file moved away.
//
// The sizes come from the environment, so that scripts/reliability.sh runs the same scenarios
// large: ESCHF_RELIABILITY_FILES (invoices, default 300), ESCHF_RELIABILITY_KILLS (default 20) and
// ESCHF_RELIABILITY_SEED. Every scenario logs one line of figures that begins with "figures: ".
#include "data/error.h"
#include "invoicexml.h"
#include "testdatabase.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlError>
#include <QtTest>

#include <algorithm>
#include <array>
#include <functional>
#include <optional>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

using namespace eschf::test;

namespace {

const QString kLoaded = QStringLiteral("Загружен в базу - удалён");
constexpr int kBusyTimeoutMs = 5000; // what the program waits for a lock before it gives up

int environmentNumber(const char* name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

// Invoice i of a scenario: two suppliers, one of them through a redirected branch, one invoice in
// ten from the own organisation, one to five items with none, one or two descriptions each.
InvoiceXml invoiceFor(int i)
{
    InvoiceXml invoice;
    if (i % 10 == 9) {
        invoice.sender = invoice.providerUnp = QStringLiteral("190000001");
        invoice.recipientUnp = QStringLiteral("290000002");
        invoice.consigneeUnp = QStringLiteral("690000006");
    } else if (i % 3 == 1) {
        invoice.sender = invoice.providerUnp = QStringLiteral("390000003");
        invoice.providerBranch = QStringLiteral("5");
    }
    invoice.number = *invoice.sender + QStringLiteral("-2024-%1").arg(i + 1, 10, 10, QLatin1Char('0'));
    invoice.documents.front().number = QString::number(10000 + i);
    invoice.items.clear();
    const QList<QStringList> descriptions = {
        {},
        {QStringLiteral("DEDUCTION_IN_FULL")},
        {QStringLiteral("VAT_EXEMPTION"), QStringLiteral("ANALYZED_DEAL")}};
    for (int j = 0; j < 1 + i % 5; ++j) {
        ItemXml item;
        item.number = QString::number(j + 1);
        item.name = QStringLiteral("Товар %1 по ЭСЧФ %2").arg(j + 1).arg(i + 1);
        item.cost = QStringLiteral("%1.00").arg(100 + i + j);
        if (!descriptions.at((i + j) % 3).isEmpty())
            item.descriptions = descriptions.at((i + j) % 3);
        invoice.items.push_back(item);
    }
    return invoice;
}

// The stored key of invoice i, as storedInvoices() writes it.
QString keyFor(int i)
{
    const int sender = i % 10 == 9 ? 1 : i % 3 == 1 ? 4 : 2;
    return QStringLiteral("%1-2024-%2").arg(sender).arg(i + 1);
}

QString fileName(int i)
{
    return QStringLiteral("%1.xml").arg(i, 5, 10, QLatin1Char('0'));
}

QString joined(const QStringList& row, qsizetype from)
{
    return row.mid(from).join(u'|');
}

// The key columns each of storedInvoices()' queries begins with.
const QString kKeyColumns = QStringLiteral("idSender, compilingYear, number");
constexpr qsizetype kKeySize = 3;

QString keyOf(const QStringList& row)
{
    return row.mid(0, kKeySize).join(u'-');
}

// What is stored of each invoice, by idSender-year-number: its header, its items in the order they
// were written with their descriptions, its documents. Ids the database hands out are left out.
// A server table keeps no order of writing: there descriptions and documents go by their values.
QMap<QString, QString> storedInvoices(const TestDatabase& db)
{
    QMap<QString, QString> stored;
    for (const QStringList& row :
         db.select(QStringLiteral("SELECT %1, * FROM invoices").arg(kKeyColumns)).rows)
        stored[keyOf(row)] += QStringLiteral("header ") + joined(row, kKeySize);

    QMultiMap<QString, QString> descriptions; // by item id, in the order written
    const Rows descriptionRows =
        db.select(QStringLiteral("SELECT idStr, idDesc FROM descriptions ORDER BY %1")
                      .arg(db.isServer() ? QStringLiteral("idStr, idDesc") : QStringLiteral("rowid")));
    for (const QStringList& row : descriptionRows.rows)
        descriptions.insert(row.at(0), row.at(1));
    // idStr comes first of the roster's own columns: what follows it is the item.
    const Rows items = db.select(QStringLiteral("SELECT %1, * FROM roster ORDER BY idStr").arg(kKeyColumns));
    for (const QStringList& row : items.rows) {
        QStringList codes = descriptions.values(row.at(kKeySize));
        std::reverse(codes.begin(), codes.end()); // QMultiMap gives the latest first
        stored[keyOf(row)] += QStringLiteral("\nitem ") + joined(row, kKeySize + 1) +
                              QStringLiteral(" described ") + codes.join(u',');
    }
    const Rows documents =
        db.select(QStringLiteral("SELECT %1, * FROM documents ORDER BY %2")
                      .arg(kKeyColumns, db.isServer() ? kKeyColumns + QStringLiteral(", code, docNumber")
                                                      : QStringLiteral("rowid")));
    for (const QStringList& row : documents.rows)
        stored[keyOf(row)] += QStringLiteral("\ndocument ") + joined(row, kKeySize);
    return stored;
}

// What one run wrote: its file lines, the reasons on stderr, the summary, the exit status.
struct Finished
{
    int status = -1;
    QMap<QString, QString> lines;   // by path: the file's log line at its end
    QMap<QString, QString> reasons; // by path
    int loaded = -1;
    int errors = -1;
    int skipped = -1;

    QStringList failed() const // files whose line kept their path
    {
        QStringList paths;
        for (auto it = lines.cbegin(); it != lines.cend(); ++it) {
            if (it.value() == it.key())
                paths.append(it.key());
        }
        return paths;
    }
};

int summaryNumber(const QString& out, const QString& label)
{
    const qsizetype at = out.lastIndexOf(u'\n' + label);
    if (at < 0)
        return -1;
    const qsizetype from = at + 1 + label.size();
    return out.mid(from, out.indexOf(u'\n', from) - from).toInt();
}

// One eschf-import process.
class Import
{
public:
    Import(const QString& program, const QString& settings)
    {
        m_process.setProgram(program);
        m_process.setArguments({QStringLiteral("--config"), settings});
        // Through a file: under Wine a line written to a pipe that is not read until the end was
        // sometimes lost while stdout was waited on (a plain child program loses it as well).
        m_process.setStandardErrorFile(m_errDir.filePath(QStringLiteral("stderr.txt")));
        m_process.start();
        m_process.waitForStarted();
    }
    ~Import()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    bool running() const { return m_process.state() == QProcess::Running; }

    // Reads until `count` more files have ended, the process ended, or `ms` passed.
    void waitForFiles(int count, int ms = 60000)
    {
        const int target = m_lines + count;
        readUntil([&] { return m_lines >= target; }, ms);
    }

    // Reads until a file ends that kept its path (it failed), the process ended, or `ms` passed.
    void waitForFailedFile(int ms = 60000)
    {
        readUntil([this] { return hasFailedFile(); }, ms);
    }

    // Goes on reading for `ms` or until the process ended, so that it is never held up by a full
    // pipe.
    void keepReading(int ms)
    {
        readUntil([] { return false; }, ms);
    }

    // Kills the process where it stands; false when it had ended by then.
    bool kill()
    {
        const bool wasRunning = running();
        m_process.kill();
        m_process.waitForFinished();
        return wasRunning && m_process.exitStatus() == QProcess::CrashExit;
    }

    void pause() { sendStop(true); }
    void resume() { sendStop(false); }

    Finished finish()
    {
        m_process.waitForFinished(600000);
        m_out += m_process.readAllStandardOutput();
        Finished finished;
        finished.status = m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
        const QString out = QString::fromUtf8(m_out);
        for (const QString& line : out.split(u'\n')) {
            const qsizetype tab = line.indexOf(u'\t');
            if (tab > 0)
                finished.lines.insert(line.left(tab), line.mid(tab + 1));
        }
        QFile errFile(m_errDir.filePath(QStringLiteral("stderr.txt")));
        const QString err =
            errFile.open(QIODevice::ReadOnly) ? QString::fromUtf8(errFile.readAll()) : QString();
        for (const QString& line : err.split(u'\n')) {
            for (auto it = finished.lines.cbegin(); it != finished.lines.cend(); ++it) {
                if (line.startsWith(it.key() + QStringLiteral(": ")))
                    finished.reasons.insert(it.key(), line.mid(it.key().size() + 2));
            }
        }
        finished.loaded = summaryNumber(out, QStringLiteral("Загружено: "));
        finished.errors = summaryNumber(out, QStringLiteral("Ошибки: "));
        finished.skipped = summaryNumber(out, QStringLiteral("Пропущено: "));
        // A folder emptied by another run before this one listed it: nothing to count, no summary.
        if (finished.lines.isEmpty() && err.split(u'\n').contains(QStringLiteral("В папке нет файлов.")))
            finished.loaded = finished.errors = finished.skipped = 0;
        return finished;
    }

private:
    void readUntil(const std::function<bool()>& done, int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done() && running() && !clock.hasExpired(ms))
            read(int(qMax<qint64>(1, ms - clock.elapsed())));
    }

    void read(int ms)
    {
        if (m_process.bytesAvailable() == 0)
            m_process.waitForReadyRead(ms);
        const QByteArray chunk = m_process.readAllStandardOutput();
        m_lines += int(chunk.count('\n'));
        m_out += chunk;
    }

    bool hasFailedFile()
    {
        for (;;) {
            const qsizetype end = m_out.indexOf('\n', m_scanned);
            if (end < 0)
                return false;
            const QByteArray line = m_out.mid(m_scanned, end - m_scanned);
            m_scanned = end + 1;
            const qsizetype tab = line.indexOf('\t');
            if (tab > 0 && line.left(tab) == line.mid(tab + 1))
                return true;
        }
    }

    void sendStop([[maybe_unused]] bool stop)
    {
#ifdef Q_OS_UNIX
        ::kill(pid_t(m_process.processId()), stop ? SIGSTOP : SIGCONT);
#endif
    }

    QTemporaryDir m_errDir;
    QProcess m_process;
    QByteArray m_out;
    int m_lines = 0;
    qsizetype m_scanned = 0; // how far hasFailedFile() has looked
};

void spinMicroseconds(int us)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.nsecsElapsed() < qint64(us) * 1000) {
    }
}

// What the database and the folder show against the invoices as an undisturbed run stores them:
// the invoices (by index) that went wrong in each way.
struct Audit
{
    QSet<int> lost;           // neither stored nor left in the folder
    QSet<int> doubled;        // stored with more rows than it has
    QSet<int> wrong;          // stored otherwise than the undisturbed run stores it
    QSet<int> earlyDeletions; // the file gone, the invoice not (completely) stored
    int halfWritten = 0;      // invoices not marked complete
    int strayRows = 0;        // rows of no invoice of the folder
    int filesLeft = 0;
    int stored = 0;

    bool clean() const
    {
        return lost.isEmpty() && doubled.isEmpty() && wrong.isEmpty() && earlyDeletions.isEmpty() &&
               halfWritten == 0 && strayRows == 0;
    }
    // Gathers what several moments showed.
    void add(const Audit& other)
    {
        lost += other.lost;
        doubled += other.doubled;
        wrong += other.wrong;
        earlyDeletions += other.earlyDeletions;
        halfWritten = qMax(halfWritten, other.halfWritten);
        strayRows = qMax(strayRows, other.strayRows);
    }
};

} // namespace

class TestReliability : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase_data();
    void initTestCase();
    void init();
    void cleanup();

    void killedAtAnyMoment();
    void databaseBusy();
    void writesRefused();
    void databaseFileAway();
    void sessionEndedFromOutside();
    void twoRunsAtOnce();

private:
    // A fresh database with the directory, an empty folder and a settings file for both.
    void setUp();
    void prepare(int files);
    QString path(int i) const { return m_folder + fileName(i); }
    Finished runToEnd() const { return Import(m_program, m_settings).finish(); }
    Audit audit() const;
    // The files that ended without their invoice, checked against the database: each still there,
    // nothing of it stored, and a reason given.
    void verifyFailedFilesStayed(const Finished& run, const QString& reasonPart) const;
    // A later run loads whatever was left, and then everything is as an undisturbed run leaves it.
    void verifyNextRunLoadsTheRest() const;
    bool moveDatabaseAwayAndBack(Finished* finished, int* loadedAfter);
    // Ends the server sessions that name themselves `program`; how many, or an empty value with
    // the server's reason when it may not.
    std::optional<int> endSessionsOf(const QString& program, QString* refusal) const;
    static int loadedAfterLastFailure(const Finished& finished);
    static void figures(const QString& line);

    QString m_program;
    int m_files = 300;
    int m_kills = 20;
    quint32 m_seed = 20261209;
    Backend m_backend = Backend::Sqlite;
    // Every invoice as an undisturbed run stores it, on each backend.
    QMap<Backend, QMap<QString, QString>> m_references;
    QMap<QString, QString> m_reference; // the row's

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TestDatabase> m_database;
    QString m_db; // the SQLite file
    QString m_folder;
    QString m_settings;
    int m_prepared = 0;
};

void TestReliability::initTestCase_data()
{
    addBackendRows();
}

void TestReliability::initTestCase()
{
    m_program = QDir(QStringLiteral(ESCHF_BIN_DIR)).filePath(QStringLiteral("eschf-import"));
#ifdef Q_OS_WIN
    m_program += QStringLiteral(".exe");
#endif
    QVERIFY2(QFile::exists(m_program), qPrintable(m_program));
    m_files = environmentNumber("ESCHF_RELIABILITY_FILES", m_files);
    m_kills = environmentNumber("ESCHF_RELIABILITY_KILLS", m_kills);
    m_seed = quint32(environmentNumber("ESCHF_RELIABILITY_SEED", int(m_seed)));
    qInfo("%d invoices, %d kills, seed %u", m_files, m_kills, m_seed);
}

void TestReliability::init()
{
    ESCHF_FETCH_BACKEND(backend);
    m_backend = backend;
    if (!m_references.contains(backend)) {
        // The reference: the same invoices loaded by one run that nothing disturbs.
        setUp();
        prepare(m_files);
        const Finished reference = runToEnd();
        QCOMPARE(reference.status, 0);
        QCOMPARE(reference.loaded, m_files);
        const QMap<QString, QString> stored = storedInvoices(*m_database);
        QCOMPARE(stored.size(), qsizetype(m_files));
        m_references.insert(backend, stored);
        cleanup();
    }
    m_reference = m_references.value(backend);
    setUp();
}

void TestReliability::setUp()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_db = m_dir->filePath(QStringLiteral("eschf.db"));
    m_folder = m_dir->filePath(QStringLiteral("in")) + u'/';
    m_settings = m_dir->filePath(QStringLiteral("MdbConnect.ini"));
    QVERIFY(QDir().mkpath(m_folder));
    m_database.reset();
    m_database = std::make_unique<TestDatabase>(m_backend, m_db);
    m_database->seedDirectory();
    writeSettings(m_settings, m_database->connectionString(), m_folder);
}

void TestReliability::cleanup()
{
    m_database.reset();
    m_dir.reset();
}

void TestReliability::prepare(int files)
{
    m_prepared = files;
    for (int i = 0; i < files; ++i)
        writeInvoice(path(i), invoiceFor(i));
}

Audit TestReliability::audit() const
{
    Audit audit;
    QMap<QString, QString> stored = storedInvoices(*m_database);
    audit.stored = int(stored.size());
    audit.halfWritten =
        m_database
            ->query(QStringLiteral("SELECT count(*) FROM invoices WHERE completed IS NULL OR completed <> 1"))
            .toInt();
    for (int i = 0; i < m_prepared; ++i) {
        const bool fileThere = QFile::exists(path(i));
        audit.filesLeft += fileThere ? 1 : 0;
        const std::optional<QString> found =
            stored.contains(keyFor(i)) ? std::optional(stored.take(keyFor(i))) : std::nullopt;
        const QString& expected = m_reference.value(keyFor(i));
        if (!found) {
            if (!fileThere) {
                audit.lost.insert(i);
                audit.earlyDeletions.insert(i);
            }
        } else if (*found != expected) {
            (found->count(u'\n') > expected.count(u'\n') ? audit.doubled : audit.wrong).insert(i);
            if (!fileThere)
                audit.earlyDeletions.insert(i);
        }
    }
    audit.strayRows = int(stored.size());
    return audit;
}

void TestReliability::verifyFailedFilesStayed(const Finished& run, const QString& reasonPart) const
{
    const QMap<QString, QString> stored = storedInvoices(*m_database);
    for (const QString& failed : run.failed()) {
        QVERIFY2(QFile::exists(failed), qPrintable(failed));
        const int i = QFileInfo(failed).completeBaseName().toInt();
        QVERIFY2(!stored.contains(keyFor(i)), qPrintable(failed));
        const QString reason = run.reasons.value(failed);
        QVERIFY2(!reason.isEmpty() && reason.contains(reasonPart),
                 qPrintable(failed + QStringLiteral(": ") + run.reasons.value(failed)));
    }
}

void TestReliability::verifyNextRunLoadsTheRest() const
{
    const Finished next = runToEnd();
    QCOMPARE(next.status, 0);
    const Audit after = audit();
    QCOMPARE(after.filesLeft, 0);
    QVERIFY(after.clean());
    QCOMPARE(after.stored, m_prepared);
}

void TestReliability::figures(const QString& line)
{
    qInfo("figures: %s", qPrintable(line));
}

void TestReliability::killedAtAnyMoment()
{
    prepare(m_files);
    QRandomGenerator random(m_seed);
    Audit seen;
    int kills = 0;
    for (int attempt = 0; kills < m_kills && attempt < 4 * m_kills; ++attempt) {
        const int left = m_prepared - audit().stored;
        if (left == 0)
            break;
        Import run(m_program, m_settings);
        // At any point inside any file; the kills spread over the folder and leave files for
        // the last of them even when the run gets ahead of the kill.
        const int stride = qMax(1, m_prepared / m_kills);
        run.waitForFiles(int(random.bounded(quint32(qMin(left, stride)))));
        spinMicroseconds(int(random.bounded(2000u)));
        if (!run.kill())
            continue;
        ++kills;
        // Nothing runs now: whatever the database and the folder show is what a crash leaves.
        seen.add(audit());
    }
    QCOMPARE(kills, m_kills);

    const Finished last = runToEnd();
    QCOMPARE(last.status, 0);
    const Audit end = audit();
    seen.add(end);
    figures(QStringLiteral("killed %1 times during %2 files: %3 lost, %4 doubled, %5 early deletions, "
                           "%6 half-written, %7 stored otherwise, %8 files left")
                .arg(kills)
                .arg(m_prepared)
                .arg(end.lost.size())
                .arg(seen.doubled.size())
                .arg(seen.earlyDeletions.size())
                .arg(seen.halfWritten)
                .arg(seen.wrong.size() + seen.strayRows)
                .arg(end.filesLeft));
    QVERIFY(seen.clean());
    QCOMPARE(end.filesLeft, 0);
    QCOMPARE(end.stored, m_prepared);
}

void TestReliability::databaseBusy()
{
    if (m_database->isServer())
        QSKIP("holds SQLite's write lock: a server locks rows, and the program sets it no timeout");
    const int holdMs = kBusyTimeoutMs + 1500;
    prepare(qMin(m_files, 200));
    Import run(m_program, m_settings);
    run.waitForFiles(3);
    QVERIFY(run.running());
    {
        // Taken while the run stands still between two of its writes, so that it cannot get
        // through its files first; then another program writes for longer than the busy timeout.
        std::unique_ptr<SqliteWriteLock> lock;
        for (int attempt = 0; attempt < 1000 && !(lock && lock->held()); ++attempt) {
            run.pause();
            lock = std::make_unique<SqliteWriteLock>(m_db, false);
            if (!lock->held()) {
                run.resume();
                QThread::usleep(200);
            }
        }
        QVERIFY(lock && lock->held());
        run.resume();
        run.keepReading(holdMs);
    }
    const Finished finished = run.finish();
    QCOMPARE(finished.status, 1);
    const QStringList failed = finished.failed();
    QVERIFY(!failed.isEmpty());
    QCOMPARE(finished.lines.size(), qsizetype(m_prepared));
    verifyFailedFilesStayed(finished, QStringLiteral("locked"));
    const Audit during = audit();
    figures(QStringLiteral("write lock held %1 s (busy timeout %2 s) during %3 files: %4 failed with "
                           "their reason and stayed, %5 half-written, %6 lost")
                .arg(holdMs / 1000.0)
                .arg(kBusyTimeoutMs / 1000)
                .arg(m_prepared)
                .arg(failed.size())
                .arg(during.halfWritten)
                .arg(during.lost.size()));
    QVERIFY(during.clean());
    QCOMPARE(during.filesLeft, failed.size());
    verifyNextRunLoadsTheRest();
}

void TestReliability::writesRefused()
{
    prepare(qMin(m_files, 200));
    // The items of invoices 21 to 40 are refused after their header went in: nothing of such a
    // file may stay, and the files after them load as ever.
    const int firstRefused = 20;
    const int refused = 20;
    const bool server = m_database->isServer();
    // SQLite adds no constraint to a table it has, the server no trigger text of SQLite's.
    m_database->exec((server ? QStringLiteral("ALTER TABLE roster ADD CONSTRAINT refuse_items "
                                              "CHECK (number NOT BETWEEN %1 AND %2)")
                             : QStringLiteral("CREATE TRIGGER refuse_items BEFORE INSERT ON roster "
                                              "WHEN NEW.number BETWEEN %1 AND %2 "
                                              "BEGIN SELECT RAISE(ABORT, 'запись запрещена'); END;"))
                         .arg(firstRefused + 1)
                         .arg(firstRefused + refused));
    const Finished finished = runToEnd();
    QCOMPARE(finished.status, 1);
    QStringList expected;
    for (int i = firstRefused; i < firstRefused + refused; ++i)
        expected.append(path(i));
    const QStringList failed = finished.failed();
    QCOMPARE(failed, expected);
    // The refusal's own words are the database's: only SQLite's trigger text is ours.
    verifyFailedFilesStayed(finished, server ? QString() : QStringLiteral("запись запрещена"));
    const Audit during = audit();
    figures(QStringLiteral("writes refused by the database during %1 files: %2 failed with their reason "
                           "and stayed, %3 half-written, %4 lost")
                .arg(m_prepared)
                .arg(failed.size())
                .arg(during.halfWritten)
                .arg(during.lost.size()));
    QVERIFY(during.clean());
    QCOMPARE(during.filesLeft, refused);
    m_database->exec(server ? QStringLiteral("ALTER TABLE roster DROP CONSTRAINT refuse_items")
                            : QStringLiteral("DROP TRIGGER refuse_items"));
    verifyNextRunLoadsTheRest();
}

// The database file moved away while the run is held still, and put back as soon as a file has
// failed for it. Files fail quickly while it is away, so on a busy machine the run may get through
// the whole folder before it comes back; the scenario is then tried again.
bool TestReliability::moveDatabaseAwayAndBack(Finished* finished, int* loadedAfter)
{
#ifdef Q_OS_UNIX
    const QString away = m_db + QStringLiteral(".away");
    Import run(m_program, m_settings);
    run.waitForFiles(10);
    run.pause();
    if (!QFile::rename(m_db, away))
        return false;
    run.resume();
    run.waitForFailedFile();
    run.pause();
    if (!QFile::rename(away, m_db))
        return false;
    run.resume();
    *finished = run.finish();
    *loadedAfter = loadedAfterLastFailure(*finished);
    return true;
#else
    Q_UNUSED(finished);
    Q_UNUSED(loadedAfter);
    return false;
#endif
}

int TestReliability::loadedAfterLastFailure(const Finished& finished)
{
    const QStringList failed = finished.failed();
    int loaded = 0;
    if (!failed.isEmpty()) {
        for (auto it = finished.lines.upperBound(failed.last()); it != finished.lines.cend(); ++it)
            loaded += it.value() == kLoaded ? 1 : 0;
    }
    return loaded;
}

void TestReliability::databaseFileAway()
{
    if (m_database->isServer())
        QSKIP("moves the SQLite file away: sessionEndedFromOutside is the server's counterpart");
#ifdef Q_OS_WIN
    // SQLite holds its file open without delete sharing, so Windows refuses to move it while a
    // run lasts: the run is not disturbed and loads every file.
    prepare(qMin(m_files, 1000));
    {
        Import run(m_program, m_settings);
        run.waitForFiles(10);
        QVERIFY(run.running());
        const bool moved = QFile::rename(m_db, m_db + QStringLiteral(".away"));
        const Finished finished = run.finish();
        if (moved)
            QFile::rename(m_db + QStringLiteral(".away"), m_db);
        QVERIFY(!moved);
        QCOMPARE(finished.status, 0);
        QVERIFY(finished.failed().isEmpty());
    }
    QVERIFY(audit().clean());
    return;
#elif !defined(Q_OS_UNIX)
    QSKIP("holds the program still with signals");
#endif
    Finished finished;
    int loadedAfter = 0;
    for (int attempt = 0; attempt < 3 && loadedAfter == 0; ++attempt) {
        cleanup();
        setUp();
        prepare(qMin(m_files, 1000));
        QVERIFY(moveDatabaseAwayAndBack(&finished, &loadedAfter));
    }
    QCOMPARE(finished.status, 1);
    const QStringList failed = finished.failed();
    QVERIFY(!failed.isEmpty());
    verifyFailedFilesStayed(finished, QStringLiteral("Файл базы данных"));
    // The run opened the database again: files after the last failed one loaded.
    QVERIFY(loadedAfter > 0);
    const Audit during = audit();
    figures(QStringLiteral("database file moved away and back during %1 files: %2 failed with their "
                           "reason and stayed, %3 loaded after it came back, %4 half-written, %5 lost")
                .arg(m_prepared)
                .arg(failed.size())
                .arg(loadedAfter)
                .arg(during.halfWritten)
                .arg(during.lost.size()));
    QVERIFY(during.clean());
    verifyNextRunLoadsTheRest();
}

std::optional<int> TestReliability::endSessionsOf(const QString& program, QString* refusal) const
{
    // Ending another's session may take more than owning the database: a login that may, when named.
    QString login = qEnvironmentVariable("ESCHF_TEST_MSSQL_ADMIN");
    if (login.isEmpty())
        login = m_database->connectionParams().databaseName;
    const QString name = QStringLiteral("reliability-kill");
    std::optional<int> ended;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name);
        db.setDatabaseName(login);
        try {
            if (!db.open())
                throw eschf::Error(db.lastError().text());
            // By the name the connection gave, not its database: the server may hide other sessions'.
            const Rows sessions = selectOnServer(
                db, QStringLiteral("SELECT DISTINCT spid FROM sys.sysprocesses WHERE program_name = '%1'")
                        .arg(program));
            for (const QStringList& session : sessions.rows)
                execOnServer(db, QStringLiteral("KILL ") + session.at(0));
            ended = int(sessions.rows.size());
        } catch (const eschf::Error& e) {
            *refusal = e.message();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ended;
}

// The server ends the run's session, as a network blip or a restart of the server would: at most
// the file under way fails and stays, the run goes on with a new connection, nothing is half-stored.
void TestReliability::sessionEndedFromOutside()
{
    if (!m_database->isServer())
        QSKIP("a file has no session to end: databaseFileAway is SQLite's counterpart");
    prepare(qMin(m_files, 200));
    // The run's connections carry a name of their own, for the server to find them by.
    const QString program = QStringLiteral("eschf-reliability-%1").arg(QCoreApplication::applicationPid());
    QString line1 = m_database->connectionString();
    if (!line1.endsWith(u';'))
        line1 += u';';
    writeSettings(m_settings, line1 + QStringLiteral("APP=%1;").arg(program), m_folder);
    Finished finished;
    {
        Import run(m_program, m_settings);
        run.waitForFiles(10);
        QVERIFY(run.running());
        run.pause();
        QString refusal;
        const std::optional<int> ended = endSessionsOf(program, &refusal);
        run.resume();
        if (!ended)
            QSKIP(qPrintable(QStringLiteral("no session ended (ESCHF_TEST_MSSQL_ADMIN may name a login "
                                            "that may end sessions): ") +
                             refusal));
        if (*ended == 0)
            QSKIP("the test login sees no session but its own");
        finished = run.finish();
    }
    const QStringList failed = finished.failed();
    QCOMPARE(finished.lines.size(), qsizetype(m_prepared));
    QVERIFY2(failed.size() <= 1, qPrintable(failed.join(u' ')));
    QCOMPARE(finished.status, failed.isEmpty() ? 0 : 1);
    QCOMPARE(finished.loaded, m_prepared - int(failed.size()));
    verifyFailedFilesStayed(finished, QString());
    const Audit during = audit();
    figures(QStringLiteral("server session ended during %1 files: %2 failed with their reason and "
                           "stayed, %3 loaded after it, %4 half-written, %5 lost")
                .arg(m_prepared)
                .arg(failed.size())
                .arg(loadedAfterLastFailure(finished))
                .arg(during.halfWritten)
                .arg(during.lost.size()));
    QVERIFY(during.clean());
    QCOMPARE(during.filesLeft, failed.size());
    verifyNextRunLoadsTheRest();
}

void TestReliability::twoRunsAtOnce()
{
    prepare(m_files);
    Import first(m_program, m_settings);
    Import second(m_program, m_settings);
    const std::array<Finished, 2> runs = {first.finish(), second.finish()};

    const Audit end = audit();
    int loadedTogether = 0;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const Finished& run = runs[r];
        const Finished& other = runs[1 - r];
        QVERIFY(run.status == 0 || run.status == 1);
        // Each run accounts for every file it listed: loaded, found stored already, or gone before
        // its turn (not a refusal of the other's invoice); and whatever it did not load the other
        // did.
        QCOMPARE(run.loaded + run.errors + run.skipped, int(run.lines.size()));
        for (auto it = run.lines.cbegin(); it != run.lines.cend(); ++it) {
            if (it.value() != kLoaded)
                QVERIFY2(other.lines.value(it.key()) == kLoaded, qPrintable(it.key()));
            else
                QVERIFY2(other.lines.value(it.key()) != kLoaded, qPrintable(it.key()));
            if (it.value() == it.key())
                QVERIFY2(run.reasons.value(it.key()).contains(QStringLiteral("не открывается")),
                         qPrintable(it.key() + QStringLiteral(": ") + run.reasons.value(it.key())));
        }
        loadedTogether += run.loaded;
    }
    figures(QStringLiteral("two runs at once on %1 files: loaded %2 + %3 = %4, %5 lost, %6 doubled, "
                           "%7 files left; the other's files: %8 + %9 gone before their turn, "
                           "%10 + %11 found stored")
                .arg(m_prepared)
                .arg(runs[0].loaded)
                .arg(runs[1].loaded)
                .arg(loadedTogether)
                .arg(end.lost.size())
                .arg(end.doubled.size())
                .arg(end.filesLeft)
                .arg(runs[0].errors)
                .arg(runs[1].errors)
                .arg(runs[0].skipped)
                .arg(runs[1].skipped));
    QCOMPARE(loadedTogether, m_prepared);
    QVERIFY(end.clean());
    QCOMPARE(end.filesLeft, 0);
    QCOMPARE(end.stored, m_prepared);
}

QTEST_GUILESS_MAIN(TestReliability)
#include "tst_reliability.moc"
