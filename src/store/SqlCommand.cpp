#include "store/SqlCommand.h"

#include "store/DbfTable.h"

#include <QDate>

#include <cstring>

namespace store::detail {

namespace {

[[noreturn]] void refuse(const QString &sql, const QString &why) {
    throw StoreError(QStringLiteral("Запрос \"%1\" не поддерживается: %2.").arg(sql, why));
}

struct Token {
    enum Type { End, Ident, Number, Text, LParen, RParen, Op } type = End;
    QString text;
    double number = 0;
    Condition::Op op = Condition::Op::Eq;
};

class Lexer {
public:
    Lexer(const QString &sql, QStringView s) : m_sql(sql), m_s(s) {}

    Token next() {
        while (m_i < m_s.size() && m_s[m_i].isSpace())
            ++m_i;
        Token t;
        if (m_i >= m_s.size())
            return t;
        const QChar c = m_s[m_i];
        if (c == u'(') {
            ++m_i;
            t.type = Token::LParen;
            return t;
        }
        if (c == u')') {
            ++m_i;
            t.type = Token::RParen;
            return t;
        }
        if (c == u'=' || c == u'<' || c == u'>' || c == u'!') {
            const QChar d = m_i + 1 < m_s.size() ? m_s[m_i + 1] : QChar();
            t.type = Token::Op;
            if (c == u'<' && d == u'>') {
                t.op = Condition::Op::Ne;
                m_i += 2;
            } else if (c == u'!' && d == u'=') {
                t.op = Condition::Op::Ne;
                m_i += 2;
            } else if (c == u'<' && d == u'=') {
                t.op = Condition::Op::Le;
                m_i += 2;
            } else if (c == u'>' && d == u'=') {
                t.op = Condition::Op::Ge;
                m_i += 2;
            } else if (c == u'=') {
                t.op = Condition::Op::Eq;
                ++m_i;
            } else if (c == u'<') {
                t.op = Condition::Op::Lt;
                ++m_i;
            } else if (c == u'>') {
                t.op = Condition::Op::Gt;
                ++m_i;
            } else {
                refuse(m_sql, QStringLiteral("неизвестный знак \"!\""));
            }
            return t;
        }
        if (c == u'\'' || c == u'"') {
            const QChar quote = c;
            ++m_i;
            QString text;
            for (;;) {
                if (m_i >= m_s.size())
                    refuse(m_sql, QStringLiteral("не закрыта кавычка"));
                if (m_s[m_i] == quote) {
                    if (m_i + 1 < m_s.size() && m_s[m_i + 1] == quote) {
                        text += quote;
                        m_i += 2;
                        continue;
                    }
                    ++m_i;
                    break;
                }
                text += m_s[m_i++];
            }
            t.type = Token::Text;
            t.text = text;
            return t;
        }
        if (c.isDigit() || c == u'-' || c == u'+' || c == u'.') {
            const qsizetype start = m_i;
            if (c == u'-' || c == u'+')
                ++m_i;
            while (m_i < m_s.size() && (m_s[m_i].isDigit() || m_s[m_i] == u'.'))
                ++m_i;
            const QStringView num = m_s.mid(start, m_i - start);
            double v = 0;
            if (!parseNumberText(num, v) || num.contains(u','))
                refuse(m_sql, QStringLiteral("неверное число \"%1\"").arg(num));
            t.type = Token::Number;
            t.number = v;
            return t;
        }
        if (c == u'[') {
            const qsizetype close = m_s.indexOf(u']', m_i);
            if (close < 0)
                refuse(m_sql, QStringLiteral("не закрыта скобка ["));
            t.type = Token::Ident;
            t.text = m_s.mid(m_i + 1, close - m_i - 1).toString();
            m_i = close + 1;
            return t;
        }
        if (c.isLetter() || c == u'_') {
            const qsizetype start = m_i;
            while (m_i < m_s.size() && (m_s[m_i].isLetterOrNumber() || m_s[m_i] == u'_'))
                ++m_i;
            t.type = Token::Ident;
            t.text = m_s.mid(start, m_i - start).toString();
            return t;
        }
        refuse(m_sql, QStringLiteral("неожиданный символ \"%1\"").arg(c));
    }

private:
    const QString &m_sql;
    QStringView m_s;
    qsizetype m_i = 0;
};

class Parser {
public:
    Parser(const QString &sql, QStringView where) : m_sql(sql), m_lex(sql, where) {
        m_tok = m_lex.next();
    }

