// The text shown for an exception is the same whichever library threw it.

#include "consolidation/SvodEngine.h"
#include "sheet/Sheet.h"
#include "shell/UnitConsts.h"
#include "store/Dataset.h"
#include "store/ExceptionText.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <new>
#include <stdexcept>
#include <system_error>

namespace {

QString textOf(const std::function<void()> &thrower) {
    try {
        thrower();
    } catch (...) {
        return ExceptionText(std::current_exception());
    }
    return QStringLiteral("nothing thrown");
}

} // namespace

TEST(ExceptionText, EachErrorReadsAsItsMessage) {
    const QString text = QStringLiteral("Файл «OTHE2024.DBF» не найден: ошибка ввода-вывода");
    struct Case {
        const char *name;
        std::function<void()> thrower;
        QString expected;
    };
    const Case cases[] = {
        {"StoreError", [&] { throw store::StoreError(text); }, text},
        {"FileError", [&] { throw FileError(text); }, text},
        {"SvodError", [&] { throw svod::SvodError(text); }, text},
        {"sheet::Error", [&] { throw sheet::Error(text); }, text},
        {"runtime_error", [] { throw std::runtime_error("disk full"); },
         QStringLiteral("disk full")},
        {"no memory", [] { throw std::bad_alloc(); }, QStringLiteral("Недостаточно памяти.")},
        {"system error", [] { throw std::system_error(ENOSPC, std::generic_category()); },
         QStringLiteral("Нет места на диске.")},
        {"empty text", [] { throw store::StoreError(QString()); },
         QStringLiteral("Неизвестная ошибка.")},
        {"no std::exception", [] { throw 42; }, QStringLiteral("Неизвестная ошибка.")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(textOf(c.thrower), c.expected);
    }
}

TEST(ExceptionText, ReadsTheCaughtExceptionAndNoneAtAll) {
    try {
        throw FileError(QStringLiteral("Не удалось записать файл"));
    } catch (const std::exception &e) {
        EXPECT_EQ(ExceptionText(e), QStringLiteral("Не удалось записать файл"));
    }
    EXPECT_EQ(ExceptionText(std::exception_ptr()), QStringLiteral("Неизвестная ошибка."));
}
