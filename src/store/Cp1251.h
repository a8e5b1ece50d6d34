#pragma once
// Windows Cyrillic code page (CP1251): the 8-bit encoding of the tables this
// program writes. Qt's own converters do not offer it on every platform, so
// the mapping is kept in this layer (CodePage.cpp, beside CP866).

#include <QByteArray>
#include <QString>

namespace store::cp1251 {

// Decodes len bytes. Every byte has a character (0x98, unassigned in the code
// page, reads as U+0098, which encoding refuses).
QString decode(const char *bytes, qsizetype len);
inline QString decode(const QByteArray &bytes) {
    return decode(bytes.constData(), bytes.size());
}

// The byte for one UTF-16 code unit; -1 when the code page has no such character.
int encodeChar(char16_t c);

// Encodes text; false (and *badIndex set to the offending position) when a
// character has no CP1251 byte. Nothing is replaced by "?".
bool encode(const QString &text, QByteArray &out, qsizetype *badIndex = nullptr);

} // namespace store::cp1251
