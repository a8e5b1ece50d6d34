// Exact sums of the figures of report tables.

#include "consolidation/SvodInternal.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstring>

namespace svod::detail {

namespace {

// Digits after the mark that a sum keeps; a dBASE field has at most 15.
constexpr int kMaxScale = 18;
// Digits a cell's number may have in all.
constexpr int kMaxDigits = 36;

__int128 pow10(int n) {
    __int128 p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

bool isPadding(char c) {
    return c == ' ' || c == '\0';
}

// A plain decimal text between blanks: a sign, digits and at most one mark
// ("." or ","). False for any other form.
bool readPlain(const char *p, int length, __int128 &units, int &scale, bool &blank) {
    const char *end = p + length;
    while (p != end && isPadding(*p))
        ++p;
    while (end != p && isPadding(end[-1]))
        --end;
    blank = p == end;
    if (blank)
        return false;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    units = 0;
    scale = 0;
    int digits = 0;
    bool mark = false;
    for (; p != end; ++p) {
        if (*p >= '0' && *p <= '9') {
            if (++digits > kMaxDigits || (mark && scale == kMaxScale))
                return false;
            units = units * 10 + (*p - '0');
            scale += mark;
        } else if ((*p == '.' || *p == ',') && !mark) {
            mark = true;
        } else {
            return false;
        }
    }
    if (digits == 0)
        return false;
    if (negative)
        units = -units;
    return true;
}

constexpr std::uint64_t kEachByte = 0x0101010101010101ULL;

enum class Short { Blank, Number, Other };

// The figure of a cell as nearly every cell holds it, read without 128-bit
// arithmetic: blanks, a sign, at most 19 digits and at most one mark,
// blanks. Number (magnitude and decimals set) and Blank exactly where
// readPlain reads the same; Other sends the text to readPlain. Summing
// reads every cell of every organisation, so this path is what a build's
// time goes on.
inline Short readShort(const char *cell, int length, std::uint64_t &magnitude, int &scale,
                       bool &negative) {
    const char *p = cell;
    const char *end = cell + length;
    // A number stands right-aligned behind blanks: eight bytes are passed at
    // a time (on a little-endian machine the first byte that is no blank is
    // the lowest one set after the XOR).
    if constexpr (std::endian::native == std::endian::little) {
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            word ^= ' ' * kEachByte;
            if (word != 0) {
                p += __builtin_ctzll(word) / 8;
                break;
            }
            p += 8;
        }
    }
    while (p != end && isPadding(*p))
        ++p;
    while (end != p && isPadding(end[-1]))
        --end;
    if (p == end)
        return Short::Blank;
    negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    // 19 characters hold at most 19 digits, below 2^64, and at most 18
    // decimals: neither of readPlain's limits can be reached.
    if (end - p > 19)
        return Short::Other;
    const char *first = p;
    const char *mark = nullptr;
    std::uint64_t value = 0;
    for (; p != end; ++p) {
        const unsigned digit = unsigned(static_cast<unsigned char>(*p)) - unsigned('0');
        if (digit <= 9)
            value = value * 10 + digit;
        else if ((*p == '.' || *p == ',') && !mark)
            mark = p;
        else
            return Short::Other;
    }
    if (end - first == (mark ? 1 : 0))
        return Short::Other; // no digit
    magnitude = value;
    scale = mark ? int(end - mark) - 1 : 0;
    return Short::Number;
}

} // namespace

ExactSum::Reading ExactSum::add(const store::FieldDef &Def, const char *Bytes) {
    if (Def.type != 'N' && Def.type != 'F' && Def.type != 'C')
        return addOther(Def, Bytes);
    std::uint64_t magnitude = 0;
    int scale = 0;
    bool negative = false;
    switch (readShort(Bytes, Def.length, magnitude, scale, negative)) {
    case Short::Blank:
        return Reading::Blank;
    case Short::Other:
        // Kept out of this function, so that the common path sets up no
        // more than it uses.
        return addOther(Def, Bytes);
    case Short::Number:
        break;
    }
    const __int128 units = negative ? -__int128(magnitude) : __int128(magnitude);
    // A column's figures have as a rule the decimals the sum has already:
    // then they are added in place.
    if (scale == m_scale && !m_tooLarge)
        m_tooLarge = __builtin_add_overflow(m_units, units, &m_units);
    else
        addUnits(units, scale);
    return Reading::Number;
}

// Every text that readShort does not read: long figures, other forms the
// table layer takes for a number, and text that is none.
__attribute__((noinline)) ExactSum::Reading ExactSum::addOther(const store::FieldDef &Def,
                                                               const char *Bytes) {
    __int128 units = 0;
    int scale = 0;
    bool blank = false;
    const bool numeric = Def.type == 'N' || Def.type == 'F' || Def.type == 'C';
    if (numeric && readPlain(Bytes, Def.length, units, scale, blank)) {
        addUnits(units, scale);
        return Reading::Number;
    }
    if (blank)
        return Reading::Blank;
    // Other forms the table layer reads as a number (an exponent, say): its
    // value, written out in full.
    double v = 0;
    switch (store::TField::ReadNumber(Def, Bytes, v)) {
    case store::TField::NumberReading::Blank:
        return Reading::Blank;
    case store::TField::NumberReading::NotNumber:
        return Reading::NotNumber;
    case store::TField::NumberReading::Number:
        break;
    }
    char text[400];
    const auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed);
    int n = r.ec == std::errc() ? int(r.ptr - text) : 0;
    if (const char *dot = static_cast<const char *>(std::memchr(text, '.', std::size_t(n))))
        n = std::min(n, int(dot - text) + 1 + kMaxScale);
    if (n > 0 && readPlain(text, n, units, scale, blank))
        addUnits(units, scale);
    else
        m_tooLarge = true;
    return Reading::Number;
}

