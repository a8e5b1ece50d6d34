// The formula language: values, error codes and positions as the users see
// them, the fields kept between two texts, and the limits of the language.

#include "checks/FormulUtil.h"
#include "checks/UserFunctions.h"

#include <QString>

#include <gtest/gtest.h>

#include <cfenv>
#include <clocale>
#include <cmath>
#include <string>

namespace {

constexpr long double kPi = 3.14159265358979323873L;

struct Outcome {
    long double value;
    std::uint8_t code;
    std::uint16_t pos;
};

Outcome run(const QString &text) {
    TFormula f;
    f.SetText(text);
    return {f.Value(), f.ErrorCode(), f.ErrorPos()};
}

struct ValueCase {
    const char *text;
    long double value;
};

class ArithmeticValue : public testing::TestWithParam<ValueCase> {};

TEST_P(ArithmeticValue, EvaluatesWithoutError) {
    TFormula f;
    f.SetText(QString::fromUtf8(GetParam().text));
    EXPECT_EQ(f.ErrorCode(), 0) << GetParam().text << " at " << f.ErrorPos();
    EXPECT_EQ(f.ErrorPos(), 0);
    EXPECT_FALSE(f.IsLogical());
    EXPECT_EQ(f.Value(), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Language, ArithmeticValue,
    testing::Values(ValueCase{"", 0}, ValueCase{"   ", 0}, ValueCase{"2+3*4", 14},
                    ValueCase{"10-4-3", 3}, ValueCase{"8/4/2", 1}, ValueCase{"2*(3+4)", 14},
                    ValueCase{"-5+2", -3}, ValueCase{"-2*3", -6}, ValueCase{"-2-3", -5},
                    ValueCase{"2*(-3)", -6}, ValueCase{"1,5+1", 2.5L}, ValueCase{",5*2", 1},
                    ValueCase{"1 000 + 1", 1001}, ValueCase{"sin(0)", 0},
                    ValueCase{"S I N(0)+1", 1}, ValueCase{"SQRT()", 0}, ValueCase{"(2)", 2},
                    ValueCase{"((1+2)*(3-1))/4", 1.5L}, ValueCase{"12.", 12},
                    ValueCase{"0007,50", 7.5L},
                    // every number of a text starts its own separator count
                    ValueCase{",5+,5", 1}, ValueCase{"1,5*,5", 0.75L},
                    // extended precision, read without the locale's help
                    ValueCase{"1/3", 1.0L / 3.0L}, ValueCase{"0,1+0,2", 0.1L + 0.2L},
                    ValueCase{"123456789012345678901234567890", 123456789012345678901234567890.0L},
                    ValueCase{"0,0000000000000000000000000000001", 1e-31L}),
    [](const testing::TestParamInfo<ValueCase> &info) {
        return "Case" + std::to_string(info.index);
    });

struct FunctionCase {
    const char *text;
    long double value;
};

class BuiltInFunction : public testing::TestWithParam<FunctionCase> {};

TEST_P(BuiltInFunction, EvaluatesWithoutError) {
    const Outcome o = run(QString::fromUtf8(GetParam().text));
    EXPECT_EQ(o.code, 0) << GetParam().text;
    EXPECT_EQ(o.value, GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Functions, BuiltInFunction,
    testing::Values(
        FunctionCase{"NULL(5)*3", 0}, FunctionCase{"ПИ*2", 2 * kPi}, FunctionCase{"пи()", kPi},
        FunctionCase{"СИНУС(0)", 0}, FunctionCase{"КОСИНУС(0)+COS(0)", 2},
        FunctionCase{"LOG(100)", 2}, FunctionCase{"EXP(0)", 1}, FunctionCase{"ЭКСП(0)", 1},
        FunctionCase{"КОРЕНЬ(16)+SQRT(9)", 7}, FunctionCase{"LN(1)", 0}, FunctionCase{"TG(0)", 0},
        FunctionCase{"SIN(COS(0)-1)", 0}, FunctionCase{"ROUND(2,5)", 2},
        FunctionCase{"ROUND(3,5)", 4}, FunctionCase{"ROUND(-2,5)", -2},
        FunctionCase{"ROUND(-3,5)", -4}, FunctionCase{"ROUND(0,5)", 0},
        FunctionCase{"ROUND(2,4999)", 2}, FunctionCase{"ROUND(2,5001)", 3},
        FunctionCase{"ROUND(9223372036854775807)", 9223372036854775807.0L},
        FunctionCase{"ROUND(-9223372036854775808)", -9223372036854775808.0L},
        // an operator may follow an empty call or group
        FunctionCase{"ПИ()*2", 2 * kPi}, FunctionCase{"SQRT()+1", 1}, FunctionCase{"(SQRT())*2", 0},
        FunctionCase{"SQRT()-1", -1}, FunctionCase{"()*2", 0}, FunctionCase{"ПИ()/ПИ()", 1},
        // a power of ten has its exact logarithm
        FunctionCase{"LOG(1000)", 3}, FunctionCase{"LOG(10)", 1}, FunctionCase{"LOG(1)", 0},
        FunctionCase{"LOG(1000000000000000000000)", 21}),
    [](const testing::TestParamInfo<FunctionCase> &info) {
        return "Case" + std::to_string(info.index);
    });

struct ErrorCase {
    const char *text;
    int code;
    int pos;
};

class ArithmeticError : public testing::TestWithParam<ErrorCase> {};

TEST_P(ArithmeticError, ReportsCodeAndPosition) {
    TFormula f;
    f.SetText(QString::fromUtf8(GetParam().text));
    EXPECT_EQ(f.ErrorCode(), GetParam().code) << GetParam().text;
    EXPECT_EQ(f.ErrorPos(), GetParam().pos) << GetParam().text;
    EXPECT_EQ(f.Value(), 0) << GetParam().text;
    EXPECT_FALSE(f.IsLogical());
}

INSTANTIATE_TEST_SUITE_P(
    Language, ArithmeticError,
    testing::Values(ErrorCase{"2*-3", 6, 3}, ErrorCase{"1.2.3", 3, 4}, ErrorCase{"1 . 2 . 3", 3, 7},
                    ErrorCase{"ABC(1)", 2, 4}, ErrorCase{"2*ABC", 2, 5}, ErrorCase{"2*ABC+1", 2, 6},
                    ErrorCase{"LOG10(1)", 2, 6}, ErrorCase{"ПИ,5", 2, 3}, ErrorCase{"2(3)", 4, 2},
                    ErrorCase{"2ПИ", 4, 2}, ErrorCase{"(1)2", 4, 4}, ErrorCase{"(1+2", 5, 4},
                    ErrorCase{"1)", 5, 2}, ErrorCase{"1+", 6, 2}, ErrorCase{"1 +  ", 6, 3},
                    ErrorCase{"*2", 6, 1}, ErrorCase{"(*2)", 6, 2}, ErrorCase{"(1+)", 6, 4},
                    ErrorCase{"1/0", 8, 0}, ErrorCase{"0/0", 8, 0}, ErrorCase{"1/(2-2)", 8, 0},
                    // an operand right after a closing parenthesis
                    ErrorCase{"(1)(2)", 4, 4}, ErrorCase{"(1),5", 4, 4}, ErrorCase{"()5", 4, 3},
                    ErrorCase{"()X", 4, 3}, ErrorCase{"SIN()2", 4, 6}, ErrorCase{"ПИ()(1)", 4, 5},
                    // reserved characters, reported where they were typed
                    ErrorCase{"1 & 2", 1, 3}, ErrorCase{"{SIN(1)}", 1, 1}, ErrorCase{"2 + }", 1, 5},
                    ErrorCase{"5!", 1, 2}),
    [](const testing::TestParamInfo<ErrorCase> &info) {
        return "Case" + std::to_string(info.index);
    });

class FunctionFault : public testing::TestWithParam<const char *> {};

TEST_P(FunctionFault, IsRunTimeErrorWithValueZero) {
    const Outcome o = run(QString::fromUtf8(GetParam()));
    EXPECT_EQ(o.code, 8) << GetParam();
    EXPECT_EQ(o.pos, 0) << GetParam();
    EXPECT_EQ(o.value, 0) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Functions, FunctionFault,
                         testing::Values("LN(0)", "LN(-1)", "LOG(0)", "SQRT(-4)", "КОРЕНЬ(-0,1)",
                                         "CTG(0)", "ЭКСП(12000)", "ROUND(9223372036854775808)",
                                         "ROUND(-9223372036854775809)"),
                         [](const testing::TestParamInfo<const char *> &info) {
                             return "Case" + std::to_string(info.index);
                         });

TEST(FormulaOverflow, SumProductAndLiteralBeyondRangeAreRunTimeErrors) {
    // ЭКСП(11000) is about 1e4777, within range; its square and sum are not.
    for (const char *text :
         {"ЭКСП(11000)*ЭКСП(11000)", "ЭКСП(11356)+ЭКСП(11356)", "-ЭКСП(11356)-ЭКСП(11356)"}) {
        const Outcome o = run(QString::fromUtf8(text));
        EXPECT_EQ(o.code, 8) << text;
        EXPECT_EQ(o.value, 0) << text;
    }
    const Outcome literal = run(QStringLiteral("1") + QString(5000, QLatin1Char('0')));
    EXPECT_EQ(literal.code, 8);
    EXPECT_EQ(literal.pos, 0);
    EXPECT_EQ(literal.value, 0);
    // A tiny quotient is no fault.
    EXPECT_EQ(run(QString::fromUtf8("1/ЭКСП(11000)/ЭКСП(11000)")).code, 0);
}

TEST(FormulaFunctions, PiIsTheLanguagesOwnLiteralNotTheNearestToPi) {
    const Outcome o = run(QString::fromUtf8("ПИ"));
    EXPECT_EQ(o.value, kPi);
    EXPECT_NE(o.value, 3.141592653589793238462643383279502884L);
}

TEST(FormulaFunctions, LookupIsExactAndCaseSensitive) {
    EXPECT_EQ(FindUserFunction(QStringLiteral("sin")), nullptr);
    EXPECT_EQ(FindUserFunction(QStringLiteral("SIN")), &UFSin);
    EXPECT_EQ(FindUserFunction(QString::fromUtf8("СИНУС")), &UFSin);
    EXPECT_EQ(FindUserFunction(QString::fromUtf8("ТАНГЕНС")), nullptr);
    EXPECT_EQ(FindUserFunction(QString::fromUtf8("PI")), nullptr);
    EXPECT_EQ(FindUserFunction(QString::fromUtf8("ПИ")), &UFPi);
    EXPECT_EQ(FindUserFunction(QString::fromUtf8("SIN ")), nullptr);
    EXPECT_EQ(FindUserFunction(QString()), nullptr);
}

TEST(FormulaFunctions, RoundDoesNotDependOnTheRoundingMode) {
    const int saved = std::fegetround();
    for (const int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        ASSERT_EQ(std::fesetround(mode), 0);
        const long double half = UFRound(2.5L), minusHalf = UFRound(-0.5L), twelve = UFRound(12.5L),
                          fourteen = UFRound(13.5L), minusTwo = UFRound(-2.5L),
                          minusThree = UFRound(-2.5000001L), two = UFRound(2.4999999L);
        const bool tooLarge = std::isnan(UFRound(1e30L));
        std::fesetround(saved);
        EXPECT_EQ(half, 2) << mode;
        EXPECT_EQ(minusHalf, 0) << mode;
        EXPECT_EQ(twelve, 12) << mode;
        EXPECT_EQ(fourteen, 14) << mode;
        EXPECT_EQ(minusTwo, -2) << mode;
        EXPECT_EQ(minusThree, -3) << mode;
        EXPECT_EQ(two, 2) << mode;
        EXPECT_TRUE(tooLarge) << mode;
    }
}

struct ConditionCase {
    const char *text;
    bool result;
};

class ConditionValue : public testing::TestWithParam<ConditionCase> {};

TEST_P(ConditionValue, EvaluatesWithoutError) {
    TFormula f;
    f.SetText(QString::fromUtf8(GetParam().text));
    EXPECT_TRUE(f.IsLogical()) << GetParam().text;
    EXPECT_EQ(f.ErrorCode(), 0) << GetParam().text << " at " << f.ErrorPos();
    EXPECT_EQ(f.LogicalResult(), GetParam().result) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Language, ConditionValue,
    testing::Values(ConditionCase{"5 > 3", true}, ConditionCase{"не 1 > 2", true},
                    ConditionCase{"1 = 1 И 2 < 1", false}, ConditionCase{"1 = 1 ИЛИ 2 < 1", true},
                    ConditionCase{"2 >= 2", true}, ConditionCase{"2 <> 2", false},
                    ConditionCase{"3 <= 2", false}, ConditionCase{"3 < 2", false},
                    ConditionCase{"1 > 2 ИЛИ 3 > 2 И 0 > 1", false},
                    ConditionCase{"(1 > 2 ИЛИ 3 > 2) И 0 < 1", true},
                    ConditionCase{"5 + 3 = 8 И 2 > 1", true}, ConditionCase{"12+7,5*2 = 27", true},
                    ConditionCase{"1,5 = 1.5", true}, ConditionCase{"1<2и2<3", true},
                    ConditionCase{"НЕ(1 > 2)", true}, ConditionCase{"НЕ 1 > 2 И НЕ 2 > 3", true},
                    ConditionCase{"1 > 2 ИЛИ НЕ 2 > 3", true},
                    // a double negation negates twice
                    ConditionCase{"НЕ НЕ 1 > 2", false}, ConditionCase{"НЕ НЕ НЕ 1 > 2", true},
                    ConditionCase{"1/3 = 1/3", true}, ConditionCase{"ПИ > 3,14159", true},
                    ConditionCase{"LOG(1000) = 3", true}, ConditionCase{"ПИ()*2 > 6", true},
                    ConditionCase{"1 < =2", true}, ConditionCase{"2 > = 2", true}),
    [](const testing::TestParamInfo<ConditionCase> &info) {
        return "Case" + std::to_string(info.index);
    });

class ConditionError : public testing::TestWithParam<ErrorCase> {};

TEST_P(ConditionError, ReportsCodeAndPositionInTheUsersText) {
    TFormula f;
    f.SetText(QString::fromUtf8(GetParam().text));
    EXPECT_EQ(f.ErrorCode(), GetParam().code) << GetParam().text;
    EXPECT_EQ(f.ErrorPos(), GetParam().pos) << GetParam().text;
    EXPECT_FALSE(f.LogicalResult()) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Language, ConditionError,
    testing::Values(ErrorCase{"1 > 2 > 3", 7, 7}, ErrorCase{"1 И 2", 7, 3}, ErrorCase{"5 >", 7, 3},
                    ErrorCase{"5 > ", 7, 3}, ErrorCase{"> 5", 7, 1},
                    // a word or a two-character comparison counts as the characters typed
                    ErrorCase{"1 > 2 ИЛИ 3", 7, 11}, ErrorCase{"1 ИЛИ 2", 7, 5},
                    ErrorCase{"1 <> 2 <> 3", 7, 9}, ErrorCase{"1 > 2 НЕ 3 > 4", 7, 8},
                    // ... also when blanks stand inside a comparison or between words
                    ErrorCase{"1 < > 2+", 6, 8}, ErrorCase{"НЕ  НЕ 1 > 2+", 6, 13},
                    ErrorCase{"1 > = 2 ИЛИ 3 > 1/0", 8, 15},
                    ErrorCase{"1 <  = 2 И 3 < > 4 И 5", 7, 22},
                    // operand errors, counted from the operand and carried onto the text
                    ErrorCase{"1 > 2+", 6, 6}, ErrorCase{"1 > 2 ИЛИ 3 > 2+", 6, 16},
                    ErrorCase{"1 > ABC", 2, 7}, ErrorCase{"ABC < 1", 2, 3},
                    ErrorCase{"1 >= 1.2.3", 3, 9}, ErrorCase{"(1 > 2+) И 1 > 0", 6, 7},
                    // run-time faults: the position just before the failing operand
                    ErrorCase{"1 > 1/0", 8, 3}, ErrorCase{"1/0 > 1", 8, 0},
                    ErrorCase{"1 > 0 И 1 <> 1/0", 8, 12}, ErrorCase{"(1 > 1/0)", 8, 4},
                    // a parenthesis left open: the comparison is not found at depth 0
                    ErrorCase{"(1 > 2", 7, 6},
                    // a logic word inside an operand
                    ErrorCase{"(1 > 2 И 3) > 4", 7, 10}),
    [](const testing::TestParamInfo<ErrorCase> &info) {
        return "Case" + std::to_string(info.index);
    });

TEST(FormulaCondition, RunTimeFaultInConditionKeepsItLogical) {
    TFormula f;
    f.SetText(QStringLiteral("1 > 1/0"));
    EXPECT_TRUE(f.IsLogical());
    EXPECT_FALSE(f.LogicalResult());
    EXPECT_EQ(f.ErrorCode(), 8);
}

TEST(FormulaCondition, ReservedCharacterReportsHowFarTheFirstPassGot) {
    TFormula f;
    f.SetText(QString::fromUtf8("5 > 3 #"));
    EXPECT_EQ(f.ErrorCode(), 1);
    EXPECT_EQ(f.ErrorPos(), 7);
    EXPECT_TRUE(f.IsLogical());
    f.SetText(QString::fromUtf8("# 5 > 3"));
    EXPECT_EQ(f.ErrorCode(), 1);
    EXPECT_EQ(f.ErrorPos(), 1);
    EXPECT_FALSE(f.IsLogical());
}

TEST(FormulaFields, ASecondTextKeepsWhatItDoesNotSet) {
    TFormula f;
    EXPECT_TRUE(f.Text().isEmpty());
    EXPECT_FALSE(f.IsLogical());
    EXPECT_EQ(f.Value(), 0);
    EXPECT_FALSE(f.LogicalResult());
    EXPECT_EQ(f.ErrorCode(), 0);
    EXPECT_EQ(f.ErrorPos(), 0);

    f.SetText(QStringLiteral("5 > 3"));
    EXPECT_TRUE(f.LogicalResult());
    f.SetText(QStringLiteral(" 7 "));
    EXPECT_EQ(f.Text(), QStringLiteral(" 7 "));
    EXPECT_EQ(f.Value(), 7);
    EXPECT_FALSE(f.IsLogical());
    EXPECT_TRUE(f.LogicalResult()); // untouched by an arithmetic text

    f.SetText(QStringLiteral("1 > 2"));
    EXPECT_FALSE(f.LogicalResult());
    EXPECT_EQ(f.Value(), 7); // untouched by a condition

    f.SetText(QStringLiteral("5 > 3"));
    f.SetText(QStringLiteral("1 > 2 > 3")); // the structure is wrong: nothing evaluated
    EXPECT_EQ(f.ErrorCode(), 7);
    EXPECT_TRUE(f.IsLogical());
    EXPECT_TRUE(f.LogicalResult());
    EXPECT_EQ(f.Value(), 7);

    f.SetText(QStringLiteral("2 & 3")); // reserved character: nothing evaluated
    EXPECT_EQ(f.ErrorCode(), 1);
    EXPECT_TRUE(f.LogicalResult());
    EXPECT_EQ(f.Value(), 7);

    f.SetText(QStringLiteral("1/0")); // an arithmetic error clears only the value
    EXPECT_EQ(f.Value(), 0);
    EXPECT_TRUE(f.LogicalResult());

    f.SetText(QStringLiteral("4"));
    f.SetText(QStringLiteral("1 > ABC")); // a condition error clears only the result
    EXPECT_FALSE(f.LogicalResult());
    EXPECT_EQ(f.Value(), 4);

    f.SetText(QStringLiteral("1+1"));
    EXPECT_EQ(f.ErrorCode(), 0);
    EXPECT_EQ(f.ErrorPos(), 0);
    EXPECT_EQ(f.Value(), 2);
}

TEST(FormulaLocale, DecimalCommaLocaleChangesNothing) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "ru_RU.utf8") == nullptr)
        GTEST_SKIP() << "no decimal-comma locale installed";
    const Outcome a = run(QStringLiteral("1.5+1,25"));
    const Outcome b = run(QStringLiteral("0,1000000000000000000000000000001*3"));
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(a.code, 0);
    EXPECT_EQ(a.value, 2.75L);
    EXPECT_EQ(b.code, 0);
    EXPECT_EQ(b.value, 0.1000000000000000000000000000001L * 3);
}

