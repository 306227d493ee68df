#pragma once

#include <QStringView>

namespace eschf::codes {

// A keyword's position in its list, counted from 1; 0 for any other text. Exact and case-sensitive.
int DocumentTypeCode(QStringView text);
int ProviderStatusCode(QStringView text);
int RecipientStatusCode(QStringView text);
int RateTypeCode(QStringView text);
int DescriptionCode(QStringView text);

} // namespace eschf::codes
