#pragma once
// Whole numbers of report cells, read from every digit they hold. Report
// fields hold up to twenty digits, more than a double keeps exactly (about
// 15) and, once two are added, more than 64 bits hold: the sums of the row
// totals and of the automatic filling are worked out in 128 bits.

#include <QString>

#include <optional>

using WholeNumber = __int128;

// The whole number a cell's text reads as: its exact digits, a fraction
// rounded half to even ("2.5" 2, "3.5" 4; either decimal mark); nothing for
// a blank text or one that is no plain decimal number (an exponent, say).
std::optional<WholeNumber> WholeOfText(const QString &Text);
// The same for a text without a fraction only ("12", "-7"); nothing else.
std::optional<WholeNumber> IntegerOfText(const QString &Text);
// Every digit of the number, with "-" before a negative one.
QString WholeText(WholeNumber Value);
