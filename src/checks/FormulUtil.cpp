#include "checks/FormulUtil.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace formula {
namespace {

using View = std::u16string_view;

// Internal characters of a condition. The user writes the words and the
// two-character comparisons; the first pass puts one character for each.
constexpr char16_t kAnd = u'&'; // И
constexpr char16_t kOr = u'^';  // ИЛИ
constexpr char16_t kNot = u'!'; // НЕ
constexpr char16_t kNe = u'#';  // <>
constexpr char16_t kLe = u'$';  // <=
constexpr char16_t kGe = u'?';  // >=

// Op codes of the compiled programs.
enum Op : int {
    OpConst = 0,
    OpSub = 1,
    OpAdd = 2,
    OpMul = 3,
    OpDiv = 4,
    OpCall = 5,
    OpOr = 6,
    OpAnd = 7,
    OpNot = 8,
    OpGt = 9,
    OpLt = 10,
    OpEq = 11,
    OpLe = 12,
    OpGe = 13,
    OpNe = 14,
};

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Reserved: the internal characters and the call braces may not be typed.
bool isReservedChar(char16_t c) {
    switch (c) {
    case u'&':
    case u'^':
    case u'!':
    case u'#':
    case u'$':
    case u'?':
    case u'{':
    case u'}':
        return true;
    default:
        return false;
    }
}

bool isLogicCodeChar(char16_t c) {
    switch (c) {
    case u'&':
    case u'^':
    case u'!':
    case u'#':
    case u'$':
    case u'?':
    case u'<':
    case u'>':
    case u'=':
        return true;
    default:
        return false;
    }
}

bool containsLogicCode(View s) {
    for (char16_t c : s)
        if (isLogicCodeChar(c))
            return true;
    return false;
}

// Upper case as the Windows Cyrillic code page has it: Latin and Cyrillic letters.
char16_t upperAnsi(char16_t c) {
    if (c >= u'a' && c <= u'z')
        return char16_t(c - 32);
    if (c >= 0x0430 && c <= 0x044F) // а..я
        return char16_t(c - 32);
    if (c >= 0x0450 && c <= 0x045F) // ѐ..џ (ё, ђ, є, і, ї, ј, љ, њ, ћ, ќ, ў, џ)
        return char16_t(c - 80);
    if (c == 0x0491) // ґ
        return 0x0490;
    return c;
}

// The length of a condition part in the characters the user typed.
int logicErrorPosition(View s) {
    int n = int(s.size());
    for (char16_t c : s) {
        if (c == kOr)
            n += 2;
        else if (c == kNe || c == kLe || c == kGe || c == kNot)
            n += 1;
    }
    return n;
}

// ---------------------------------------------------------------- numbers

locale_t cLocale() {
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return loc;
}

constexpr long double kPow10[] = {
    1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L,  1e9L,
    1e10L, 1e11L, 1e12L, 1e13L, 1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L,
    1e20L, 1e21L, 1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L,
};

// A text of digits with at most one "." (after normalisation), read as an
// extended value rounded to nearest, whatever the locale. An overflowing
// literal gives infinity, which the evaluator reports as a run-time fault.
long double parseDecimal(View s) {
    unsigned long long m = 0;
    int fraction = 0;
    bool afterPoint = false;
    bool exact = true;
    for (char16_t c : s) {
        if (c == u'.') {
            afterPoint = true;
            continue;
        }
        if (m >= 1000000000000000000ULL) { // a 20th significant digit may not fit
            exact = false;
            break;
        }
        m = m * 10 + unsigned(c - u'0');
        if (afterPoint)
            ++fraction;
    }
    // m and 10^fraction are exact extended values, so one division rounds once.
    if (exact && fraction < int(std::size(kPow10)))
        return static_cast<long double>(m) / kPow10[fraction];
    std::string ascii(s.size(), '0');
    for (size_t i = 0; i < s.size(); ++i)
        ascii[i] = char(s[i]);
    return strtold_l(ascii.c_str(), nullptr, cLocale());
}

bool isDecimalNumber(View s) {
    if (s.empty())
        return false;
    int points = 0;
    bool digit = false;
    for (char16_t c : s) {
        if (c == u'.')
            ++points;
        else if (isDigit(c))
            digit = true;
        else
            return false;
    }
    return points <= 1 && digit;
}

// --------------------------------------------------------------- scratch

// Buffers reused from one evaluation to the next, so that setting a text
// does not allocate once they have grown.
struct Scratch {
    std::u16string normalised;
    FormulaProgram arithmetic;
    LogicalProgram logical;
    std::vector<long double> values;
    std::vector<char> truths;
};

Scratch &scratch() {
    thread_local Scratch s;
    return s;
}

// ------------------------------------------------------ arithmetic passes

FormulaError normaliseInto(View s, std::u16string &out) {
    out.clear();
    out.reserve(s.size() + s.size() / 2 + 8);
    bool inNumber = false, inName = false, operatorPending = false, separatorSeen = false;
    bool closePending = false, atStart = true, afterClose = false;
    int depth = 0;
    // Open calls, each with its own count of open parentheses. Every call
    // opens a parenthesis, so the nesting limit bounds their number.
    int calls[TFormula::MaxNestingDepth + 1];
    int callCount = 0;
    size_t nameStart = 0;

    auto nameKnown = [&]() {
        return FindUserFunction(View(out.data() + nameStart, out.size() - nameStart)) != nullptr;
    };

    for (size_t i = 0; i < s.size(); ++i) {
        char16_t c = s[i];
        std::uint8_t code = 0;
        switch (c) {
        case u'(':
            ++depth;
            if (callCount > 0 && !inName)
                ++calls[callCount - 1];
            if (inNumber)
                code = 4;
            if (afterClose) // "(1)(2)": an operand right after ")"
                code = 4;
            if (depth > TFormula::MaxNestingDepth)
                return {5, int(i + 1)}; // nesting beyond the language's limit
            if (inName) {
                if (!nameKnown())
                    code = 2;
                calls[callCount++] = 1;
            }
            operatorPending = false;
            atStart = true;
            inName = false;
            break;
        case u')':
            if (inName) {
                if (!nameKnown())
                    code = 2;
                out += u"()}";
            }
            --depth;
            if (callCount > 0)
                --calls[callCount - 1];
            if (depth < 0)
                code = 5;
            if (operatorPending)
                code = 6;
            if (callCount > 0 && calls[callCount - 1] == 0) {
                --callCount;
                closePending = true;
            }
            // A closed group or call is an operand, also when it is empty
            // ("ПИ()*2", "(SQRT())*2"): an operator may follow it.
            atStart = false;
            inName = false;
            inNumber = false;
            break;
        case u'*':
        case u'+':
        case u'-':
        case u'/':
            if (atStart && c != u'-')
                code = 6;
            if (inName) {
                if (!nameKnown())
                    code = 2;
                out += u"()}";
                inName = false;
            }
            if (operatorPending)
                code = 6;
            operatorPending = true;
            inNumber = false;
            break;
        case u',':
        case u'.':
            if (inName)
                code = 2;
            if (afterClose) // "(1),5"
                code = 4;
            if (!inNumber) {
                out += u'0';
                separatorSeen = false; // a new number starts here
            }
            if (separatorSeen)
                code = 3;
            inNumber = true;
            separatorSeen = true;
            c = u'.';
            break;
        case u' ':
            continue;
        default:
            if (isDigit(c)) {
                if (inName)
                    break; // joins the name
                if (!inNumber && !atStart && !operatorPending)
                    code = 4;
                if (afterClose) // "()5"
                    code = 4;
                if (!inNumber)
                    separatorSeen = false;
                inNumber = true;
                operatorPending = false;
                atStart = false;
            } else {
                const bool wasName = inName;
                if (!inName) {
                    out += u'{';
                    nameStart = out.size();
                }
                if (inNumber)
                    code = 4;
                if (!wasName && !atStart && !operatorPending)
                    code = 4;
                if (afterClose) // "()X"
                    code = 4;
                inName = true;
                operatorPending = false;
                atStart = false;
            }
            break;
        }
        if (code != 0)
            return {code, int(i + 1)};
        out += c;
        if (closePending) {
            closePending = false;
            out += u'}';
        }
        afterClose = c == u')';
    }
    std::uint8_t code = 0;
    if (inName) {
        if (!nameKnown())
            code = 2;
        out += u"()}";
    }
    if (operatorPending)
        code = 6;
    if (depth != 0 && code == 0)
        code = 5;
    if (code != 0)
        return {code, int(s.size())};
    return {};
}

// Parentheses and call braces count as nesting; the text is balanced.
int nestingStep(char16_t c) {
    if (c == u'(' || c == u'{')
        return 1;
    if (c == u')' || c == u'}')
        return -1;
    return 0;
}

// Splits at the operators of the lowest priority outside every parenthesis
// and call, the rightmost binding loosest: a-b+c is (a-b)+c.
void compileArithmetic(View s, FormulaProgram &p) {
    bool additive = false, multiplicative = false;
    int depth = 0;
    for (char16_t c : s) {
        depth += nestingStep(c);
        if (depth == 0) {
            if (c == u'+' || c == u'-')
                additive = true;
            else if (c == u'*' || c == u'/')
                multiplicative = true;
        }
    }
    if (additive || multiplicative) {
        size_t segment = 0;
        int pendingOp = -1;
        depth = 0;
        for (size_t i = 0; i < s.size(); ++i) {
            const char16_t c = s[i];
            depth += nestingStep(c);
            if (depth != 0)
                continue;
            int op = -1;
            if (additive) {
                if (c == u'+')
                    op = OpAdd;
                else if (c == u'-')
                    op = OpSub;
            } else {
                if (c == u'*')
                    op = OpMul;
                else if (c == u'/')
                    op = OpDiv;
            }
            if (op < 0)
                continue;
            compileArithmetic(s.substr(segment, i - segment), p);
            if (pendingOp >= 0)
                p.Ops.push_back(pendingOp);
            pendingOp = op;
            segment = i + 1;
        }
        compileArithmetic(s.substr(segment), p);
        p.Ops.push_back(pendingOp);
        return;
    }
    if (s.empty()) { // "-5" is 0 - 5, and an empty argument is 0
        p.Ops.push_back(OpConst);
        p.Consts.push_back(0);
        return;
    }
    if (isDecimalNumber(s)) {
        p.Ops.push_back(OpConst);
        p.Consts.push_back(parseDecimal(s));
        return;
    }
    if (s.front() == u'{') { // {NAME(argument)}
        const size_t open = s.find(u'(');
        if (open == View::npos || s.size() < open + 3) { // cannot come out of the normaliser
            p.Ops.push_back(OpCall);
            p.Funcs.push_back(nullptr);
            return;
        }
        const View name = s.substr(1, open - 1);
        const View argument = s.substr(open + 1, s.size() - open - 3);
        compileArithmetic(argument, p);
        p.Funcs.push_back(FindUserFunction(name));
        p.Ops.push_back(OpCall);
        return;
    }
    compileArithmetic(s.substr(1, s.size() - 2), p); // a parenthesised group
}

// Runs the program; any fault (a zero divisor, a function outside its domain,
// a result that is not finite) sets the flag and gives 0.
long double evaluateArithmetic(const FormulaProgram &p, bool &fault) {
    fault = false;
    std::vector<long double> &stack = scratch().values;
    stack.clear();
    stack.reserve(p.Consts.size() + 1);
    size_t nextConst = 0, nextFunc = 0;
    auto failed = [&]() {
        fault = true;
        return 0.0L;
    };
    for (int op : p.Ops) {
        switch (op) {
        case OpConst: {
            const long double v = p.Consts[nextConst++];
            if (!std::isfinite(v))
                return failed(); // a literal beyond the extended range
            stack.push_back(v);
            break;
        }
        case OpSub:
        case OpAdd:
        case OpMul:
        case OpDiv: {
            const long double b = stack.back();
            stack.pop_back();
            const long double a = stack.back();
            long double r;
            if (op == OpSub)
                r = a - b;
            else if (op == OpAdd)
                r = a + b;
            else if (op == OpMul)
                r = a * b;
            else if (b == 0)
                return failed();
            else
                r = a / b;
            if (!std::isfinite(r))
                return failed();
            stack.back() = r;
            break;
        }
        case OpCall: {
            const UserFunction f = p.Funcs[nextFunc++];
            if (f == nullptr)
                return failed();
            const long double r = f(stack.back());
            if (!std::isfinite(r))
                return failed();
            stack.back() = r;
            break;
        }
        default:
            break;
        }
    }
    return stack.empty() ? 0.0L : stack.front();
}

// --------------------------------------------------------- logical passes

enum class Kind { Fail, Truth, Value };

constexpr int kMaxLogicalLevel = 4 * (TFormula::MaxNestingDepth + 1);

// Scans from the end for c outside parentheses; depth carries across the
// scans of one part.
int findFromEnd(View s, char16_t c, int &depth) {
    for (size_t i = s.size(); i-- > 0;) {
        const char16_t d = s[i];
        if (d == u')')
            ++depth;
        else if (d == u'(')
            --depth;
        else if (d == c && depth == 0)
            return int(i);
    }
    return -1;
}

// The leftmost "!" outside parentheses, so that "НЕ НЕ" negates twice.
int findNot(View s, int &depth) {
    int found = -1;
    for (size_t i = s.size(); i-- > 0;) {
        const char16_t d = s[i];
        if (d == u')')
            ++depth;
        else if (d == u'(')
            --depth;
        else if (d == kNot && depth == 0)
            found = int(i);
    }
    return found;
}

int findComparison(View s, int &depth, int &op) {
    for (size_t i = s.size(); i-- > 0;) {
        const char16_t d = s[i];
        if (d == u')') {
            ++depth;
            continue;
        }
        if (d == u'(') {
            --depth;
            continue;
        }
        if (depth != 0)
            continue;
        switch (d) {
        case kNe:
            op = OpNe;
            return int(i);
        case kLe:
            op = OpLe;
            return int(i);
        case u'<':
            op = OpLt;
            return int(i);
        case u'=':
            op = OpEq;
            return int(i);
        case u'>':
            op = OpGt;
            return int(i);
        case kGe:
            op = OpGe;
            return int(i);
        default:
            break;
        }
    }
    return -1;
}

struct LogicCompiler {
    LogicalProgram &p;
    FormulaError &e;

