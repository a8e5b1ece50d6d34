#pragma once
// The one seam through which every message box and modal dialog of the
// program is shown. The program installs handlers that show real windows;
// tests install handlers that record the request and answer it.

#include <QString>

#include <functional>
#include <memory>

class QDialog;
class QMessageBox;
class QWidget;

namespace msg {

enum class Icon { None, Information, Warning, Critical, Question };
enum class Buttons { Ok, YesNo, OkCancel };
enum class Answer { Ok, Yes, No, Cancel };

struct Request {
    QString title;
    QString text; // "\r" stands for a line break, as the program's texts are written
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;
};

using MessageHandler = std::function<Answer(const Request &)>;
// Called instead of QDialog::exec(); returns the dialog's result code.
using DialogHandler = std::function<int(QDialog &)>;

// Shows a message box and returns the button pressed.
Answer show(const QString &title, const QString &text, Icon icon = Icon::None,
            Buttons buttons = Buttons::Ok);
Answer show(const Request &request);

// Shows a modal dialog and returns its result (QDialog::Accepted / Rejected).
// The dialog is first prepared as PrepareModalDialog (FixedDialog.h) says.
int exec(QDialog &dialog);

// The message box that the default handler shows for the request, not yet
// shown: the dialog title bar with the close box only (FixedDialog.h), and
// wide enough for its whole title.
std::unique_ptr<QMessageBox> messageBox(const Request &request, QWidget *parent = nullptr);

// Installs a handler; an empty function restores the default one, which
// shows real windows. Returns the handler that was installed before.
MessageHandler setMessageHandler(MessageHandler handler);
DialogHandler setDialogHandler(DialogHandler handler);

// The text as a window shows it: "\r\n" and "\r" become "\n".
QString displayText(const QString &text);

} // namespace msg
