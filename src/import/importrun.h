#pragma once

#include "data/connection.h"
#include "import/fileimport.h"

#include <QFileInfoList>
#include <QString>
#include <QStringList>

#include <atomic>

namespace eschf {

class TDM;
class InvoiceDocument;

struct RunCounters
{
    int loaded = 0;
    int error = 0;
    int skip = 0;

    void count(Outcome outcome);
};

// The message that closes a run; its lines are separated by LF CR, as operators have always seen it.
QString summaryText(const RunCounters& counters);

// Every entry of the folder a wildcard path names whose name matches its last part (* and ?,
// everything else literal, case ignored): folders and hidden entries included, sorted by name.
QFileInfoList matchingEntries(const QString& wildcardPath);

// The entries of folderText + mask (no separator put in between), folders included, the mask
// matched without regard to case, sorted by name. Each line is the entry's name, or with namesOnly
// clear the folder text followed by the name.
QStringList listFolder(const QString& folderText, const QString& mask, bool namesOnly);

// What a run tells whoever shows it. Called on the run's own thread.
class ImportObserver
{
public:
    virtual ~ImportObserver() = default;
    virtual void fileStarted(int index) = 0;
    virtual void fileFinished(int index, const FileResult& result) = 0;
};

// One import run over the listed files, in list order, on the calling thread's connection.
class ImportRun
{
public:
    // connection: what dm is (re)opened from when its connection is not open.
    ImportRun(TDM& dm, ConnectionParams connection, InvoiceDocument& doc, QString ownUnn, bool updateOld);

    void setCancelFlag(const std::atomic<bool>* cancel) { m_cancel = cancel; }

    // Handles every path. Returns false when the run was cut short by the cancel flag.
    bool run(const QStringList& paths, ImportObserver& observer);
    const RunCounters& counters() const { return m_counters; }

private:
    FileResult importOne(FileImporter& importer, const QString& path);

    TDM& m_dm;
    ConnectionParams m_connection;
    InvoiceDocument& m_doc;
    QString m_ownUnn;
    bool m_updateOld;
    const std::atomic<bool>* m_cancel = nullptr;
    RunCounters m_counters;
};

} // namespace eschf
