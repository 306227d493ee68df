#pragma once

#include <QString>

#include <exception>

namespace eschf {

// The one exception of the program. Its message is meant for the operator: it never carries a
// password, and the import keeps it as the reason a file failed.
class Error : public std::exception
{
public:
    explicit Error(QString message);

    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

} // namespace eschf
