#include "app/messages.h"

#include <QMessageBox>

namespace eschf {

namespace {

MessageHandler& handler()
{
    static MessageHandler current;
    return current;
}

} // namespace

void showMessage(QWidget* parent, MessageKind kind, const QString& text)
{
    if (handler()) {
        handler()(kind, text);
        return;
    }
    switch (kind) {
    case MessageKind::Error:
        QMessageBox::critical(parent, QStringLiteral("Ошибка"), text, QMessageBox::Ok);
        break;
    case MessageKind::Warning:
        QMessageBox::warning(parent, QStringLiteral("Предупреждение"), text, QMessageBox::Ok);
        break;
    case MessageKind::Information:
        QMessageBox::information(parent, QStringLiteral("Информация"), text, QMessageBox::Ok);
        break;
    }
}

void setMessageHandler(MessageHandler newHandler)
{
    handler() = std::move(newHandler);
}

} // namespace eschf
