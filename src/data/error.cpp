#include "data/error.h"

namespace eschf {

Error::Error(QString message, std::optional<ValuePlace> place)
    : m_message(std::move(message)), m_utf8(m_message.toUtf8()), m_place(std::move(place))
{
}

} // namespace eschf
