#include "support/MessageRecorder.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

MessageRecorder::MessageRecorder() {
    m_oldMessages = msg::setMessageHandler([this](const msg::Request &r) {
        messages.append(r);
        if (!answers.empty()) {
            const msg::Answer a = answers.front();
            answers.pop_front();
            return a;
        }
        return r.buttons == msg::Buttons::YesNo ? msg::Answer::No : msg::Answer::Ok;
    });
    m_oldDialogs = msg::setDialogHandler([this](QDialog &d) {
        dialogs.append(QString::fromLatin1(d.metaObject()->className()));
        if (onDialog)
            return onDialog(d);
        return int(QDialog::Rejected);
    });
}

MessageRecorder::~MessageRecorder() {
    msg::setMessageHandler(std::move(m_oldMessages));
    msg::setDialogHandler(std::move(m_oldDialogs));
}

QStringList MessageRecorder::texts() const {
    QStringList out;
    for (const msg::Request &r : messages)
        out.append(r.text);
    return out;
}

int answerWithReturnOn(QDialog &Dialog, const QString &ButtonName, bool &closedByReturn) {
    Dialog.show();
    Dialog.activateWindow();
    auto *button = Dialog.findChild<QPushButton *>(ButtonName);
    if (!button) {
        ADD_FAILURE() << "no button " << ButtonName.toStdString() << " in the dialog";
        closedByReturn = false;
        Dialog.hide();
        return QDialog::Rejected;
    }
    button->setFocus();
    QCoreApplication::processEvents();
    QTest::keyClick(button, Qt::Key_Return);
    closedByReturn = !Dialog.isVisible();
    Dialog.hide();
    return Dialog.result();
}
