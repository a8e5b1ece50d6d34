#pragma once
// The formula language of the control checks. A formula is a plain text
// that is either an arithmetic expression ("12+7,5*2") or a condition
// ("5 + 3 = 8 И 2 > 1"). TFormula decides which, checks the syntax, compiles
// the text into a small postfix program and runs it; it reports the number or
// the truth value, or an error code with its position in the user's text.
//
// Error codes (ErrorPos is 1-based in the text as written, 0 without error):
//   1 a reserved character & ^ ! # $ ? { } in the text
//   2 an unknown function name, or a decimal separator right after a name
//   3 a second decimal separator in one number
//   4 an operand where an operator is due
//   5 parentheses: ")" without "(", "(" left open, or nesting deeper than
//     MaxNestingDepth
//   6 an operator where an operand is due, or a text longer than MaxTextLength
//   7 the structure of a condition
//   8 a run-time fault: division by zero, a function's domain error, an
//     overflow, a value too large to round (position 0 in an arithmetic text;
//     in a condition the position just before the failing operand)

#include "checks/UserFunctions.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

struct FormulaError {
    std::uint8_t Code = 0;
    int Pos = 0; // 1-based
};

// The compiled form of an arithmetic text (op codes 0 to 5).
struct FormulaProgram {
    std::vector<int> Ops;
    std::vector<long double> Consts;
    std::vector<UserFunction> Funcs;
    void clear() {
        Ops.clear();
        Consts.clear();
        Funcs.clear();
    }
};

// The compiled form of a condition (op codes 6 to 14).
struct LogicalProgram {
    std::vector<int> Ops;
    std::vector<long double> Consts;
    void clear() {
        Ops.clear();
        Consts.clear();
    }
};

class TFormula {
public:
    // The longest text the language takes; a longer one is error 6 at this position.
    static constexpr int MaxTextLength = 65535;
    // The deepest nesting of parentheses; one more "(" is error 5 at it.
    static constexpr int MaxNestingDepth = 127;

    TFormula() = default;

    const QString &Text() const { return m_text; }
    // Stores the text, evaluates it and sets the result fields.
    void SetText(const QString &text);

    bool IsLogical() const { return m_isLogical; }
    long double Value() const { return m_value; }
    bool LogicalResult() const { return m_logicalResult; }
    std::uint8_t ErrorCode() const { return m_errorCode; }
    std::uint16_t ErrorPos() const { return m_errorPos; }

private:
    QString m_text;
    bool m_isLogical = false;
    long double m_value = 0;
    bool m_logicalResult = false;
    std::uint8_t m_errorCode = 0;
    std::uint16_t m_errorPos = 0;
};

// The passes of the language, open for tests and tools. Texts are UTF-16;
// every character of the user's text is one char16_t.
namespace formula {

// First pass: drops blanks, upper-cases letters, turns the logic words and
// the two-character comparisons into one internal character each; when the
// text is a condition, the second pass checks its clause structure. Returns
// whether the text is a condition (as far as the pass got on error 1).
bool TranslateLogicWords(std::u16string &text, FormulaError &error);
// Checks an arithmetic text without blanks and normalises it: numbers with a
// leading digit and ".", calls bracketed as {NAME(argument)}.
FormulaError NormaliseArithmetic(std::u16string &text);
// Normalises, compiles and runs an arithmetic text without blanks.
long double EvaluateArithmeticText(std::u16string_view text, FormulaError &error);
// Compiles and runs a condition as the first pass left it.
bool EvaluateLogicalText(std::u16string_view text, FormulaError &error);
// A position counted in non-blank characters, carried onto the user's text.
int MapErrorPosition(int pos, std::u16string_view userText);

} // namespace formula
