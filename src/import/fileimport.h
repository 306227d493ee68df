#pragma once

#include "data/error.h"

#include <QString>

#include <atomic>
#include <memory>
#include <optional>

namespace eschf {

class TDM;
class InvoiceDocument;

// How one invoice file ended.
enum class Outcome
{
    A, // additional invoice: no organisation holds the initial invoice    error + 1, file stays
    B, // no sender organisation                                           error + 1, file stays
    C, // no document to match                                             error + 1, file stays
    D, // no recipient organisation                                        error + 1, file stays
    E, // loaded, file deleted                                             loaded + 1
    F, // already complete, file deleted                                   skip + 1
    G, // loaded, but the file could not be deleted                        no counter, file stays
    H, // failed after the sender was resolved                             no counter, file stays
    I, // failed before the sender was resolved                            error + 1, file stays
};

// A run loads the files; a check goes through the very same steps in a transaction it never
// commits, and deletes nothing: what each file would come to, the database's refusals included.
enum class RunMode
{
    Load,
    Check,
};

// The run's counter an outcome raises.
enum class Counter
{
    None,
    Loaded,
    Skipped,
    Error,
};
Counter counterOf(Outcome outcome);

// The organisation an A, B or D file could not be resolved to, as the invoice gives it: what the
// directory needs for the file to load.
struct MissingParty
{
    QString role;       // "поставщик", "получатель", "исходная ЭСЧФ"
    QString unp;        // the taxpayer number looked up
    QString branchCode; // as written in the invoice
    QString name;
    QString address;
};

struct FileResult
{
    FileResult() = default;
    FileResult(Outcome outcome, QString lineText, QString reason = {})
        : outcome(outcome), lineText(std::move(lineText)), reason(std::move(reason))
    {
    }

    Outcome outcome = Outcome::I;
    QString lineText;                  // the file's log line afterwards: the outcome text, or the path itself
    QString reason;                    // why the file failed, for the operator (empty for E and F)
    QString invoiceNumber;             // general/number, once the file was read
    std::optional<MissingParty> party; // A, B, D
    std::optional<ValuePlace> place;   // the element the reason is about, when the program knows it
    RunMode mode = RunMode::Load;      // a check's outcome says what a run would do
};

// The letter of an outcome ("A" to "I") and what it means, in words.
QString outcomeLetter(Outcome outcome);
QString outcomeWords(const FileResult& result);

// Raised inside a file's import when the run is being cut short; the file is rolled back.
struct ImportCancelled
{
};

// Where a file importer gets the tree of each file from. Without one it loads the file itself.
class DocumentSource
{
public:
    virtual ~DocumentSource() = default;
    // Puts the file's tree into doc; throws Error as InvoiceDocument::load does.
    virtual void load(InvoiceDocument& doc, const QString& path) = 0;
    // The file is about to be deleted, its invoice committed.
    virtual void removing(const QString& path) = 0;
};

// Imports one invoice file into the database: load, resolve, header, items, document, complete,
// delete. One transaction per file: it commits before the file is deleted and is rolled back on
// any failure, so a failed file leaves nothing of itself in the database. Never throws except
// ImportCancelled.
class FileImporter
{
public:
    // ownUnn: the own organisation's taxpayer number from start-up (empty when none).
    // A check needs the transaction of the whole run open: each file's work stays in it for the
    // files after it (an additional invoice finds its initial one), and is undone at the end.
    FileImporter(TDM& dm, InvoiceDocument& doc, QString ownUnn, bool updateOld, RunMode mode = RunMode::Load);
    ~FileImporter();

    // Checked between the steps of a file; when it becomes true the file in progress is rolled
    // back, stays in the folder, and importFile throws ImportCancelled.
    void setCancelFlag(const std::atomic<bool>* cancel);
    // Not owned; nullptr: every file is loaded here.
    void setDocumentSource(DocumentSource* source);

    FileResult importFile(const QString& path);

private:
    FileResult importOne(const QString& path);

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace eschf
