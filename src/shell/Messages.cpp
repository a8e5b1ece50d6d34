#include "shell/Messages.h"

#include "shell/FixedDialog.h"

#include <QApplication>
#include <QDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>

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
    const std::unique_ptr<QMessageBox> box = messageBox(r, QApplication::activeWindow());
    switch (box->exec()) {
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

std::unique_ptr<QMessageBox> messageBox(const Request &r, QWidget *parent) {
    auto box = std::make_unique<QMessageBox>(toQt(r.icon), r.title, displayText(r.text),
                                             QMessageBox::NoButton, parent);
    switch (r.buttons) {
    case Buttons::Ok:
        box->setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::YesNo:
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
        box->button(QMessageBox::No)->setText(QStringLiteral("Нет"));
        break;
    case Buttons::OkCancel:
        box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box->button(QMessageBox::Cancel)->setText(QStringLiteral("Отмена"));
        break;
    }
    SetDialogBorder(*box);
    // The box makes itself as wide as its text and buttons, and leaves for
    // the title only what a title bar drawn inside a window takes: a strut
    // across its grid asks for the width that a window manager's title bar
    // needs for the whole title.
    if (auto *grid = qobject_cast<QGridLayout *>(box->layout())) {
        const QMargins margins = grid->contentsMargins();
        grid->addItem(new QSpacerItem(TitleBarWidth(*box) - margins.left() - margins.right(), 0,
                                      QSizePolicy::Fixed, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    return box;
}

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
