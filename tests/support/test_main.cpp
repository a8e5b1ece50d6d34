#include <QApplication>

#include "shell/Messages.h"
#include "support/TwoCopies.h"

#include <QDialog>

#include <gtest/gtest.h>

// One QApplication for every test program, so that widget tests and plain
// tests share one entry point. Tests run offscreen (see tests/CMakeLists.txt).
int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                    : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    // Started again as another copy of the program: its role, no tests.
    if (const std::optional<int> copy = testsupport::runCopyIfAsked(argc, argv))
        return *copy;
    testing::InitGoogleTest(&argc, argv);
    // A message or dialog that no test expected must not block the run
    // waiting for a click: it fails the test that showed it.
    msg::setMessageHandler([](const msg::Request &r) {
        ADD_FAILURE() << "unexpected message: " << r.title.toStdString() << ": "
                      << r.text.toStdString();
        return r.buttons == msg::Buttons::YesNo ? msg::Answer::No : msg::Answer::Ok;
    });
    msg::setDialogHandler([](QDialog &d) {
        ADD_FAILURE() << "unexpected dialog: " << d.metaObject()->className();
        return int(QDialog::Rejected);
    });
    return RUN_ALL_TESTS();
}
