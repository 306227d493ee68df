#include "import/readahead.h"

#include "data/fileidentity.h"

namespace eschf {

ReadAhead::ReadAhead() : m_thread([this] { work(); }) {}

ReadAhead::~ReadAhead()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void ReadAhead::setNext(const QString& path)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_next = path;
}

void ReadAhead::work()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || (m_pending && !m_read); });
        if (m_stopping)
            return;
        const QString path = m_path;
        lock.unlock();
        // Taken before the read: a file written while it is read no longer matches in its turn.
        const QString version = fileVersion(path);
        bool usable = false;
        try {
            m_spare.load(path);
            usable = true;
        } catch (...) {
            // Read again in its turn, which reports the failure as it always has.
        }
        lock.lock();
        m_usable = usable && !version.isEmpty();
        m_version = version;
        m_read = true;
        m_changed.notify_all();
    }
}

void ReadAhead::waitForFileInHand(std::unique_lock<std::mutex>& lock)
{
    m_changed.wait(lock, [this] { return !m_pending || m_read; });
}

void ReadAhead::load(InvoiceDocument& doc, const QString& path)
{
    bool taken = false;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        waitForFileInHand(lock);
        // Deleted, replaced or written again since: read in its turn.
        taken = m_pending && m_usable && m_path == path && fileVersion(path) == m_version;
        if (taken)
            doc.swap(m_spare);
        // The next file is read from here on: the one before it is deleted by now or stays.
        m_pending = !m_next.isEmpty();
        m_path = m_next;
        m_next.clear();
        m_read = false;
        m_usable = false;
    }
    m_changed.notify_all();
    if (!taken)
        doc.load(path);
}

void ReadAhead::removing(const QString&)
{
    // No file is open here while the run deletes one (an open file cannot be deleted everywhere).
    std::unique_lock<std::mutex> lock(m_mutex);
    waitForFileInHand(lock);
}

} // namespace eschf
