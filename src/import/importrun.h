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

// The message that closes a run (or a check); its lines are separated by LF CR, as operators have
// always seen it.
QString summaryText(const RunCounters& counters, RunMode mode = RunMode::Load);

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
    ImportRun(TDM& dm, ConnectionParams connection, InvoiceDocument& doc, QString ownUnn, bool updateOld,
              RunMode mode = RunMode::Load);

    void setCancelFlag(const std::atomic<bool>* cancel) { m_cancel = cancel; }

    // Handles every path. Returns false when the run was cut short by the cancel flag.
    bool run(const QStringList& paths, ImportObserver& observer);
    const RunCounters& counters() const { return m_counters; }

private:
    FileResult importOne(FileImporter& importer, const QString& path);
    // A check holds one transaction over the whole folder, begun afresh when the connection is.
    void beginCheck();
    void endCheck();

    TDM& m_dm;
    ConnectionParams m_connection;
    InvoiceDocument& m_doc;
    QString m_ownUnn;
    bool m_updateOld;
    RunMode m_mode;
    bool m_checkOpen = false;
    const std::atomic<bool>* m_cancel = nullptr;
    RunCounters m_counters;
};

} // namespace eschf
