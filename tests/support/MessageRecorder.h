#pragma once
// Answers the program's message boxes and modal dialogs in tests, and keeps
// what was asked, so a test can check texts, titles and icons.
//
//   MessageRecorder rec;                 // installed for this scope
//   rec.answers = {msg::Answer::Yes};    // answers to give, in order
//   ... run the code ...
//   ASSERT_EQ(rec.messages.size(), 1);
//   EXPECT_EQ(rec.messages[0].text, "...");
//
// Messages beyond the given answers are answered Ok (or No for a question).
// Modal dialogs are handed to `onDialog`; without it they are rejected.

#include "shell/Messages.h"

#include <QDialog>
#include <QList>

#include <deque>
#include <functional>

class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder &) = delete;
    MessageRecorder &operator=(const MessageRecorder &) = delete;

    QList<msg::Request> messages;
    std::deque<msg::Answer> answers;
    QList<QString> dialogs; // class names of the dialogs shown, in order
    std::function<int(QDialog &)> onDialog;

    QStringList texts() const;

private:
    msg::MessageHandler m_oldMessages;
    msg::DialogHandler m_oldDialogs;
};

// Shows the dialog as the user sees it, puts the focus on the named button
// and presses Return there, as a keyboard user answers a question. Returns
// the dialog's result; closedByReturn tells whether Return closed it.
int answerWithReturnOn(QDialog &Dialog, const QString &ButtonName, bool &closedByReturn);
