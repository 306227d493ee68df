#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace eschf::invpredprs {

enum class Ask
{
    Error,    // one OK button
    Question, // Yes and No
};

// The branch redirection window's message boxes: modal, returning when the operator has answered;
// true for Yes (and for OK). Window thread only.
bool ask(QWidget* parent, Ask kind, const QString& text);

// While a handler is set it answers each message instead of the box (the tests use it).
using AskHandler = std::function<bool(Ask kind, const QString& text)>;
void setAskHandler(AskHandler handler);

} // namespace eschf::invpredprs
