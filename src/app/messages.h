#pragma once

#include <QString>

#include <functional>
#include <optional>

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

// Asks for the name of a CSV file to write, suggesting one; none when the operator cancels.
std::optional<QString> askSaveFileName(QWidget* parent, const QString& title, const QString& suggestion);

// While a handler is set it answers instead of the dialog (the tests name their files).
using SaveFileNameHandler = std::function<std::optional<QString>(const QString& suggestion)>;
void setSaveFileNameHandler(SaveFileNameHandler handler);

} // namespace eschf
