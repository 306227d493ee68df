#pragma once

#include <QString>
#include <QVariant>

#include <optional>

namespace eschf {

class TDM;
class XmlElement;
class PartyLookup;

// One roster row per rosterItem and one descriptions row per description of it, in document
// order. The invoice key is copied from InvoicesInsert.
void writeItems(TDM& dm, const XmlElement& root);

// The accompanying document row, unless the invoice already has one. own: the sender text is the
// own organisation's taxpayer number; additional: general/documentType is "ADDITIONAL".
void writeDocument(TDM& dm, PartyLookup& parties, const XmlElement& root, bool own, bool additional);

// vidDoc of an own invoice's document: 2 for an original invoice (document type code 1), else 1.
int ownDocumentKind(int documentTypeCode);
// The accounting system's document (docCaption) an own invoice's document matches: its kodSkl (which
// may be NULL), or nothing when there is none.
std::optional<QVariant> findAccountingDocument(TDM& dm, const QVariant& docNumber, const QVariant& vidDoc,
                                               const QVariant& docDate);

// A document number as stored: its last 25 characters, leading zeros removed.
QString normalisedDocNumber(const QString& number);

} // namespace eschf
