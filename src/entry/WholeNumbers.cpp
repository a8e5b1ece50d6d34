#include "entry/WholeNumbers.h"

#include "store/DecimalText.h"

namespace {

// A number has at most this many digits before its mark here: 128 bits
// hold 38 of them, and room is left for a sum of many.
constexpr int kMaxDigits = 36;

} // namespace

std::optional<WholeNumber> WholeOfText(const QString &Text) {
    // The table layer's reading of decimal text, rounded to a whole number.
    const QByteArray text = Text.trimmed().toLatin1();
    store::detail::DecimalText d;
    if (!d.parse(text.constData(), text.size()))
        return std::nullopt;
    if (d.whole.size() > std::size_t(kMaxDigits))
        return std::nullopt;
    d.roundTo(0);
    WholeNumber v = 0;
    for (const char c : d.whole)
        v = v * 10 + (c - '0');
    return d.negative ? -v : v;
}

std::optional<WholeNumber> IntegerOfText(const QString &Text) {
    if (Text.contains(u'.') || Text.contains(u','))
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
