#include "support/MessageRecorder.h"

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