TEST(FormulaPasses, CallsAreBracketedAndNumbersNormalised) {
    std::u16string t = u"SIN(COS(1))+ПИ*,5";
    const FormulaError e = formula::NormaliseArithmetic(t);
    EXPECT_EQ(e.Code, 0);
    EXPECT_EQ(t, u"{SIN({COS(1)})}+{ПИ()}*0.5");
    std::u16string c = u"не 1 <> 2 или 3 >= 4 и 5 <= 6";
    FormulaError e2;
    EXPECT_TRUE(formula::TranslateLogicWords(c, e2));
    EXPECT_EQ(e2.Code, 0);
    EXPECT_EQ(c, u"!1#2^3?4&5$6");
}

TEST(FormulaPasses, PositionsMapOntoTheUsersText) {
    EXPECT_EQ(formula::MapErrorPosition(0, u" 1 + 2"), 0);
    EXPECT_EQ(formula::MapErrorPosition(1, u" 1 + 2"), 2);
    EXPECT_EQ(formula::MapErrorPosition(3, u" 1 + 2"), 6);
    EXPECT_EQ(formula::MapErrorPosition(4, u" 1 + 2"), 6); // beyond: the text's length
}

// -------------------------------------------------------------- limits

QString repeat(const QString &part, int times) {
    QString s;
    for (int i = 0; i < times; ++i)
        s += part;
    return s;
}

