#pragma once

#include "mapping/partylookup.h"

#include <QString>

#include <optional>

namespace eschf {

class TDM;
class XmlElement;

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
    std::optional<int> ordinarySender(const XmlElement& root, const QString& sender);
    // The sender of an additional invoice: the first candidate organisation of the sender text
    // under which the initial invoice (general/invoice) is stored.
    std::optional<int> additionalSender(const XmlElement& root, const QString& sender);

    std::optional<int> organisationByUnn(const QString& unn) override;
    std::optional<int> recipient(const XmlElement& root) override;
    int consignee(const XmlElement& root) override;

private:
    TDM& m_dm;
    QString m_ownUnn;
};

// Q(x): x in single quotes with every inner quote doubled.
QString quoted(const QString& text);

} // namespace eschf
