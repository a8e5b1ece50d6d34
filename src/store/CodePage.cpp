#include "store/CodePage.h"

#include "store/Cp1251.h"

#include <algorithm>
#include <array>
#include <utility>

namespace store::codepage {
namespace {

// CP866 bytes 0x80 to 0xFF; bytes below 0x80 are ASCII.
constexpr char16_t kCp866High[128] = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, // 80
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, // 88
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, // 90
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, // 98
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, // A0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, // D8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, // E0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, // E8
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E, // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0, // F8
};

using Pair = std::pair<char16_t, unsigned char>;

const std::array<Pair, 128> &cp866Reverse() {
    static const std::array<Pair, 128> r = [] {
        std::array<Pair, 128> a{};
        for (int i = 0; i < 128; ++i)
            a[std::size_t(i)] = {kCp866High[i], static_cast<unsigned char>(0x80 + i)};
        std::sort(a.begin(), a.end());
        return a;
    }();
    return r;
}

int cp866Byte(char16_t c) {
    if (c < 0x80)
        return c;
    const auto &r = cp866Reverse();
    auto it = std::lower_bound(r.begin(), r.end(), Pair{c, 0});
    if (it != r.end() && it->first == c)
        return it->second;
    return -1;
}

} // namespace

bool fromLanguageDriver(unsigned char driver, CodePage &out) {
    switch (driver) {
    case 0x00:
    case 0xC9:
        out = CodePage::Cp1251;
        return true;
    case 0x26:
    case 0x65:
        out = CodePage::Cp866;
        return true;
    default:
        return false;
    }
}

QString name(CodePage cp) {
    return cp == CodePage::Cp866 ? QStringLiteral("CP866") : QStringLiteral("Windows-1251");
}

QString decode(CodePage cp, const char *bytes, qsizetype len) {
    if (cp == CodePage::Cp1251)
        return cp1251::decode(bytes, len);
    QString s(len, Qt::Uninitialized);
    QChar *out = s.data();
    for (qsizetype i = 0; i < len; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = b < 0x80 ? QChar(b) : QChar(kCp866High[b - 0x80]);
    }
    return s;
}

bool encode(CodePage cp, const QString &text, QByteArray &out, qsizetype *badIndex) {
    if (cp == CodePage::Cp1251)
        return cp1251::encode(text, out, badIndex);
    out.resize(text.size());
    char *dst = out.data();
    const QChar *src = text.constData();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int b = cp866Byte(src[i].unicode());
        if (b < 0) {
            if (badIndex)
                *badIndex = i;
            out.clear();
            return false;
        }
        dst[i] = static_cast<char>(b);
    }
    return true;
}

} // namespace store::codepage