TEST(FormulaLimits, NestingUpToTheLimitEvaluates) {
    const int n = TFormula::MaxNestingDepth;
    const Outcome deep =
        run(repeat(QStringLiteral("1-("), n) + QStringLiteral("1") + QString(n, QLatin1Char(')')));
    EXPECT_EQ(deep.code, 0);
    EXPECT_EQ(deep.value, 0); // 1-(1-(1-...)) with an even count of ones
    const Outcome calls = run(repeat(QStringLiteral("SQRT("), n) + QStringLiteral("1") +
                              QString(n, QLatin1Char(')')));
    EXPECT_EQ(calls.code, 0);
    EXPECT_EQ(calls.value, 1);
}

TEST(FormulaLimits, NestingBeyondTheLimitIsAParenthesisError) {
    const int n = TFormula::MaxNestingDepth + 1;
    const QString text =
        repeat(QStringLiteral("("), n) + QStringLiteral("1") + QString(n, QLatin1Char(')'));
    const Outcome o = run(text);
    EXPECT_EQ(o.code, 5);
    EXPECT_EQ(o.pos, n);
    TFormula f;
    f.SetText(repeat(QStringLiteral("("), 100000) + QStringLiteral("1>0"));
    EXPECT_EQ(f.ErrorCode(), 6); // too long first
    f.SetText(QStringLiteral("1 > 0 И ") + text + QStringLiteral(" > 0"));
    EXPECT_EQ(f.ErrorCode(), 5);
    EXPECT_EQ(f.ErrorPos(), 8 + n);
    EXPECT_FALSE(f.LogicalResult());
}

