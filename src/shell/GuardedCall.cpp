#include "shell/GuardedCall.h"

#include "shell/Messages.h"

#include <QApplication>
#include <QString>

#include <exception>

void GuardedCall(const std::function<void()> &handler) {
    QString text;
    try {
        handler();
        return;
    } catch (const std::exception &e) {
        // The program's own errors carry UTF-8 texts.
        text = QString::fromUtf8(e.what());
    } catch (...) {
    }
    if (text.isEmpty())
        text = QStringLiteral("Неизвестная ошибка.");
    QApplication::restoreOverrideCursor();
    msg::show(QStringLiteral("KVR"), text, msg::Icon::Critical);
}
