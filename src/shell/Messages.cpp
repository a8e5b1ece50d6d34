#include "shell/Messages.h"

#include "shell/FixedDialog.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>

namespace msg {
namespace {

MessageHandler &messageHandler() {
    static MessageHandler handler;
    return handler;
}

DialogHandler &dialogHandler() {
    static DialogHandler handler;
    return handler;
}

QMessageBox::Icon toQt(Icon icon) {
    switch (icon) {
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Warning:
        return QMessageBox::Warning;
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

Answer showWindow(const Request &r) {
    QMessageBox box(toQt(r.icon), r.title, displayText(r.text), QMessageBox::NoButton,
                    QApplication::activeWindow());
    switch (r.buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
        box.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.button(QMessageBox::Cancel)->setText(QStringLiteral("Отмена"));
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        return r.buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    }
}

} // namespace

QString displayText(const QString &text) {
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

Answer show(const QString &title, const QString &text, Icon icon, Buttons buttons) {
    return show(Request{title, text, icon, buttons});
}

Answer show(const Request &request) {
    if (messageHandler())
        return messageHandler()(request);
    return showWindow(request);
}

int exec(QDialog &dialog) {
    PrepareModalDialog(dialog);
    if (dialogHandler())
        return dialogHandler()(dialog);
    return dialog.exec();
}

MessageHandler setMessageHandler(MessageHandler handler) {
    MessageHandler old = std::move(messageHandler());
    messageHandler() = std::move(handler);
    return old;
}

DialogHandler setDialogHandler(DialogHandler handler) {
    DialogHandler old = std::move(dialogHandler());
    dialogHandler() = std::move(handler);
    return old;
}

} // namespace msg
