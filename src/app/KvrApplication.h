#pragma once
// The program's application object. Its notify() is the default handler of
// the program: an exception that escapes an event handler is shown with the
// application's title and a stop icon, and the program carries on. Its
// window icon, ProgramIcon(), is the icon of every window.

#include <QApplication>
#include <QString>

#include <exception>

class KvrApplication : public QApplication {
    Q_OBJECT
public:
    KvrApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    // The application's title, which the default handler's messages carry.
    static QString Title();
    // Shows the exception (its text as ExceptionText gives it) as the
    // default handler does. Event handlers that catch their own exceptions
    // use it to report them the same way.
    static void HandleException(std::exception_ptr error);
};
