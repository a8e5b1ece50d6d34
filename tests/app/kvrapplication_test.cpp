// The application's default handler: an exception that escapes an event
// handler is shown with the title "KVR" and a stop icon, and the program
// carries on.
//
// This test program needs the program's own application object, so it has
// its own main(); the shared one in tests/support is then not linked in.

#include "support/MessageRecorder.h"

#include "shell/ProgramIcon.h"
#include "shell/UnitConsts.h"
#include "app/KvrApplication.h"
#include "store/Dataset.h"

#include <QImage>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// A widget whose key handler throws what the test gives it.
class Thrower : public QWidget {
public:
    std::function<void()> onKey;

protected:
    void keyPressEvent(QKeyEvent *) override {
        if (onKey)
            onKey();
    }
};

} // namespace

TEST(DefaultHandler, TheApplicationIsTheProgramsOwn) {
    EXPECT_NE(qobject_cast<KvrApplication *>(QCoreApplication::instance()), nullptr);
}

TEST(ProgramIcon, EveryWindowShowsTheProgramsOwnIcon) {
    const QIcon icon = QApplication::windowIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.availableSizes(), ProgramIcon().availableSizes());
    // A work window in the main window's work area, as the title bar and
    // the menu bar of a maximised one show it.
    QMdiArea area;
    QMdiSubWindow *work = area.addSubWindow(new QWidget);
    EXPECT_EQ(work->windowIcon().cacheKey(), icon.cacheKey());
    const QImage shown = work->windowIcon().pixmap(16, 16).toImage();
    EXPECT_EQ(shown, ProgramIcon().pixmap(16, 16).toImage());
}

TEST(DefaultHandler, AStoreErrorInAClickHandlerIsShownAndTheProgramCarriesOn) {
    MessageRecorder rec;
    QPushButton failing;
    QPushButton working;
    int workingClicks = 0;
    QObject::connect(&failing, &QPushButton::clicked, [] {
        throw store::StoreError(QStringLiteral("Таблица \"OTHE2016\" не найдена"));
    });
    QObject::connect(&working, &QPushButton::clicked, [&] { ++workingClicks; });
    failing.show();
    working.show();

    QTest::mouseClick(&failing, Qt::LeftButton);
    ASSERT_EQ(rec.messages.size(), 1);
    EXPECT_EQ(rec.messages[0].title, QStringLiteral("KVR"));
    EXPECT_EQ(rec.messages[0].text, QStringLiteral("Таблица \"OTHE2016\" не найдена"));
    EXPECT_EQ(rec.messages[0].icon, msg::Icon::Critical);
    EXPECT_EQ(rec.messages[0].buttons, msg::Buttons::Ok);

    // The same button and another one still work afterwards.
    QTest::mouseClick(&working, Qt::LeftButton);
    EXPECT_EQ(workingClicks, 1);
    QTest::mouseClick(&failing, Qt::LeftButton);
    EXPECT_EQ(rec.messages.size(), 2);
}

TEST(DefaultHandler, AFileErrorInAKeyHandlerIsShownWithItsText) {
    MessageRecorder rec;
    Thrower w;
    w.onKey = [] { throw FileError(QStringLiteral("Не удалось открыть файл C:\\WED\\F1.DBF")); };
    w.show();
    QTest::keyClick(&w, Qt::Key_A);
    ASSERT_EQ(rec.messages.size(), 1);
    EXPECT_EQ(rec.messages[0].text, QStringLiteral("Не удалось открыть файл C:\\WED\\F1.DBF"));
    EXPECT_EQ(rec.messages[0].title, QStringLiteral("KVR"));
}

TEST(DefaultHandler, AnythingElseThrownIsShownAsAnUnknownError) {
    MessageRecorder rec;
    Thrower w;
    w.onKey = [] { throw 42; };
    w.show();
    QTest::keyClick(&w, Qt::Key_A);
    ASSERT_EQ(rec.messages.size(), 1);
    EXPECT_EQ(rec.messages[0].text, QStringLiteral("Неизвестная ошибка."));
    EXPECT_EQ(rec.messages[0].icon, msg::Icon::Critical);
}

TEST(DefaultHandler, AnExceptionInAPostedCallIsShownToo) {
    MessageRecorder rec;
    QObject target;
    QMetaObject::invokeMethod(
        &target, [] { throw std::runtime_error("сбой"); }, Qt::QueuedConnection);
    QCoreApplication::processEvents();
    ASSERT_EQ(rec.messages.size(), 1);
    EXPECT_EQ(rec.messages[0].text, QStringLiteral("сбой"));
}

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                    : qgetenv("QT_QPA_PLATFORM"));
    KvrApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
