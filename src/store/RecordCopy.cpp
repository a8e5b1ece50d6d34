#include "store/RecordCopy.h"

#include "store/DbfTable.h"
#include "store/DecimalText.h"

#include <charconv>
#include <cstring>
#include <string>

namespace store {

using detail::DbfTable;
using Kind = CarryProblem::Kind;

namespace {

enum class Move { Number, Text };

// A field of both tables that is written again rather than copied.
struct Conversion {
    Move move;
    int from, to; // field indexes
};

// Bytes copied as they are: consecutive fields of the same layout in both.
struct Run {
    int from, to, length;
};

bool blank(const char *p, int len) {
    int i = 0, end = 0;
    return !detail::valueSpan(p, len, i, end);
}

QString storedText(const DbfTable &t, const char *p, int len) {
    int i = 0, end = 0;
    detail::valueSpan(p, len, i, end);
    return t.decode(p + i, end - i);
}

// Writes the number of a numeric field into another numeric field, every
// digit kept; false (and why) when the new field cannot hold it unchanged.
bool putNumber(const char *src, int srcLen, char *dst, const FieldDef &to, Kind &why) {
    int i = 0, end = 0;
    if (!detail::valueSpan(src, srcLen, i, end)) {
        std::memset(dst, ' ', std::size_t(to.length));
        return true;
    }
    detail::DecimalText number;
    if (!number.parse(src + i, end - i)) {
        // Other forms (exponents) through their value, in its shortest
        // fixed form.
        double v = 0;
        char buf[400];
        const auto r = detail::parseNumber(src, srcLen, v)
                           ? std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed)
                           : std::to_chars_result{buf, std::errc::invalid_argument};
        number = detail::DecimalText();
        if (r.ec != std::errc() || !number.parse(buf, r.ptr - buf)) {
            why = Kind::NotNumber;
            return false;
        }
    }
    if (int(number.fraction.size()) > to.decimals) {
        why = Kind::Decimals;
        return false;
    }
    const std::string text = number.fixed(to.decimals);
    if (int(text.size()) > to.length) {
        why = Kind::TooWide;
        return false;
    }
    std::memset(dst, ' ', std::size_t(to.length) - text.size());
    std::memcpy(dst + (to.length - int(text.size())), text.data(), text.size());
    return true;
}

// Writes a text field into another text field, encoded again when the code
// pages differ; false (and why) when the new field cannot hold it.
bool putText(const DbfTable &from, const char *src, int srcLen, const DbfTable &into, char *dst,
             const FieldDef &to, Kind &why) {
    int n = srcLen;
    while (n > 0 && (src[n - 1] == ' ' || src[n - 1] == '\0'))
        --n;
    QByteArray bytes = QByteArray::fromRawData(src, n);
    if (from.codePage() != into.codePage() &&
        !codepage::encode(into.codePage(), from.decode(src, n), bytes)) {
        why = Kind::NotInCodePage;
        return false;
    }
    if (bytes.size() > to.length) {
        why = Kind::TooWide;
        return false;
    }
    std::memcpy(dst, bytes.constData(), std::size_t(bytes.size()));
    std::memset(dst + bytes.size(), ' ', std::size_t(to.length - bytes.size()));
    return true;
}

void putLe32(char *p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}

} // namespace

struct RecordCopy::Plan {
    QVector<FieldDef> defs; // the old layout the plan is for...
    CodePage codePage = CodePage::Cp1251;
    std::vector<Run> runs;
    std::vector<Conversion> conversions;
    std::vector<int> dropped; // old fields the blank lacks
    bool carried = true;
};

RecordCopy::RecordCopy(const QByteArray &blank, const QString &blankPath)
    : m_blank(DbfTable::parse(blank.constData(), std::size_t(blank.size()), blankPath)),
      m_header(blank.left(blank.size() >= 10 ? (uchar(blank[8]) | (uchar(blank[9]) << 8)) : 0)) {}

RecordCopy::~RecordCopy() = default;

const QVector<FieldDef> &RecordCopy::fields() const {
    return m_blank->defs();
}

