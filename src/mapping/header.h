#pragma once

#include <QString>

namespace eschf {

class TDM;
class XmlElement;
class PartyLookup;

// Cuts by character position counted from 1, both ends included. They never fail: a short text
// gives what is there, possibly nothing.
QString cutChars(const QString& text, int first, int last);
QString yearText(const QString& invoiceNumber);     // characters 11 to 14
QString sequenceText(const QString& invoiceNumber); // characters 16 to 25
QString taxpayerText(const QString& invoiceNumber); // characters 1 to 9
// The trimmed text cut to its first ten characters.
QString shortDate(const QString& text);
// Every "." made ",": how decimals are handed to the data module.
QString decimalText(const QString& text);

// The header row: fills the parameters of InvoicesInsert stage by stage, in the order the import
// runs them. Parameters left unset stay as the import reset them (NULL).
class HeaderMapping
{
public:
    HeaderMapping(TDM& dm, PartyLookup& parties);

    // The key, idProvider and the general part: invoice, dateCancelled, documentType,
    // dateTransaction, and contractNumber, contractDate, description when deliveryCondition is present.
    void fillGeneral(const XmlElement& root, int senderId, const QString& year, const QString& sequence);
    // The document check of an ordinary invoice: false means there is no document to match.
    static bool hasDocumentToMatch(const XmlElement& root);
    // providerStatus to pTaxesDate, with the principal and vendor lookups.
    void fillProvider(const XmlElement& root);
    // idRecipient and the recipient part. False when the directory has no recipient organisation
    // (nothing of the recipient part is then set).
    bool fillRecipient(const XmlElement& root);
    // The four totals of roster, then nothing else: the caller runs InvoicesInsert.
    void fillTotals(const XmlElement& root);

private:
    TDM& m_dm;
    PartyLookup& m_parties;
};

} // namespace eschf
