#include "checks/UserFunctions.h"

#include <cmath>
#include <limits>

namespace {

constexpr long double kNaN = std::numeric_limits<long double>::quiet_NaN();

struct NamedFunction {
    std::u16string_view name;
    UserFunction routine;
};

// In the order the lookup tries them.
constexpr NamedFunction kFunctions[] = {
    {u"СИНУС", UFSin},   {u"SIN", UFSin},   {u"КОСИНУС", UFCos}, {u"COS", UFCos},
    {u"TG", UFTan},      {u"CTG", UFCotan}, {u"LOG", UFLog10},   {u"LN", UFLn},
    {u"КОРЕНЬ", UFSqrt}, {u"SQRT", UFSqrt}, {u"ЭКСП", UFExp},    {u"EXP", UFExp},
    {u"NULL", UFNull},   {u"ПИ", UFPi},     {u"ROUND", UFRound},
};

} // namespace

long double UFSin(long double x) {
    return std::sin(x);
}
long double UFCos(long double x) {
    return std::cos(x);
}
long double UFTan(long double x) {
    return std::tan(x);
}

long double UFCotan(long double x) {
    const long double t = std::tan(x);
    // 1 / 0 is the pole of the cotangent; say so without dividing by zero.
    return t == 0 ? kNaN : 1 / t;
}

long double UFLog10(long double x) {
    if (!(x > 0))
        return kNaN;
    // The C library's log10 may miss an exact power of ten by one unit in the
    // last place (log10(1000) above 3); such a power has its exact logarithm.
    const long double r = std::log10(x);
    const long double n = std::round(r);
    if (std::isfinite(n) && std::fabs(n) <= 4950 && std::pow(10.0L, n) == x)
        return n;
    return r;
}
long double UFLn(long double x) {
    return x > 0 ? std::log(x) : kNaN;
}
long double UFSqrt(long double x) {
    return x >= 0 ? std::sqrt(x) : kNaN;
}
long double UFExp(long double x) {
    return std::exp(x);
}
long double UFNull(long double) {
    return 0;
}

// The value the formula language has always used for pi: the extended value
// nearest to this literal (one unit in the last place above the nearest to pi).
long double UFPi(long double) {
    return 3.14159265358979323873L;
}

long double RoundHalfEven(long double x) {
    if (!std::isfinite(x))
        return x;
    const long double f = std::floor(x);
    const long double diff = x - f; // exact: both lie in the same binade or x is whole
    if (diff > 0.5L)
        return f + 1;
    if (diff < 0.5L)
        return f;
    return std::fmod(f, 2.0L) == 0 ? f : f + 1;
}

long double UFRound(long double x) {
    if (!std::isfinite(x))
        return kNaN;
    const long double r = RoundHalfEven(x);
    // The result must be a signed 64-bit whole number.
    constexpr long double kLow = -9223372036854775808.0L; // -2^63
    constexpr long double kHigh = 9223372036854775808.0L; //  2^63
    if (r < kLow || r >= kHigh)
        return kNaN;
    return r;
}

UserFunction FindUserFunction(std::u16string_view Name) {
    for (const NamedFunction &f : kFunctions)
        if (f.name == Name)
            return f.routine;
    return nullptr;
}

UserFunction FindUserFunction(const QString &Name) {
    return FindUserFunction(
        std::u16string_view(reinterpret_cast<const char16_t *>(Name.utf16()), Name.size()));
}
