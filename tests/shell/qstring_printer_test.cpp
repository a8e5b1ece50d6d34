// A QString in the message of a failed check reads as its text.

#include <QStringList>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

TEST(QStringPrinter, PrintsTheTextQuotedWithEscapes) {
    struct Case {
        QString text;
        std::string printed;
    };
    const Case cases[] = {
        {QString(), "\"\""},
        {QStringLiteral("Период: 2015 / 2016"), "\"Период: 2015 / 2016\""},
        {QStringLiteral("Таблица \"SCHOOL\" не найдена.\r\rC:\\KVR"),
         "\"Таблица \\\"SCHOOL\\\" не найдена.\\r\\rC:\\\\KVR\""},
        {QStringLiteral("a\tb\nc") + QChar(0x01), "\"a\\tb\\nc\\x01\""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(testing::PrintToString(c.text), c.printed);
}

TEST(QStringPrinter, PrintsEachItemOfAList) {
    EXPECT_EQ(testing::PrintToString(QStringList({QStringLiteral("Да"), QStringLiteral("Нет")})),
              "{ \"Да\", \"Нет\" }");
}

TEST(QStringPrinter, AFailedComparisonShowsBothTexts) {
    EXPECT_NONFATAL_FAILURE(EXPECT_EQ(QStringLiteral("Отчет"), QStringLiteral("Отчёт")),
                            "Which is: \"Отчёт\"");
}