TEST(FormulaLimits, LongTextsEvaluateAndTooLongOnesAreRejected) {
    const QString sum = QStringLiteral("1") + repeat(QStringLiteral("+1"), 30000);
    const Outcome o = run(sum);
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.value, 30001);

    const QString product = QStringLiteral("1") + repeat(QStringLiteral("*1"), 30000);
    EXPECT_EQ(run(product).value, 1);

    TFormula f;
    f.SetText(QStringLiteral("1 = 1") + repeat(QString::fromUtf8(" И 1 = 1"), 6000));
    EXPECT_EQ(f.ErrorCode(), 0);
    EXPECT_TRUE(f.LogicalResult());
    f.SetText(QStringLiteral("1 = 1") + repeat(QString::fromUtf8(" ИЛИ 1 = 2"), 4000));
    EXPECT_TRUE(f.LogicalResult());

    f.SetText(QStringLiteral("5"));
    f.SetText(QString(TFormula::MaxTextLength + 1, QLatin1Char('1')));
    EXPECT_EQ(f.ErrorCode(), 6);
    EXPECT_EQ(f.ErrorPos(), TFormula::MaxTextLength);
    EXPECT_EQ(f.Value(), 5);
    f.SetText(QString(TFormula::MaxTextLength, QLatin1Char(' ')));
    EXPECT_EQ(f.ErrorCode(), 0);
}

