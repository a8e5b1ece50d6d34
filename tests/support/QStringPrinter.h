#pragma once
// How GoogleTest prints a QString in the message of a failed check: as its
// text in double quotes, UTF-8, with quotes, backslashes and control
// characters escaped ("Таблица \"SCHOOL\"\r" and not a dump of each
// character's bytes). Lists of strings (QStringList) print their items
// through it.
//
// tests/CMakeLists.txt includes this header ahead of every source of the
// test programs and of this folder, so that a QString prints the same way in
// every check of a program.

#include <QString>

#include <ostream>

inline void PrintTo(const QString &text, std::ostream *os) {
    QString quoted;
    quoted.reserve(text.size() + 2);
    quoted += QLatin1Char('"');
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'"':
            quoted += QLatin1String("\\\"");
            break;
        case u'\\':
            quoted += QLatin1String("\\\\");
            break;
        case u'\r':
            quoted += QLatin1String("\\r");
            break;
        case u'\n':
            quoted += QLatin1String("\\n");
            break;
        case u'\t':
            quoted += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                quoted += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                quoted += c;
        }
    }
    quoted += QLatin1Char('"');
    *os << quoted.toStdString();
}
