#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace eschf {

enum class MessageKind
{
    Error,
    Warning,
    Information,
};

// Every message of the windows goes through here: a modal box with one OK button, returning when
// the operator has closed it. Window thread only.
void showMessage(QWidget* parent, MessageKind kind, const QString& text);

// While a handler is set it receives each message instead of the box (the tests answer them).
using MessageHandler = std::function<void(MessageKind kind, const QString& text)>;
void setMessageHandler(MessageHandler handler);

} // namespace eschf