    Kind fail(std::uint8_t code, int pos) {
        e = {code, pos};
        return Kind::Fail;
    }

    // A part without a split: a parenthesised condition, or an operand.
    Kind leaf(View s, int level) {
        if (containsLogicCode(s)) {
            if (s.size() >= 2 && s.front() == u'(' && s.back() == u')') {
                const Kind k = compile(s.substr(1, s.size() - 2), level + 1);
                if (k == Kind::Fail)
                    e.Pos += 1;
                return k;
            }
            return fail(7, logicErrorPosition(s));
        }
        FormulaError operandError;
        const long double v = EvaluateArithmeticText(s, operandError);
        p.Consts.push_back(v);
        if (operandError.Code != 0) {
            e = operandError;
            return Kind::Fail;
        }
        return Kind::Value;
    }

    // Splits at the rightmost "ИЛИ", else "И", else "НЕ", else comparison.
    // The left parts of a chain are handled in a loop (not by recursion), in
    // the same order and with the same positions as a recursive descent.
    Kind compile(View s, int level) {
        if (level > kMaxLogicalLevel)
            return fail(5, logicErrorPosition(s));
        struct Pending {
            View right;
            int op;
            int leftEnd; // user-character length of the left part
            int offset;  // ... of the left part and the operator
        };
        Pending inline_[8];
        std::vector<Pending> more;
        int pendingCount = 0;
        auto push = [&](const Pending &pd) {
            if (pendingCount < 8)
                inline_[pendingCount] = pd;
            else
                more.push_back(pd);
            ++pendingCount;
        };
        auto at = [&](int i) -> Pending & { return i < 8 ? inline_[i] : more[size_t(i - 8)]; };

        View cur = s;
        Kind kind = Kind::Fail;
        for (;;) {
            int depth = 0;
            int op = -1;
            int k = findFromEnd(cur, kOr, depth);
            if (k >= 0) {
                op = OpOr;
            } else if ((k = findFromEnd(cur, kAnd, depth)) >= 0) {
                op = OpAnd;
            } else if ((k = findNot(cur, depth)) >= 0) {
                // Only the part right of "НЕ" is compiled.
                const int offset = logicErrorPosition(cur.substr(0, size_t(k) + 1));
                const View right = cur.substr(size_t(k) + 1);
                const Kind r = compile(right, level + 1);
                if (r == Kind::Fail) {
                    e.Pos += offset;
                    kind = Kind::Fail;
                } else if (r != Kind::Truth) {
                    kind = fail(7, offset + logicErrorPosition(right));
                } else {
                    p.Ops.push_back(OpNot);
                    kind = Kind::Truth;
                }
                break;
            } else if ((k = findComparison(cur, depth, op)) < 0) {
                kind = leaf(cur, level);
                break;
            }
            const View left = cur.substr(0, size_t(k));
            const int leftEnd = logicErrorPosition(left);
            push({cur.substr(size_t(k) + 1), op, leftEnd,
                  leftEnd + logicErrorPosition(cur.substr(size_t(k), 1))});
            cur = left;
        }
        for (int i = pendingCount - 1; i >= 0; --i) {
            if (kind == Kind::Fail)
                return kind; // the left part failed: its position stands
            const Pending &pd = at(i);
            const Kind need = pd.op >= OpGt ? Kind::Value : Kind::Truth;
            // A comparison takes two operands and a logic word two
            // conditions; anything else cannot be evaluated.
            if (kind != need)
                return fail(7, pd.leftEnd);
            const Kind r = compile(pd.right, level + 1);
            if (r == Kind::Fail) {
                e.Pos += pd.offset;
                return r;
            }
            if (r != need)
                return fail(7, pd.offset + logicErrorPosition(pd.right));
            p.Ops.push_back(pd.op);
            kind = Kind::Truth;
        }
        return kind;
    }
};

bool evaluateLogical(const LogicalProgram &p) {
    std::vector<char> &stack = scratch().truths;
    stack.clear();
    size_t nextConst = 0;
    auto pop = [&]() {
        if (stack.empty())
            return false;
        const bool v = stack.back() != 0;
        stack.pop_back();
        return v;
    };
    for (int op : p.Ops) {
        if (op >= OpGt && op <= OpNe) {
            if (nextConst + 2 > p.Consts.size())
                return false;
            const long double a = p.Consts[nextConst];
            const long double b = p.Consts[nextConst + 1];
            nextConst += 2;
            bool r = false;
            switch (op) {
            case OpGt:
                r = a > b;
                break;
            case OpLt:
                r = a < b;
                break;
            case OpEq:
                r = a == b;
                break;
            case OpLe:
                r = a <= b;
                break;
            case OpGe:
                r = a >= b;
                break;
            default:
                r = a != b;
                break;
            }
            stack.push_back(r);
        } else if (op == OpOr || op == OpAnd) {
            const bool b = pop();
            const bool a = pop();
            stack.push_back(op == OpOr ? (a || b) : (a && b));
        } else if (op == OpNot) {
            const bool a = pop();
            stack.push_back(!a);
        }
    }
    return !stack.empty() && stack.front() != 0;
}

} // namespace

