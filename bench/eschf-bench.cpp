// The import's speed on the embedded database, against the floor that durability sets: the same rows
// inserted with prepared statements and one durable transaction per invoice, without parsing or
// lookups. With --server, the same run on a SQL Server database as well.
#include "data/connection.h"
#include "data/error.h"
#include "data/tdm.h"
#include "import/importrun.h"
#include "mapping/codes.h"
#include "mapping/invoicedocument.h"
#include "mapping/rows.h"
#include "synthetic.h"
#include "testdatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <vector>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <unistd.h>
#endif

using namespace eschf;
using namespace eschf::bench;

namespace {

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

struct Options
{
    int files = 1000;
    QString schema = QStringLiteral(ESCHF_SQLITE_SCHEMA);
    QString server; // an ODBC connection string to an empty SQL Server database
    bool ok = true;
};

Options parseOptions(const QStringList& arguments)
{
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == u"--files" && i + 1 < arguments.size()) {
            options.files = arguments.at(++i).toInt(&options.ok);
            options.ok = options.ok && options.files > 0;
        } else if (argument == u"--schema" && i + 1 < arguments.size()) {
            options.schema = arguments.at(++i);
        } else if (argument == u"--server" && i + 1 < arguments.size()) {
            options.server = arguments.at(++i);
        } else {
            options.ok = false;
        }
    }
    return options;
}

void writeInvoices(const QString& folder, int files)
{
    QDir().mkpath(folder);
    for (int i = 0; i < files; ++i) {
        QFile file(folder + QStringLiteral("%1.xml").arg(i, 7, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(invoiceXml(syntheticInvoice(i))) < 0)
            throw Error(QStringLiteral("Не удалось записать %1").arg(file.fileName()));
    }
}

void execSql(const QString& databaseFile, const QString& sql)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(databaseFile).constData(), &db) != SQLITE_OK)
        throw Error(QStringLiteral("Не удалось создать базу %1").arg(databaseFile));
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message);
    const QString text = QString::fromUtf8(message ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
    if (rc != SQLITE_OK)
        throw Error(QStringLiteral("SQL на %1: %2").arg(databaseFile, text));
}

