#pragma once

#include "import/fileimport.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace eschf {

class TDM;

// One cell of the invoice view. Marked: what explains a failure, a party the directory lacks, a
// value the import would refuse, a total that disagrees with its items.
struct ViewCell
{
    QString text;
    bool marked = false;
};

struct ViewTable
{
    QString title;
    QStringList columns;
    QList<QList<ViewCell>> rows;
    // Where each row's values stand in the invoice, and each column's below it: how the element a
    // failure names is found in the view.
    QStringList rowElements;
    QStringList columnElements;
    // The cell that explains a row, selected when a failure names the row's element as a whole.
    int explainingColumn = 1;
};

enum class ViewSection
{
    Head,
    Parties,
    Items,
    Totals,
    Document,
};

struct ViewPlace
{
    ViewSection section = ViewSection::Head;
    int row = 0;
    int column = 0;

    bool operator==(const ViewPlace&) const = default;
};

// What an invoice file holds and what the directory makes of it, as the import would see it now:
// the window shows it, the console prints it.
struct InvoiceView
{
    QString filePath;
    std::optional<FileResult> result; // the file's last outcome, from its log line
    QString unreadable;               // why the invoice cannot be read: then nothing else is shown
    ViewTable head;
    ViewTable parties;
    ViewTable items;
    ViewTable totals;
    ViewTable document;
    // The cell of the element the outcome's reason is about.
    std::optional<ViewPlace> selected;

    ViewTable& table(ViewSection section);
    const ViewTable& table(ViewSection section) const;
};

// How long a lookup of the view waits for rows a run has not committed yet before it says so.
constexpr int kViewLockWaitMs = 2000;

// Reads the file as the import reads it and resolves its parties, its initial invoice and its
// document by the import's own lookups, on dm's connection: read-only statements, no transaction,
// no cursor left open, and no lookup that waits long for a run's locks. A lookup that fails is
// shown in its cell. ownUnn: the own organisation's taxpayer number from start-up.
InvoiceView readInvoiceView(TDM& dm, const QString& ownUnn, const QString& filePath,
                            std::optional<FileResult> result = std::nullopt);

// The cell that shows an element of the invoice (a path from the root, a roster item's position).
std::optional<ViewPlace> viewPlaceOf(const InvoiceView& view, const ValuePlace& place);

// The view as text, for the console: section by section, a marked cell with "!" and the selected
// one with "»".
QString invoiceViewText(const InvoiceView& view);

} // namespace eschf