// ------------------------------------------------------------ public passes

bool TranslateLogicWords(std::u16string &text, FormulaError &error) {
    error = {};
    bool logical = false;
    // The pending word is kept at the end of the result, from wordStart on:
    // appending the word to the result is moving wordStart past it, and
    // dropping it is cutting the result back to wordStart.
    std::u16string r;
    r.reserve(text.size() + 1);
    size_t wordStart = 0;
    auto word = [&]() { return View(r).substr(wordStart); };
    auto endsWord = [&](char16_t c) { return wordStart < r.size() && r.back() == c; };
    // The pending word is dropped and one finished operator code put instead.
    auto replaceWord = [&](char16_t code) {
        r.resize(wordStart);
        r += code;
        wordStart = r.size();
    };
    // The pending word is appended and c starts the next one.
    auto startWord = [&](char16_t c) {
        wordStart = r.size();
        r += c;
    };
    const size_t n = text.size() + 1; // a blank is appended
    for (size_t i = 0; i < n; ++i) {
        const char16_t c = i < text.size() ? text[i] : u' ';
        const bool last = i + 1 == n;
        switch (c) {
        case u' ':
        case u'(':
        case u')':
        case u'*':
        case u'+':
        case u'-':
        case u'/':
        case u'0':
        case u'1':
        case u'2':
        case u'3':
        case u'4':
        case u'5':
        case u'6':
        case u'7':
        case u'8':
        case u'9': {
            const View w = word();
            const char16_t code = w == u"И" ? kAnd : w == u"ИЛИ" ? kOr : w == u"НЕ" ? kNot : 0;
            if (code != 0) {
                replaceWord(code);
                logical = true;
            }
            if (c == u' ' && !last)
                break; // a word goes on across blanks
            if (c != u' ')
                r += c;
            wordStart = r.size();
            break;
        }
        case u'<':
            startWord(u'<');
            logical = true;
            break;
        case u'>':
            logical = true;
            if (endsWord(u'<'))
                replaceWord(kNe);
            else
                startWord(u'>');
            break;
        case u'=':
            logical = true;
            if (endsWord(u'<') || endsWord(u'>'))
                replaceWord(r.back() == u'<' ? kLe : kGe);
            else
                startWord(u'=');
            break;
        default:
            if (isReservedChar(c)) {
                error = {1, int(i + 1)};
                return logical;
            }
            r += upperAnsi(c);
            break;
        }
    }
    text.swap(r);
    if (!logical)
        return false;

    // Second pass: each clause is an operand, one comparison and an operand,
    // optionally after "НЕ"; clauses are joined by "И" or "ИЛИ". Positions
    // count the characters the user typed for each internal one.
    bool comparison = false, operand = false;
    int correction = 0, depth = 0;
    for (size_t j = 0; j < text.size(); ++j) {
        const char16_t c = text[j];
        const int pos = int(j + 1);
        switch (c) {
        case u'<':
        case u'=':
        case u'>':
        case kNe:
        case kLe:
        case kGe:
            if (c == kNe || c == kLe || c == kGe)
                correction += 1;
            if (comparison || !operand) {
                error = {7, pos + correction};
                return true;
            }
            comparison = true;
            operand = false;
            break;
        case kAnd:
        case kOr:
            if (c == kOr)
                correction += 2;
            if (!comparison || !operand) {
                error = {7, pos + correction};
                return true;
            }
            comparison = operand = false;
            break;
        case kNot:
            correction += 1;
            if (comparison || operand) {
                error = {7, pos + correction};
                return true;
            }
            comparison = operand = false;
            break;
        case u'(':
            if (++depth > TFormula::MaxNestingDepth) {
                error = {5, pos + correction};
                return true;
            }
            break;
        case u')':
            if (depth > 0)
                --depth;
            break;
        default:
            operand = true;
            break;
        }
    }
    if (!(comparison && operand))
        error = {7, int(text.size()) + correction};
    return true;
}

