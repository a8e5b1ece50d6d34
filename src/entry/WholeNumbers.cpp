#include "entry/WholeNumbers.h"

#include <algorithm>

namespace {

bool allDigits(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// A number has at most this many digits before its mark here: 128 bits
// hold 38 of them, and room is left for a sum of many.
constexpr int kMaxDigits = 36;

} // namespace

std::optional<WholeNumber> WholeOfText(const QString &Text) {
    QStringView t = QStringView(Text).trimmed();
    const bool negative = t.startsWith(u'-');
    if (negative || t.startsWith(u'+'))
        t = t.mid(1);
    const qsizetype dot = t.indexOf(u'.');
    const QStringView whole = dot < 0 ? t : t.left(dot);
    const QStringView fraction = dot < 0 ? QStringView() : t.mid(dot + 1);
    if ((whole.isEmpty() && fraction.isEmpty()) || whole.size() > kMaxDigits || !allDigits(whole) ||
        !allDigits(fraction))
        return std::nullopt;
    WholeNumber v = 0;
    for (const QChar c : whole)
        v = v * 10 + (c.unicode() - u'0');
    if (!fraction.isEmpty()) {
        const int first = fraction.front().unicode() - u'0';
        const bool beyondHalf =
            std::any_of(fraction.begin() + 1, fraction.end(), [](QChar c) { return c != u'0'; });
        if (first > 5 || (first == 5 && (beyondHalf || v % 2 == 1)))
            ++v;
    }
    return negative ? -v : v;
}

std::optional<WholeNumber> IntegerOfText(const QString &Text) {
    if (Text.contains(u'.'))
        return std::nullopt;
    return WholeOfText(Text);
}

QString WholeText(WholeNumber Value) {
    if (Value == 0)
        return QStringLiteral("0");
    unsigned __int128 u = Value < 0 ? -static_cast<unsigned __int128>(Value) : Value;
    QString text;
    for (; u != 0; u /= 10)
        text.prepend(QChar(u'0' + int(u % 10)));
    if (Value < 0)
        text.prepend(u'-');
    return text;
}
