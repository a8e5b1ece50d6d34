#include "store/DecimalText.h"

#include <algorithm>

namespace store::detail {

bool DecimalText::parse(const char *p, qsizetype n) {
    qsizetype i = 0;
    if (i < n && (p[i] == '-' || p[i] == '+')) {
        negative = p[i] == '-';
        ++i;
    }
    bool mark = false;
    int digits = 0;
    for (; i < n; ++i) {
        const char c = p[i];
        if (c >= '0' && c <= '9') {
            (mark ? fraction : whole).push_back(c);
            ++digits;
        } else if ((c == '.' || c == ',') && !mark) {
            mark = true;
        } else {
            return false;
        }
    }
    if (digits == 0)
        return false;
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    fraction.erase(std::min(fraction.find_last_not_of('0') + 1, fraction.size()));
    if (whole.empty() && fraction.empty())
        negative = false;
    return true;
}

void DecimalText::roundTo(int decimals) {
    if (int(fraction.size()) <= decimals)
        return;
    const char first = fraction[std::size_t(decimals)];
    const bool rest =
        fraction.find_first_not_of('0', std::size_t(decimals) + 1) != std::string::npos;
    std::string digits = whole + fraction.substr(0, std::size_t(decimals));
    const char last = digits.empty() ? '0' : digits.back();
    const bool up = first > '5' || (first == '5' && (rest || (last - '0') % 2 == 1));
    if (up) {
        qsizetype i = qsizetype(digits.size()) - 1;
        while (i >= 0 && digits[std::size_t(i)] == '9')
            digits[std::size_t(i--)] = '0';
        if (i >= 0)
            ++digits[std::size_t(i)];
        else
            digits.insert(digits.begin(), '1');
    }
    const std::size_t wholeLen = digits.size() - std::size_t(decimals);
    whole = digits.substr(0, wholeLen);
    fraction = digits.substr(wholeLen);
    *this = fromParts(negative, whole, fraction);
}

DecimalText DecimalText::fromParts(bool negative, const std::string &whole,
                                   const std::string &fraction) {
    DecimalText d;
    const std::string text = whole + "." + fraction;
    d.parse(text.data(), qsizetype(text.size()));
    d.negative = negative && !(d.whole.empty() && d.fraction.empty());
    return d;
}

QString DecimalText::shortest() const {
    std::string t = negative ? "-" : "";
    t += whole.empty() ? "0" : whole;
    if (!fraction.empty())
        t += "." + fraction;
    return QString::fromLatin1(t.data(), qsizetype(t.size()));
}

std::string DecimalText::fixed(int decimals) const {
    std::string t = negative ? "-" : "";
    t += whole.empty() ? "0" : whole;
    if (decimals > 0)
        t += "." + fraction + std::string(std::size_t(decimals) - fraction.size(), '0');
    return t;
}

} // namespace store::detail
