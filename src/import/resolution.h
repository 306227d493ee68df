#pragma once

#include "mapping/partylookup.h"

#include <QString>

#include <optional>
#include <utility>

namespace eschf {

class TDM;
class XmlElement;

// What one lookup searched the directory for and what it found.
struct Resolution
{
    std::optional<int> id;
    QString searched; // the search as the operator reads it: taxpayer number, branch condition
    // The branch code as the invoice gives it and the one a branch redirection put instead.
    std::optional<std::pair<int, int>> redirected;
};

// Finds an invoice's parties in the organisation directory. Every failure (a statement the
// database refuses, a branch code that is not a whole number, a redirection without a new code)
// throws Error saying which party and which value failed.
class OrganisationResolver : public PartyLookup
{
public:
    // ownUnn: the own organisation's taxpayer number from start-up (empty when none).
    OrganisationResolver(TDM& dm, QString ownUnn);

    const QString& ownUnn() const { return m_ownUnn; }

    // The sender of an ordinary invoice, by the root's sender text and provider/branchCode,
    // branch redirection included.
    std::optional<int> ordinarySender(const XmlElement& root, const QString& sender)
    {
        return resolveOrdinarySender(root, sender).id;
    }
    // The sender of an additional invoice: the first candidate organisation of the sender text
    // under which the initial invoice (general/invoice) is stored.
    std::optional<int> additionalSender(const XmlElement& root, const QString& sender)
    {
        return resolveAdditionalSender(root, sender).id;
    }

    std::optional<int> organisationByUnn(const QString& unn) override { return resolveByUnn(unn).id; }
    std::optional<int> recipient(const XmlElement& root) override { return resolveRecipient(root).id; }
    int consignee(const XmlElement& root) override { return resolveConsignee(root).id.value_or(0); }

    // The same lookups, saying what they searched for (the invoice view shows it).
    Resolution resolveOrdinarySender(const XmlElement& root, const QString& sender);
    Resolution resolveAdditionalSender(const XmlElement& root, const QString& sender);
    Resolution resolveByUnn(const QString& unn);
    Resolution resolveRecipient(const XmlElement& root);
    // Nothing found reads as 0 where the import writes it.
    Resolution resolveConsignee(const XmlElement& root);

private:
    TDM& m_dm;
    QString m_ownUnn;
};

// Q(x): x in single quotes with every inner quote doubled.
QString quoted(const QString& text);

} // namespace eschf
