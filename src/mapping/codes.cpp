#include "mapping/codes.h"

#include <array>

namespace eschf::codes {

namespace {

// The code is the position in the list, counted from 1; the order is the code.
template <std::size_t N>
int positionIn(const std::array<QStringView, N>& keywords, QStringView text)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (keywords[i] == text)
            return static_cast<int>(i) + 1;
    }
    return 0;
}

constexpr std::array<QStringView, 4> kDocumentTypes = {u"ORIGINAL", u"ADDITIONAL", u"FIXED",
                                                       u"ADD_NO_REFERENCE"};

constexpr std::array<QStringView, 8> kProviderStatuses = {
    u"SELLER", u"CONSIGNOR", u"COMMISSIONAIRE", u"TRUSTEE", u"TAX_DEDUCTION_PAYER", u"FOREIGN_ORGANIZATION",
    u"AGENT",  u"DEVELOPER"};

constexpr std::array<QStringView, 6> kRecipientStatuses = {u"CUSTOMER",
                                                           u"CONSIGNOR",
                                                           u"COMMISSIONAIRE",
                                                           u"CONSUMER",
                                                           u"TAX_DEDUCTION_RECIPIENT",
                                                           u"FOREIGN_ORGANIZATION_BUYER"};

constexpr std::array<QStringView, 4> kRateTypes = {u"DECIMAL", u"ZERO", u"NO_VAT", u"CALCULATED"};

constexpr std::array<QStringView, 9> kDescriptions = {
    u"DEDUCTION_IN_FULL", u"VAT_EXEMPTION",  u"OUTSIDE_RB",      u"IMPORT_VAT",   u"EXCISE_MARK",
    u"CONTROL_MARK",      u"CUSTOMS_EXCISE", u"IDENTIFIED_MARK", u"ANALYZED_DEAL"};

} // namespace

int DocumentTypeCode(QStringView text)
{
    return positionIn(kDocumentTypes, text);
}

int ProviderStatusCode(QStringView text)
{
    return positionIn(kProviderStatuses, text);
}

int RecipientStatusCode(QStringView text)
{
    return positionIn(kRecipientStatuses, text);
}

int RateTypeCode(QStringView text)
{
    return positionIn(kRateTypes, text);
}

int DescriptionCode(QStringView text)
{
    return positionIn(kDescriptions, text);
}

} // namespace eschf::codes
