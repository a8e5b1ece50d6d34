#pragma once
// The code pages a table's text may be stored in, chosen by the language
// driver byte of its header (byte 29): Windows Cyrillic (CP1251), the code page
// of every table this program writes, and DOS Cyrillic (CP866), which tables
// made by DOS programs carry.

#include <QByteArray>
#include <QString>

namespace store {

enum class CodePage { Cp1251, Cp866 };

namespace codepage {

// The code page that a header's language driver byte names: 0xC9 and 0x00
// (none given) Windows Cyrillic, 0x26 and 0x65 DOS Cyrillic. False for any
// other byte, which this layer does not guess at.
bool fromLanguageDriver(unsigned char driver, CodePage &out);

// The name of a code page for messages ("Windows-1251", "CP866").
QString name(CodePage cp);

// Decodes len bytes; every byte has a character.
QString decode(CodePage cp, const char *bytes, qsizetype len);

// The byte for one UTF-16 code unit; -1 when the code page has no such character.
int byteOf(CodePage cp, char16_t c);

// Encodes text; false (and *badIndex set to the offending position) when a
// character has no byte in the code page. Nothing is replaced by "?".
bool encode(CodePage cp, const QString &text, QByteArray &out, qsizetype *badIndex = nullptr);

} // namespace codepage
} // namespace store
