#include "settings/invpredprsmessages.h"

#include <QAbstractButton>
#include <QMessageBox>

namespace eschf::invpredprs {

namespace {

AskHandler& handler()
{
    static AskHandler current;
    return current;
}

} // namespace

bool ask(QWidget* parent, Ask kind, const QString& text)
{
    if (handler())
        return handler()(kind, text);
    if (kind == Ask::Question) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Подтверждение"), text,
                        QMessageBox::Yes | QMessageBox::No, parent);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
        box.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    }
    QMessageBox::critical(parent, QStringLiteral("Ошибка"), text, QMessageBox::Ok);
    return true;
}

void setAskHandler(AskHandler newHandler)
{
    handler() = std::move(newHandler);
}

} // namespace eschf::invpredprs