// A fresh database from the schema with the directory the synthetic invoices need.
void prepareDatabase(const QString& databaseFile, const QString& schemaFile)
{
    QFile schema(schemaFile);
    if (!schema.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Нет схемы %1 (укажите --schema)").arg(schemaFile));
    execSql(databaseFile, QString::fromUtf8(schema.readAll()));
    execSql(databaseFile, Directory::seedSql());
}

ConnectionParams sqliteConnection(const QString& databaseFile)
{
    return translateConnectionString(QStringLiteral("Provider=SQLite;Data Source=") + databaseFile,
                                     QFileInfo(databaseFile).absolutePath(), {});
}

// Flushes the invoice files and the seeded databases, so that their write-back is not billed to the
// first commits being measured.
void syncDisks()
{
#ifdef Q_OS_UNIX
    ::sync();
#endif
}

double statusMegabytes(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

// CPU time of the process so far, in nanoseconds, in user space and in the kernel (where the
// flushes to disk, file reads and deletions are): what the run costs apart from waiting for the
// disk, which other work on the machine can stretch.
struct CpuTime
{
    qint64 user = 0;
    qint64 system = 0;
};

CpuTime cpuTime()
{
#ifdef Q_OS_UNIX
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return {qint64(usage.ru_utime.tv_sec) * 1000000000LL + qint64(usage.ru_utime.tv_usec) * 1000LL,
            qint64(usage.ru_stime.tv_sec) * 1000000000LL + qint64(usage.ru_stime.tv_usec) * 1000LL};
#else
    return {};
#endif
}

double peakResidentMegabytes()
{
    const double fromProc = statusMegabytes("VmHWM");
    if (fromProc >= 0)
        return fromProc;
#ifdef Q_OS_UNIX
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
#else
    return -1;
#endif
}

// Wall-clock and CPU time summed over the stretches measured.
struct Measure
{
    qint64 wallNs = 0;
    CpuTime cpu;
    QElapsedTimer timer;
    CpuTime cpuAtStart;

    void start()
    {
        cpuAtStart = cpuTime();
        timer.start();
    }
    void stop()
    {
        wallNs += timer.nsecsElapsed();
        const CpuTime now = cpuTime();
        cpu.user += now.user - cpuAtStart.user;
        cpu.system += now.system - cpuAtStart.system;
    }
    qint64 cpuNs() const { return cpu.user + cpu.system; }
};

// What deleting that many invoice files costs on this file system by itself: the import deletes
// every file it loads, the floor does not, and some file systems make a deletion dear (online
// discard, for one).
qint64 deletionCost(const QString& folder, int files)
{
    QDir().mkpath(folder);
    QStringList paths;
    for (int i = 0; i < files; ++i) {
        paths << QDir(folder).filePath(QStringLiteral("%1.xml").arg(i));
        QFile file(paths.last());
        if (!file.open(QIODevice::WriteOnly) || file.write(invoiceXml(syntheticInvoice(i))) < 0)
            throw Error(QStringLiteral("Не удалось записать %1").arg(file.fileName()));
    }
    syncDisks();
    QElapsedTimer timer;
    timer.start();
    for (const QString& path : paths)
        QFile::remove(path);
    return timer.nsecsElapsed();
}

QString cpuText(const CpuTime& cpu, double n)
{
    return QStringLiteral("%1 ms user + %2 ms system")
        .arg(cpu.user / 1e6 / n, 0, 'f', 3)
        .arg(cpu.system / 1e6 / n, 0, 'f', 3);
}

class CountingObserver : public ImportObserver
{
public:
    void fileStarted(int) override {}
    void fileFinished(int, const FileResult& result) override
    {
        if (result.outcome != Outcome::E && failures < 5)
            fprintf(stderr, "файл не загружен: %s: %s\n", qPrintable(result.lineText),
                    qPrintable(result.reason));
        if (result.outcome != Outcome::E)
            ++failures;
    }
    int failures = 0;
};

void setInvoiceKey(Statement& statement, const SyntheticInvoice& invoice)
{
    statement.setParam(u"idSender", invoice.senderId);
    statement.setParam(u"compilingYear", invoice.year());
    statement.setParam(u"number", invoice.sequence());
}

// The floor: what the rows cost to write durably, with the ids known and the values as the file
// gives them.
void insertDirectly(TDM& dm, const SyntheticInvoice& invoice)
{
    dm.transaction();
    Statement& header = dm.InvoicesInsert;
    header.setAllNull();
    setInvoiceKey(header, invoice);
    header.setParam(u"invoice", QString());
    header.setParam(u"documentType", 1);
    header.setParam(u"dateTransaction", invoice.dateTransaction);
    header.setParam(u"contractNumber", invoice.contractNumber);
    header.setParam(u"contractDate", invoice.contractDate);
    header.setParam(u"description", invoice.description);
    header.setParam(u"idProvider", invoice.senderId);
    header.setParam(u"providerStatus", 1);
    header.setParam(u"specialDealGoods", false);
    header.setParam(u"idRecipient", invoice.recipientId);
    header.setParam(u"recipientStatus", 1);
    header.setParam(u"totalCostVat", invoice.totalCostVat);
    header.setParam(u"totalExcise", invoice.totalExcise);
    header.setParam(u"totalVat", invoice.totalVat);
    header.setParam(u"totalCost", invoice.totalCost);
    header.exec();

    Statement& roster = dm.RosterInsert;
    Statement& description = dm.DescriptionsInsert;
    roster.setAllNull();
    setInvoiceKey(roster, invoice);
    for (const SyntheticItem& item : invoice.items) {
        roster.setParam(u"itemNumber", item.number);
        roster.setParam(u"[name]", item.name);
        roster.setParam(u"code", item.code);
        roster.setParam(u"code_oced", item.codeOced);
        roster.setParam(u"[count]", item.count);
        roster.setParam(u"price", item.price);
        roster.setParam(u"cost", item.cost);
        roster.setParam(u"summaExcise", item.summaExcise);
        roster.setParam(u"rate", item.rate);
        roster.setParam(u"idRateType", 1);
        roster.setParam(u"summaVat", item.summaVat);
        roster.setParam(u"costVat", item.costVat);
        roster.open();
        const int itemId = roster.field(u"IdentValue").toInt();
        roster.close();
        for (const QString& code : item.descriptions) {
            description.setParam(u"idDesc", codes::DescriptionCode(code));
            description.setParam(u"idStr", itemId);
            description.exec();
        }
    }

    Statement& document = dm.DocumentsInsert;
    document.setAllNull();
    setInvoiceKey(document, invoice);
    document.setParam(u"code", invoice.docCode);
    document.setParam(u"docDate", invoice.docDate);
    document.setParam(u"blankCode", invoice.docBlank);
    document.setParam(u"seria", invoice.docSeria);
    document.setParam(u"docNumber", normalisedDocNumber(invoice.docNumber));
    document.setParam(u"vidDoc", invoice.own ? 2 : 1);
    if (invoice.own)
        document.setParam(u"idPredpr", invoice.consigneeId);
    document.exec();

    Statement& complete = dm.UpdateAsComplete;
    setInvoiceKey(complete, invoice);
    complete.exec();
    dm.commit();
}

QString rowCounts(const QString& databaseFile)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(databaseFile).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    QStringList counts;
    for (const char* table : {"invoices", "roster", "descriptions", "documents"}) {
        sqlite3_stmt* stmt = nullptr;
        const QByteArray sql = QByteArray("SELECT count(*) FROM ") + table;
        qint64 count = -1;
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            count = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
        counts << QStringLiteral("%1 %2").arg(QString::fromLatin1(table)).arg(count);
    }
    sqlite3_close(db);
    return counts.join(QStringLiteral(", "));
}

int runBenchmark(const Options& options)
{
    QTemporaryDir work;
    if (!work.isValid())
        throw Error(QStringLiteral("Не удалось создать временную папку"));
    const QString folder = work.filePath(QStringLiteral("invoices")) + QLatin1Char('/');
    const QString importDb = work.filePath(QStringLiteral("import.db"));
    const QString floorDb = work.filePath(QStringLiteral("floor.db"));

    writeInvoices(folder, options.files);
    prepareDatabase(importDb, options.schema);
    prepareDatabase(floorDb, options.schema);
    syncDisks();
    out() << "files: " << options.files << " synthetic invoices, 10 items each, in " << folder << Qt::endl;

    // The import and the floor take turns, a block of invoices each, so that whatever else the
    // machine's disk is doing weighs on both alike.
    const double residentBefore = statusMegabytes("VmRSS");
    const ConnectionParams importConnection = sqliteConnection(importDb);
    TDM importDm(QStringLiteral("bench-import"));
    importDm.open(importConnection);
    TDM floorDm(QStringLiteral("bench-floor"));
    floorDm.open(sqliteConnection(floorDb));
    InvoiceDocument document;
    ImportRun run(importDm, importConnection, document, Directory::ownUnn(), false);
    CountingObserver observer;
    Measure import;
    Measure floor;
    int loaded = 0;

    import.start();
    const QStringList paths = listFolder(folder, QStringLiteral("*.xml"), false);
    import.stop();
    constexpr int kBlock = 100;
    for (int first = 0; first < options.files; first += kBlock) {
        const int count = std::min(kBlock, options.files - first);
        import.start();
        run.run(paths.mid(first, count), observer);
        import.stop();
        loaded += run.counters().loaded;

        // Made before the clock starts: the generator's cost is no part of the floor.
        std::vector<SyntheticInvoice> invoices;
        invoices.reserve(count);
        for (int i = first; i < first + count; ++i)
            invoices.push_back(syntheticInvoice(i));
        floor.start();
        for (const SyntheticInvoice& invoice : invoices)
            insertDirectly(floorDm, invoice);
        floor.stop();
    }
    const quint64 statements = importDm.statementsRun();
    const double peak = peakResidentMegabytes();
    importDm.close();
    floorDm.close();
    const qint64 deletionNs = deletionCost(work.filePath(QStringLiteral("scratch")), options.files);
    if (observer.failures > 0 || loaded != options.files) {
        fprintf(stderr, "загружено %d из %d\n", loaded, options.files);
        return 1;
    }
    const qint64 importNs = import.wallNs;
    const qint64 importCpuNs = import.cpuNs();
    const qint64 floorNs = floor.wallNs;
    const qint64 floorCpuNs = floor.cpuNs();

    const QString importRows = rowCounts(importDb);
    const QString floorRows = rowCounts(floorDb);
    const double n = options.files;
    out() << "import: " << QString::number(importNs / 1e9, 'f', 3) << " s, "
          << QString::number(n / (importNs / 1e9), 'f', 0) << " files/s, "
          << QString::number(importNs / 1e6 / n, 'f', 3) << " ms/file (cpu " << cpuText(import.cpu, n) << ")"
          << Qt::endl;
    out() << "statements per file: " << QString::number(statements / n, 'f', 1) << Qt::endl;
    out() << "resident memory: " << QString::number(residentBefore, 'f', 1) << " MB before the run, peak "
          << QString::number(peak, 'f', 1) << " MB" << Qt::endl;
    out() << "rows: " << importRows << Qt::endl;
    out() << "floor: " << QString::number(floorNs / 1e9, 'f', 3) << " s, "
          << QString::number(n / (floorNs / 1e9), 'f', 0) << " invoices/s, "
          << QString::number(floorNs / 1e6 / n, 'f', 3) << " ms/invoice (cpu " << cpuText(floor.cpu, n) << ")"
          << Qt::endl;
    if (floorRows != importRows) {
        fprintf(stderr, "floor wrote other rows: %s\n", qPrintable(floorRows));
        return 1;
    }
    out() << "deleting the files alone: " << QString::number(deletionNs / 1e6 / n, 'f', 3)
          << " ms/file (the import's, the floor deletes nothing)" << Qt::endl;
    out() << "cpu ratio import/floor: " << QString::number(double(importCpuNs) / double(floorCpuNs), 'f', 2)
          << Qt::endl;
    out() << "ratio import/floor: " << QString::number(double(importNs) / double(floorNs), 'f', 2)
          << Qt::endl;
    return 0;
}

// The same files through the same run into the server: what a department's own server and link
// make of it, beside the embedded figures above.
int runOnServer(const Options& options)
{
    QTemporaryDir work;
    if (!work.isValid())
        throw Error(QStringLiteral("Не удалось создать временную папку"));
    const QString folder = work.filePath(QStringLiteral("invoices")) + QLatin1Char('/');
    writeInvoices(folder, options.files);
    // The tables made for the run and dropped after it: the database is left empty.
    const eschf::test::TestDatabase tables(options.server);
    tables.exec(Directory::seedSql());
    const ConnectionParams connection = tables.connectionParams();

    TDM dm(QStringLiteral("bench-server"));
    dm.open(connection);
    InvoiceDocument document;
    ImportRun run(dm, connection, document, Directory::ownUnn(), false);
    CountingObserver observer;
    Measure import;
    import.start();
    run.run(listFolder(folder, QStringLiteral("*.xml"), false), observer);
    import.stop();
    const quint64 statements = dm.statementsRun();
    dm.close();
    const int loaded = run.counters().loaded;
    if (observer.failures > 0 || loaded != options.files) {
        fprintf(stderr, "server: загружено %d из %d\n", loaded, options.files);
        return 1;
    }
    const double n = options.files;
    out() << "server: " << QString::number(import.wallNs / 1e9, 'f', 3) << " s, "
          << QString::number(n / (import.wallNs / 1e9), 'f', 0) << " files/s, "
          << QString::number(import.wallNs / 1e6 / n, 'f', 3) << " ms/file (cpu " << cpuText(import.cpu, n)
          << ")" << Qt::endl;
    out() << "server statements per file: " << QString::number(statements / n, 'f', 1) << Qt::endl;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const Options options = parseOptions(app.arguments());
    if (!options.ok) {
        fprintf(stderr, "usage: eschf-bench [--files N] [--schema db/sqlite/schema.sql] "
                        "[--server \"ODBC string\"]\n");
        return 2;
    }
    try {
        const int status = runBenchmark(options);
        if (status != 0 || options.server.isEmpty())
            return status;
        return runOnServer(options);
    } catch (const Error& e) {
        fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
