#include "shell/GuardedCall.h"

#include "shell/Messages.h"
#include "store/ExceptionText.h"

#include <QApplication>
#include <QString>

#include <exception>

void GuardedCall(const std::function<void()> &handler) {
    QString text;
    try {
        handler();
        return;
    } catch (...) {
        text = ExceptionText(std::current_exception());
    }
    QApplication::restoreOverrideCursor();
    msg::show(QStringLiteral("KVR"), text, msg::Icon::Critical);
}
