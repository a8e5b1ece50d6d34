#include "shell/mainwindow/KvrApplication.h"

#include "shell/Messages.h"

KvrApplication::KvrApplication(int &argc, char **argv) : QApplication(argc, argv) {}

QString KvrApplication::Title() {
    return QStringLiteral("KVR");
}

QString KvrApplication::ExceptionText(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        // The program's own errors carry UTF-8 texts.
        const QString text = QString::fromUtf8(e.what());
        return text.isEmpty() ? QStringLiteral("Неизвестная ошибка.") : text;
    } catch (...) {
        return QStringLiteral("Неизвестная ошибка.");
    }
}

void KvrApplication::HandleException(std::exception_ptr error) {
    const QString text = ExceptionText(error);
    try {
        msg::show(Title(), text, msg::Icon::Critical, msg::Buttons::Ok);
    } catch (...) {
        // Nothing more can be shown; the program carries on.
    }
}

bool KvrApplication::notify(QObject *receiver, QEvent *event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException(std::current_exception());
    }
    return false;
}
