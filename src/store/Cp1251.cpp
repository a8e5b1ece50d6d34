#include "store/Cp1251.h"

#include "store/CodePage.h"

// The mapping itself lives with the other code pages (CodePage.cpp).

namespace store::cp1251 {

QString decode(const char *bytes, qsizetype len) {
    return codepage::decode(CodePage::Cp1251, bytes, len);
}

int encodeChar(char16_t c) {
    return codepage::byteOf(CodePage::Cp1251, c);
}

bool encode(const QString &text, QByteArray &out, qsizetype *badIndex) {
    return codepage::encode(CodePage::Cp1251, text, out, badIndex);
}

} // namespace store::cp1251
