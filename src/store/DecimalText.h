#pragma once
// A number written as plain decimal text: a sign, digits and at most one
// decimal mark ("," or "."), at least one digit. The digits are kept as
// they are, so that no digit is lost to a binary fraction: reading a field's
// text, writing text into a field and carrying a field into another of a new
// width all go through it.

#include <QString>

#include <string>

namespace store::detail {

struct DecimalText {
    bool negative = false;
    std::string whole;    // without leading zeros
    std::string fraction; // without trailing zeros

    // Reads the text; false when it is no plain decimal text.
    bool parse(const char *p, qsizetype n);
    // Keeps this many digits after the mark, the last one rounded half to even.
    void roundTo(int decimals);
    static DecimalText fromParts(bool negative, const std::string &whole,
                                 const std::string &fraction);
    // The shortest form: "12.5", "3", "-0.25".
    QString shortest() const;
    // The field's form: exactly `decimals` digits after a "." (at least as
    // many as the fraction has).
    std::string fixed(int decimals) const;
};

} // namespace store::detail