// Random texts over the language's characters: every one gives a code of
// the set with a position inside the text, and none brings the program down.
TEST(FormulaRobustness, RandomTextsGiveCodesWithinTheText) {
    const QString alphabet = QString::fromUtf8("0123456789+-*/(),. <>=ИЛНЕSQRTПИAB&");
    std::uint64_t state = 12345;
    auto next = [&state](int n) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return int((state >> 33) % std::uint64_t(n));
    };
    TFormula f;
    for (int k = 0; k < 20000; ++k) {
        QString text;
        const int length = next(24);
        for (int i = 0; i < length; ++i)
            text += alphabet.at(next(int(alphabet.size())));
        f.SetText(text);
        ASSERT_LE(f.ErrorCode(), 8) << text.toStdString();
        ASSERT_LE(f.ErrorPos(), text.size()) << text.toStdString();
        if (f.ErrorCode() == 0) {
            ASSERT_EQ(f.ErrorPos(), 0) << text.toStdString();
        } else if (f.ErrorCode() != 8) {
            ASSERT_GT(f.ErrorPos(), 0) << text.toStdString();
        }
        if (f.ErrorCode() == 0 && !f.IsLogical()) {
            ASSERT_TRUE(std::isfinite(f.Value())) << text.toStdString();
        }
    }
}

} // namespace
