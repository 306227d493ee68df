// libFuzzer target over the whole per-file import: document load, resolution, mapping and the
// statements, against an SQLite database with a small directory. Each input is one invoice file.
#include "data/connection.h"
#include "data/tdm.h"
#include "import/fileimport.h"
#include "mapping/invoicedocument.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <memory>

using namespace eschf;

namespace {

// The organisations the corpus names: the own one, suppliers with and without branches, the
// senders of the sample invoices, so that inputs reach the header, items and documents.
const char* const kDirectory = R"sql(
INSERT INTO tbPredpr(idPredpr, UNN, DopUNN, idPlat) VALUES
    (1, '190000001', NULL, NULL),
    (2, '290000002', NULL, NULL),
    (3, '390000003', 1, NULL),
    (4, '390000003', 7, 4),
    (5, '190555555', NULL, NULL),
    (6, '190666666', NULL, NULL),
    (8, '590000005', 1, NULL),
    (9, '590000005', 2, NULL);
INSERT INTO tbNastrPredpr(idPredpr) VALUES (1);
INSERT INTO invPredprs(unn, dopUnn, newDopUnn) VALUES ('390000003', 5, 7);
INSERT INTO docCaption(kodSkl, NumDoc, vidDoc, DateDoc) VALUES
    (555, 12345, 2, '2024-03-04 00:00:00.000');
)sql";

const char* const kClearInvoices =
    "DELETE FROM documents; DELETE FROM descriptions; DELETE FROM roster; DELETE FROM invoices;";

struct World
{
    std::unique_ptr<QCoreApplication> app;
    std::unique_ptr<QTemporaryDir> dir;
    QString db;
    std::unique_ptr<TDM> dm;
    std::unique_ptr<InvoiceDocument> doc;
    std::unique_ptr<FileImporter> importer;
    std::unique_ptr<FileImporter> updater; // the same with "update old" on
};

World* world = nullptr;

void setUp()
{
    static int argc = 1;
    static char name[] = "fuzz_import";
    static char* argv[] = {name, nullptr};
    world = new World; // lives for the process
    world->app = std::make_unique<QCoreApplication>(argc, argv);
    world->dir = std::make_unique<QTemporaryDir>();
    if (!world->dir->isValid())
        std::abort();
    world->db = world->dir->filePath(QStringLiteral("eschf.db"));
    test::createSqliteDatabase(world->db);
    test::execSqlite(world->db, QString::fromUtf8(kDirectory));
    const ConnectionParams connection =
        translateConnectionString(test::sqliteConnectionString(world->db), world->dir->path(), {});
    world->dm = std::make_unique<TDM>(QStringLiteral("fuzz_import"));
    world->dm->open(connection);
    world->doc = std::make_unique<InvoiceDocument>();
    const QString own = QStringLiteral("190000001");
    world->importer = std::make_unique<FileImporter>(*world->dm, *world->doc, own, false);
    world->updater = std::make_unique<FileImporter>(*world->dm, *world->doc, own, true);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = world->dir->filePath(QStringLiteral("in.xml"));
    // The first byte picks the importer so that both ways of treating a stored invoice are run.
    const bool update = size > 0 && (data[0] & 1) != 0;
    for (int round = 0; round < 2; ++round) { // the second round meets the first one's invoice
        {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                std::abort();
            file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
        }
        FileImporter& importer = update ? *world->updater : *world->importer;
        const FileResult result = importer.importFile(path);
        // A file only goes once its invoice is stored or found complete.
        const bool gone = !QFile::exists(path);
        const bool shouldGo = result.outcome == Outcome::E || result.outcome == Outcome::F;
        if (gone != shouldGo)
            std::abort();
    }
    QFile::remove(path);
    test::execSqlite(world->db, QString::fromUtf8(kClearInvoices));
    return 0;
}
