#pragma once

#include "import/fileimport.h"
#include "mapping/invoicedocument.h"

#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace eschf {

// Reads and parses the next file of a run on a thread of its own while the file before it is
// written to the database: building the tree is most of what a file costs besides the database,
// and the commit's wait for the disk leaves the time for it.
//
// A tree read ahead is used only where reading the file in its turn would give the same: it was
// read and parsed without error, and the file is still there, neither replaced nor written again
// since (the file before it may have been this very one, or one a link leads to). Anything else
// is read again in its turn, so outcomes and messages stay as they were. No file is read while
// another of the run is being deleted.
class ReadAhead : public DocumentSource
{
public:
    ReadAhead();
    ~ReadAhead() override; // waits for the file in hand
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The file to read once the next load has begun; empty: none.
    void setNext(const QString& path);

    void load(InvoiceDocument& doc, const QString& path) override;
    void removing(const QString& path) override;

private:
    void work();
    void waitForFileInHand(std::unique_lock<std::mutex>& lock);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stopping = false;
    QString m_next;
    // The file in hand: asked for, being read, or read.
    QString m_path;
    bool m_pending = false; // m_path asked for and not yet taken
    bool m_read = false;    // the thread is done with it
    bool m_usable = false;  // read and parsed without error
    QString m_version;      // fileVersion() of m_path before it was read
    InvoiceDocument m_spare;
    std::thread m_thread; // last: it starts once everything above is in place
};

} // namespace eschf
