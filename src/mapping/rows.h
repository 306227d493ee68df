#pragma once

#include <QString>

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

// A document number as stored: its last 25 characters, leading zeros removed.
QString normalisedDocNumber(const QString& number);

} // namespace eschf