    std::vector<Condition> parse() {
        conjunction(0);
        if (m_tok.type != Token::End)
            refuse(m_sql, QStringLiteral("лишний текст после условия"));
        return std::move(m_out);
    }

private:
    void advance() { m_tok = m_lex.next(); }

    static bool isKeyword(const Token &t, const char *kw) {
        return t.type == Token::Ident &&
               t.text.compare(QLatin1String(kw), Qt::CaseInsensitive) == 0;
    }

    void conjunction(int depth) {
        term(depth);
        while (isKeyword(m_tok, "AND")) {
            advance();
            term(depth);
        }
        if (isKeyword(m_tok, "OR") || isKeyword(m_tok, "NOT"))
            refuse(m_sql, QStringLiteral("поддерживается только AND"));
    }

    void term(int depth) {
        if (m_tok.type == Token::LParen) {
            if (depth > 32)
                refuse(m_sql, QStringLiteral("слишком много скобок"));
            advance();
            conjunction(depth + 1);
            if (m_tok.type != Token::RParen)
                refuse(m_sql, QStringLiteral("не закрыта скобка"));
            advance();
            return;
        }
        if (m_tok.type != Token::Ident || isKeyword(m_tok, "AND"))
            refuse(m_sql, QStringLiteral("ожидалось имя поля"));
        Condition c;
        c.fieldName = m_tok.text;
        advance();
        if (m_tok.type != Token::Op)
            refuse(m_sql, QStringLiteral("ожидался знак сравнения после %1").arg(c.fieldName));
        c.op = m_tok.op;
        advance();
        if (m_tok.type == Token::Number) {
            c.kind = Condition::Kind::Number;
            c.number = m_tok.number;
        } else if (m_tok.type == Token::Text) {
            c.kind = Condition::Kind::Text;
            c.text = m_tok.text;
        } else if (isKeyword(m_tok, "TRUE") || isKeyword(m_tok, "FALSE")) {
            c.kind = Condition::Kind::Boolean;
            c.boolean = isKeyword(m_tok, "TRUE");
        } else {
            refuse(m_sql, QStringLiteral("ожидалось число или текст в кавычках"));
        }
        advance();
        m_out.push_back(std::move(c));
    }

