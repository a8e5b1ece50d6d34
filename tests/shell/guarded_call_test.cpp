// An error thrown by a window's event handler is shown as the program's
// default handler shows it, and the program carries on.

#include "shell/GuardedCall.h"
#include "store/Dataset.h"
#include "support/MessageRecorder.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(GuardedCall, ShowsTheErrorOfAnyHandlerAndCarriesOn) {
    MessageRecorder recorder;
    bool ran = false;
    GuardedCall([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(recorder.messages.isEmpty());

    GuardedCall([] { throw store::StoreError(QStringLiteral("Таблица \"SCHOOL\" не найдена.")); });
    GuardedCall([] { throw std::runtime_error("disk full"); });
    GuardedCall([] { throw 42; });
    ASSERT_EQ(recorder.messages.size(), 3);
    EXPECT_EQ(recorder.texts(),
              QStringList({QStringLiteral("Таблица \"SCHOOL\" не найдена."),
                           QStringLiteral("disk full"), QStringLiteral("Неизвестная ошибка.")}));
    for (const msg::Request &r : recorder.messages) {
        EXPECT_EQ(r.title, QStringLiteral("KVR"));
        EXPECT_EQ(r.icon, msg::Icon::Critical);
    }
}
