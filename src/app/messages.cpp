#include "app/messages.h"

#include <QFileDialog>
#include <QMessageBox>

namespace eschf {

namespace {

MessageHandler& handler()
{
    static MessageHandler current;
    return current;
}

SaveFileNameHandler& saveFileNameHandler()
{
    static SaveFileNameHandler current;
    return current;
}

// The run's summary separates its lines by LF CR, which a label draws as two breaks: on screen
// each pair is one break, the text handed on keeps its own separators.
QString shownText(QString text)
{
    text.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

} // namespace

void showMessage(QWidget* parent, MessageKind kind, const QString& text)
{
    if (handler()) {
        handler()(kind, text);
        return;
    }
    const QString shown = shownText(text);
    switch (kind) {
    case MessageKind::Error:
        QMessageBox::critical(parent, QStringLiteral("Ошибка"), shown, QMessageBox::Ok);
        break;
    case MessageKind::Warning:
        QMessageBox::warning(parent, QStringLiteral("Предупреждение"), shown, QMessageBox::Ok);
        break;
    case MessageKind::Information:
        QMessageBox::information(parent, QStringLiteral("Информация"), shown, QMessageBox::Ok);
        break;
    }
}

void setMessageHandler(MessageHandler newHandler)
{
    handler() = std::move(newHandler);
}

std::optional<QString> askSaveFileName(QWidget* parent, const QString& title, const QString& suggestion)
{
    if (saveFileNameHandler())
        return saveFileNameHandler()(suggestion);
    QFileDialog dialog(parent, title, suggestion, QStringLiteral("CSV (*.csv)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.selectFile(suggestion);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

void setSaveFileNameHandler(SaveFileNameHandler newHandler)
{
    saveFileNameHandler() = std::move(newHandler);
}

} // namespace eschf