ExactSum::Reading ExactSum::add(store::TADODataSet &Ds, int Field) {
    const char *record = Ds.RecordBytes();
    if (!record)
        return Reading::Blank;
    return add(Ds.FieldDefs()[Field], record + Ds.FieldOffset(Field));
}

void ExactSum::add(long long Value) {
    addUnits(Value, 0);
}

void ExactSum::add(const ExactSum &Other) {
    m_tooLarge = m_tooLarge || Other.m_tooLarge;
    addUnits(Other.m_units, Other.m_scale);
}

void ExactSum::addUnits(__int128 Units, int Scale) {
    if (m_tooLarge)
        return;
    if (Scale > m_scale) {
        m_tooLarge = __builtin_mul_overflow(m_units, pow10(Scale - m_scale), &m_units);
        m_scale = Scale;
    } else if (Scale < m_scale) {
        m_tooLarge = __builtin_mul_overflow(Units, pow10(m_scale - Scale), &Units);
    }
    m_tooLarge = m_tooLarge || __builtin_add_overflow(m_units, Units, &m_units);
}

QString ExactSum::text() const {
    unsigned __int128 magnitude = m_units < 0 ? -(unsigned __int128)m_units : m_units;
    std::string digits;
    do {
        digits.insert(digits.begin(), char('0' + int(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude != 0);
    if (int(digits.size()) <= m_scale)
        digits.insert(0, std::size_t(m_scale + 1) - digits.size(), '0');
    std::string whole = digits.substr(0, digits.size() - std::size_t(m_scale));
    std::string fraction = digits.substr(whole.size());
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    std::string out = (m_units < 0 ? "-" : "") + whole;
    if (!fraction.empty())
        out += '.' + fraction;
    return QString::fromLatin1(out.data(), qsizetype(out.size()));
}

long long ExactSum::rounded() const {
    const __int128 unit = pow10(m_scale);
    __int128 whole = m_units / unit;
    const __int128 rest = m_units % unit; // of the sign of m_units
    const __int128 twice = (rest < 0 ? -rest : rest) * 2;
    if (twice > unit || (twice == unit && whole % 2 != 0))
        whole += m_units < 0 ? -1 : 1;
    if (whole > LLONG_MAX)
        return LLONG_MAX;
    if (whole < LLONG_MIN)
        return LLONG_MIN;
    return (long long)whole;
}

long long integerOf(store::TADODataSet &Ds, int Field) {
    ExactSum v;
    v.add(Ds, Field);
    return v.rounded();
}

} // namespace svod::detail
