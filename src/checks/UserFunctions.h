#pragma once
// The functions a formula may call, each under its Cyrillic and/or Latin
// name, and the lookup of a routine by its name.

#include <QString>

#include <string_view>

// Every built-in function takes one extended value and returns one. A fault
// (a domain error, a pole, an overflow, a value too large to round) shows as
// a result that is not a finite number, never as an exception or a trap; the
// formula evaluator turns that into its run-time error.
using UserFunction = long double (*)(long double);

long double UFSin(long double x);
long double UFCos(long double x);
long double UFTan(long double x);
long double UFCotan(long double x);
long double UFLog10(long double x);
long double UFLn(long double x);
long double UFSqrt(long double x);
long double UFExp(long double x);
long double UFNull(long double x);
long double UFPi(long double x);
long double UFRound(long double x);

// The nearest whole number, a half going to the even neighbour, whatever the
// floating-point environment's rounding mode; a value that is not finite
// stays as it is. UFRound is this within the signed 64-bit range.
long double RoundHalfEven(long double x);

// The routine for Name, or nullptr. The comparison is exact and
// case-sensitive; callers upper-case the formula text beforehand.
UserFunction FindUserFunction(const QString &Name);
UserFunction FindUserFunction(std::u16string_view Name);