    const QString &m_sql;
    Lexer m_lex;
    Token m_tok;
    std::vector<Condition> m_out;
};

template <typename T> bool compare(Condition::Op op, const T &a, const T &b) {
    switch (op) {
    case Condition::Op::Eq:
        return a == b;
    case Condition::Op::Ne:
        return a != b;
    case Condition::Op::Lt:
        return a < b;
    case Condition::Op::Gt:
        return a > b;
    case Condition::Op::Le:
        return a <= b;
    case Condition::Op::Ge:
        return a >= b;
    }
    return false;
}

int compareText(const QString &a, const QString &b) {
    return a.compare(b, Qt::CaseInsensitive);
}

QString dateKeyOf(const QString &text) {
    for (const char *fmt : {"yyyyMMdd", "yyyy-MM-dd", "dd.MM.yyyy"}) {
        const QDate d = QDate::fromString(text.trimmed(), QLatin1String(fmt));
        if (d.isValid())
            return d.toString(QStringLiteral("yyyyMMdd"));
    }
    return QString();
}

} // namespace

SelectCommand parseSelect(const QString &sql) {
    QStringView s = QStringView(sql).trimmed();
    while (s.endsWith(u';'))
        s = s.chopped(1).trimmed();
    auto takeWord = [&](const char *word) {
        const qsizetype n = qsizetype(std::strlen(word));
        if (s.size() < n || s.left(n).compare(QLatin1String(word), Qt::CaseInsensitive) != 0)
            return false;
        if (s.size() > n && !s[n].isSpace() && word[0] != '*')
            return false;
        s = s.mid(n).trimmed();
        return true;
    };
    if (!takeWord("select") || !takeWord("*") || !takeWord("from"))
        refuse(sql, QStringLiteral("ожидается \"select * from\" и имя таблицы"));
    SelectCommand cmd;
    qsizetype end = 0;
    if (!s.isEmpty() && (s[0] == u'[' || s[0] == u'"' || s[0] == u'`')) {
        const QChar close = s[0] == u'[' ? QChar(u']') : s[0];
        end = s.indexOf(close, 1);
        if (end < 0)
            refuse(sql, QStringLiteral("не закрыто имя таблицы"));
        cmd.table = s.mid(1, end - 1).toString();
        ++end;
    } else {
        while (end < s.size() && !s[end].isSpace() && s[end] != u'(')
            ++end;
        cmd.table = s.left(end).toString();
    }
    if (cmd.table.trimmed().isEmpty())
        refuse(sql, QStringLiteral("не указано имя таблицы"));
    s = s.mid(end).trimmed();
    if (s.isEmpty())
        return cmd;
    if (s.size() < 5 || s.left(5).compare(QLatin1String("where"), Qt::CaseInsensitive) != 0 ||
        (s.size() > 5 && !s[5].isSpace() && s[5] != u'('))
        refuse(sql, QStringLiteral("после имени таблицы допускается только where"));
    s = s.mid(5);
    Parser parser(sql, s);
    cmd.conditions = parser.parse();
    if (cmd.conditions.empty())
        refuse(sql, QStringLiteral("пустое условие"));
    return cmd;
}

void Filter::resolve(const DbfTable &table) {
    for (Condition &c : m_conds) {
        c.field = table.fieldIndex(c.fieldName);
        if (c.field < 0)
            throw StoreError(
                QStringLiteral("В таблице нет поля \"%1\" из условия запроса.").arg(c.fieldName));
        c.fieldType = table.defs()[c.field].type;
        auto mismatch = [&]() {
            throw StoreError(
                QStringLiteral("Поле \"%1\" нельзя сравнить с этим значением.").arg(c.fieldName));
        };
        switch (c.fieldType) {
        case 'N':
        case 'F':
            if (c.kind == Condition::Kind::Text) {
                double v = 0;
                if (!parseNumberText(c.text, v))
                    mismatch();
                c.kind = Condition::Kind::Number;
                c.number = v;
            } else if (c.kind == Condition::Kind::Boolean) {
                mismatch();
            }
            break;
        case 'C':
            if (c.kind == Condition::Kind::Boolean)
                mismatch();
            break;
        case 'L':
            if (c.kind == Condition::Kind::Text) {
                const QString t = c.text.trimmed().toUpper();
                if (t == u"T" || t == u"Y" || t == u"TRUE")
                    c.boolean = true;
                else if (t == u"F" || t == u"N" || t == u"FALSE")
                    c.boolean = false;
                else
                    mismatch();
                c.kind = Condition::Kind::Boolean;
            } else if (c.kind == Condition::Kind::Number) {
                mismatch();
            }
            if (c.op != Condition::Op::Eq && c.op != Condition::Op::Ne)
                mismatch();
            break;
        case 'D':
            if (c.kind != Condition::Kind::Text)
                mismatch();
            c.dateKey = dateKeyOf(c.text);
            if (c.dateKey.isEmpty())
                mismatch();
            break;
        default:
            mismatch();
        }
    }
}

bool Filter::matches(const DbfTable &table, const char *record) const {
    for (const Condition &c : m_conds) {
        const char *p = record + table.offset(c.field);
        const int len = table.defs()[c.field].length;
        bool ok = false;
        switch (c.fieldType) {
        case 'N':
        case 'F': {
            double v = 0;
            ok = parseNumber(p, len, v) && compare(c.op, v, c.number);
            break;
        }
        case 'C': {
            int n = len;
            while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0'))
                --n;
            if (c.kind == Condition::Kind::Number) {
                double v = 0;
                ok = parseNumber(p, n, v) && compare(c.op, v, c.number);
            } else {
                ok = compare(c.op, compareText(table.decode(p, n), c.text), 0);
            }
            break;
        }
        case 'L': {
            const char b = p[0];
            const bool isTrue = b == 'T' || b == 't' || b == 'Y' || b == 'y';
            const bool isFalse = b == 'F' || b == 'f' || b == 'N' || b == 'n';
            ok = (isTrue || isFalse) && compare(c.op, isTrue, c.boolean);
            break;
        }
        case 'D':
            ok = !isBlank(p, len) && compare(c.op, QString::fromLatin1(p, len), c.dateKey);
            break;
        default:
            break;
        }
        if (!ok)
            return false;
    }
    return true;
}

} // namespace store::detail