const RecordCopy::Plan &RecordCopy::planFor(const DbfTable &old) const {
    auto sameLayout = [&](const Plan &p) {
        if (p.codePage != old.codePage() || p.defs.size() != old.defs().size())
            return false;
        for (qsizetype i = 0; i < p.defs.size(); ++i) {
            const FieldDef &a = p.defs[i], &b = old.defs()[i];
            if (a.name != b.name || a.type != b.type || a.length != b.length ||
                a.decimals != b.decimals)
                return false;
        }
        return true;
    };
    for (const auto &p : m_plans)
        if (sameLayout(*p))
            return *p;

    auto plan = std::make_unique<Plan>();
    plan->defs = old.defs();
    plan->codePage = old.codePage();
    const DbfTable &into = *m_blank;
    for (int i = 0; i < old.fieldCount(); ++i) {
        const FieldDef &from = old.defs()[i];
        const int j = into.fieldIndex(from.name);
        if (j < 0) {
            plan->dropped.push_back(i);
            continue;
        }
        const FieldDef &to = into.defs()[j];
        const bool numbers =
            (from.type == 'N' || from.type == 'F') && (to.type == 'N' || to.type == 'F');
        const bool texts = from.type == 'C' && to.type == 'C';
        const bool sameBytes = from.type == to.type && from.length == to.length &&
                               from.decimals == to.decimals && from.type != 'M' &&
                               (!texts || old.codePage() == into.codePage());
        if (sameBytes) {
            Run *last = plan->runs.empty() ? nullptr : &plan->runs.back();
            if (last && last->from + last->length == old.offset(i) &&
                last->to + last->length == into.offset(j))
                last->length += from.length;
            else
                plan->runs.push_back({old.offset(i), into.offset(j), from.length});
        } else if (numbers || texts) {
            plan->conversions.push_back({numbers ? Move::Number : Move::Text, i, j});
        } else {
            plan->carried = false;
        }
    }
    m_plans.push_back(std::move(plan));
    return *m_plans.back();
}

RecordCopy::Result RecordCopy::carry(const QByteArray &old, const QString &oldPath,
                                     const QDate &Today) const {
    const auto table = DbfTable::parse(old.constData(), std::size_t(old.size()), oldPath);
    const DbfTable &from = *table;
    const DbfTable &into = *m_blank;
    const Plan &plan = planFor(from);
    Result result;
    std::vector<char> reported(std::size_t(from.fieldCount()), 0);
    auto problem = [&](Kind kind, int row, int field, const FieldDef &target) {
        if (reported[std::size_t(field)])
            return;
        reported[std::size_t(field)] = 1;
        const char *rec = from.record(row);
        int n = 0; // the row counted over records not deleted
        for (int p = 0; p <= row; ++p)
            n += from.isDeleted(p) ? 0 : 1;
        result.problems.append(
            {kind, n, from.defs()[field].name,
             storedText(from, rec + from.offset(field), from.defs()[field].length), target});
    };

    for (int i : plan.dropped)
        for (int p = 0; p < from.recordCount(); ++p)
            if (!from.isDeleted(p) &&
                !blank(from.record(p) + from.offset(i), from.defs()[i].length)) {
                problem(Kind::NoField, p, i, FieldDef{QString(), 'C', 0, 0});
                break;
            }
    result.carried = plan.carried;
    if (!plan.carried)
        return result;

    const int recLen = into.recordLength();
    const QByteArray spaces(recLen, ' ');
    QByteArray out;
    out.reserve(m_header.size() +
                qsizetype(std::max(from.recordCount(), into.recordCount()) + 1) * recLen);
    out.append(m_header);
    int next = 0; // the old table's next physical record
    auto nextOld = [&]() -> int {
        while (next < from.recordCount() && from.isDeleted(next))
            ++next;
        return next < from.recordCount() ? next++ : -1;
    };
    // One new record: the base record's bytes with the old record's values.
    auto write = [&](const char *base, int row) {
        const qsizetype at = out.size();
        out.append(base, recLen);
        char *dst = out.data() + at;
        const char *src = from.record(row);
        dst[0] = ' ';
        for (const Run &r : plan.runs)
            std::memcpy(dst + r.to, src + r.from, std::size_t(r.length));
        for (const Conversion &c : plan.conversions) {
            const FieldDef &to = into.defs()[c.to];
            Kind why = Kind::TooWide;
            const char *s = src + from.offset(c.from);
            const int len = from.defs()[c.from].length;
            const bool ok = c.move == Move::Number
                                ? putNumber(s, len, dst + into.offset(c.to), to, why)
                                : putText(from, s, len, into, dst + into.offset(c.to), to, why);
            if (!ok)
                problem(why, row, c.from, to);
        }
    };
    int count = 0;
    for (int p = 0; p < into.recordCount(); ++p, ++count) {
        const int row = into.isDeleted(p) ? -1 : nextOld();
        if (row < 0)
            out.append(into.record(p), recLen);
        else
            write(into.record(p), row);
    }
    for (int row = nextOld(); row >= 0; row = nextOld(), ++count)
        write(spaces.constData(), row);
    out.append('\x1A');
    if (!result.problems.isEmpty())
        return result;

    char *h = out.data();
    h[1] = char(std::clamp(Today.year() - 1900, 0, 255));
    h[2] = char(Today.month());
    h[3] = char(Today.day());
    putLe32(h + 4, std::uint32_t(count));
    result.table = std::move(out);
    return result;
}

} // namespace store
