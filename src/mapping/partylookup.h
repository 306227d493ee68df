#pragma once

#include <QString>

#include <optional>

namespace eschf {

class XmlElement;

// The organisation lookups the header and document mapping need, answered from the directory.
class PartyLookup
{
public:
    virtual ~PartyLookup() = default;

    // Principal and vendor: the first organisation with that taxpayer number, any branch.
    virtual std::optional<int> organisationByUnn(const QString& unn) = 0;
    // The recipient of an ordinary invoice; nothing when the directory has none.
    virtual std::optional<int> recipient(const XmlElement& root) = 0;
    // The first consignee's organisation; 0 when the directory has none.
    virtual int consignee(const XmlElement& root) = 0;
};

} // namespace eschf
