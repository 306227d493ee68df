#pragma once

#include <QString>

#include <exception>
#include <optional>

namespace eschf {

// Where in the invoice a failure lies: the element's path from the root as the file writes it and,
// for a value of the roster, the item's position (from 1).
struct ValuePlace
{
    QString element;
    int item = 0;

    bool operator==(const ValuePlace&) const = default;
};

// The one exception of the program. Its message is meant for the operator: it never carries a
// password, and the import keeps it as the reason a file failed. The place, when the thrower knows
// it, travels beside the message so that nobody has to read it back out of the text.
class Error : public std::exception
{
public:
    explicit Error(QString message, std::optional<ValuePlace> place = std::nullopt);

    const QString& message() const noexcept { return m_message; }
    const std::optional<ValuePlace>& place() const noexcept { return m_place; }
    // The database gave up waiting for a lock another connection holds (SQL Server's lock timeout).
    bool lockTimedOut() const noexcept { return m_lockTimedOut; }
    Error& markLockTimedOut()
    {
        m_lockTimedOut = true;
        return *this;
    }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
    std::optional<ValuePlace> m_place;
    bool m_lockTimedOut = false;
};

} // namespace eschf