FormulaError NormaliseArithmetic(std::u16string &text) {
    std::u16string out;
    const FormulaError e = normaliseInto(text, out);
    text.swap(out);
    return e;
}

long double EvaluateArithmeticText(std::u16string_view text, FormulaError &error) {
    Scratch &s = scratch();
    error = normaliseInto(text, s.normalised);
    if (error.Code != 0)
        return 0;
    s.arithmetic.clear();
    compileArithmetic(s.normalised, s.arithmetic);
    bool fault = false;
    const long double v = evaluateArithmetic(s.arithmetic, fault);
    if (fault) {
        error = {8, 0};
        return 0;
    }
    return v;
}

bool EvaluateLogicalText(std::u16string_view text, FormulaError &error) {
    error = {};
    LogicalProgram &p = scratch().logical;
    p.clear();
    LogicCompiler compiler{p, error};
    const Kind k = compiler.compile(text, 0);
    if (k == Kind::Fail)
        return false;
    if (k != Kind::Truth) {
        error = {7, logicErrorPosition(text)};
        return false;
    }
    return evaluateLogical(p);
}

int MapErrorPosition(int pos, std::u16string_view userText) {
    if (pos <= 0)
        return 0;
    int nonBlank = 0, blanks = 0;
    for (char16_t c : userText) {
        if (c == u' ') {
            ++blanks;
        } else if (++nonBlank == pos) {
            return pos + blanks;
        }
    }
    return int(userText.size());
}

} // namespace formula

void TFormula::SetText(const QString &text) {
    m_text = text;
    const std::u16string_view user(reinterpret_cast<const char16_t *>(text.utf16()),
                                   size_t(text.size()));
    if (user.size() > size_t(MaxTextLength)) {
        m_isLogical = false;
        m_errorCode = 6;
        m_errorPos = MaxTextLength;
        return;
    }
    std::u16string t(user);
    FormulaError e;
    m_isLogical = formula::TranslateLogicWords(t, e);
    if (e.Code != 0) {
        // A reserved character is reported where the user typed it; the
        // structure of a condition is counted without blanks.
        m_errorCode = e.Code;
        m_errorPos = std::uint16_t(e.Code == 1 ? e.Pos : formula::MapErrorPosition(e.Pos, user));
        return;
    }
    if (m_isLogical)
        m_logicalResult = formula::EvaluateLogicalText(t, e);
    else
        m_value = formula::EvaluateArithmeticText(t, e);
    m_errorCode = e.Code;
    m_errorPos = e.Code == 0 ? 0 : std::uint16_t(formula::MapErrorPosition(e.Pos, user));
}
