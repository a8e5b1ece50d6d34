#include <QApplication>

#include <gtest/gtest.h>

// One QApplication for every test program, so that widget tests and plain
// tests share one entry point. Tests run offscreen (see tests/CMakeLists.txt).
int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                     : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
