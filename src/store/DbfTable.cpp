#include "store/DbfTable.h"

#include "store/FileLocks.h"
#include "store/SaveFile.h"
#include "store/SystemError.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTime>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <optional>
#include <unordered_map>

namespace store::detail {

namespace {

[[noreturn]] void fail(const QString &message) {
    throw StoreError(message);
}

QString fileLabel(const QString &source) {
    return QFileInfo(source).fileName();
}

[[noreturn]] void corrupt(const QString &source, const QString &why) {
    fail(QStringLiteral("Файл %1 не является таблицей dBASE или повреждён: %2.")
             .arg(fileLabel(source), why));
}

std::uint32_t le32(const unsigned char *p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
std::uint16_t le16(const unsigned char *p) {
    return std::uint16_t(p[0] | (p[1] << 8));
}

char16_t foldChar(char16_t c) {
    if (c < 0x80)
        return (c >= 'a' && c <= 'z') ? char16_t(c - 32) : c;
    return QChar(c).toUpper().unicode();
}

std::uint32_t foldedHash(QStringView s) {
    std::uint32_t h = 2166136261u;
    for (QChar c : s) {
        h ^= foldChar(c.unicode());
        h *= 16777619u;
    }
    return h;
}

bool isTypeKnown(char t) {
    return t == 'C' || t == 'N' || t == 'F' || t == 'L' || t == 'D' || t == 'M';
}

// The header's last-update date and record count, bytes 1 to 7.
// Today's date, worked out again only when the day has ended: a post writes
// the header date each time.
QDate todayCached() {
    thread_local QDate date;
    thread_local std::time_t until = 0;
    const std::time_t now = std::time(nullptr);
    if (now >= until || !date.isValid()) {
        date = QDate::currentDate();
        until = QDateTime(date.addDays(1), QTime(0, 0)).toSecsSinceEpoch();
    }
    return date;
}

void headerDateAndCount(unsigned char out[7], int count) {
    // The date's three bytes, worked out again only when the day changed.
    thread_local QDate madeFor;
    thread_local unsigned char date[3];
    if (const QDate today = todayCached(); today != madeFor) {
        madeFor = today;
        date[0] = static_cast<unsigned char>(std::clamp(today.year() - 1900, 0, 255));
        date[1] = static_cast<unsigned char>(today.month());
        date[2] = static_cast<unsigned char>(today.day());
    }
    std::memcpy(out, date, 3);
    const auto c = static_cast<std::uint32_t>(count);
    out[3] = c & 0xFF;
    out[4] = (c >> 8) & 0xFF;
    out[5] = (c >> 16) & 0xFF;
    out[6] = (c >> 24) & 0xFF;
}

// Registry of the tables open in this process, by the file's device and
// inode (taken from the descriptor the open reads through: no path is
// resolved twice, and every name of one file shares one table).
struct FileKey {
    std::uint64_t device;
    std::uint64_t inode;
    bool operator==(const FileKey &) const = default;
};
struct FileKeyHash {
    std::size_t operator()(const FileKey &k) const noexcept {
        return std::hash<std::uint64_t>()(k.inode * 0x9E3779B97F4A7C15ull ^ k.device);
    }
};
using Registry = std::unordered_map<FileKey, std::weak_ptr<DbfTable>, FileKeyHash>;
// The layouts of the headers parsed so far, by header bytes (date and count
// blanked): most tables of an installation share a few.
struct KnownLayout {
    QVector<FieldDef> defs;
    std::vector<int> offsets;
    FieldNameIndex names;
    int recLen;
    CodePage codePage;
};
QHash<QByteArray, KnownLayout> &knownLayouts() {
    static QHash<QByteArray, KnownLayout> k;
    return k;
}
// The layout met last and its key: a run that reads one table of every
// organisation meets the same header again and again, which is then told
// by comparing it in place, without copying and hashing it.
struct LastLayout {
    QByteArray key;
    KnownLayout layout;
};
std::optional<LastLayout> &lastLayout() {
    static std::optional<LastLayout> last;
    return last;
}
// Whether a header is the one of the key: its first byte and all from the
// ninth on (the date and the record count, between them, left aside).
bool sameLayout(const QByteArray &key, const char *header, int headerLen) {
    return key.size() == headerLen && key[0] == header[0] &&
           std::memcmp(key.constData() + 8, header + 8, std::size_t(headerLen - 8)) == 0;
}

Registry &registry() {
    static Registry r;
    return r;
}

// The flag byte of record r of records laid one after another.
unsigned char flagOf(const char *records, std::int64_t r, int recLen) {
    return static_cast<unsigned char>(records[std::size_t(r) * std::size_t(recLen)]);
}

// Every record within a header's count is live (blank flag) or deleted
// ("*"); an end mark or anything else there is damage, not a record. The
// first such record of count, or -1.
std::int64_t firstBadFlag(const char *records, std::uint32_t count, int recLen) {
    for (std::uint32_t r = 0; r < count; ++r) {
        const unsigned char flag = flagOf(records, r, recLen);
        if (flag != ' ' && flag != '*')
            return r;
    }
    return -1;
}

// The shortest header: 32 bytes, one field descriptor of 32 and the 0x0D
// that ends the descriptors.
constexpr int kLeastHeader = 32 + 32 + 1;

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

} // namespace

FileStamp stampOfStat(const struct stat &st) {
    FileStamp s;
    s.size = st.st_size;
    s.mtimeNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.ctimeNs = std::int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    s.inode = st.st_ino;
    return s;
}

FileStamp stampOf(const QString &path) {
    struct stat st;
    const QByteArray native = QFile::encodeName(path);
    if (::stat(native.constData(), &st) != 0)
        return FileStamp();
    return stampOfStat(st);
}

// ---- field names ----

void FieldNameIndex::build(const QVector<FieldDef> &defs) {
    std::uint32_t size = 8;
    while (size < std::uint32_t(defs.size()) * 2)
        size *= 2;
    m_slots.assign(size, 0);
    m_mask = size - 1;
    for (int i = 0; i < defs.size(); ++i) {
        std::uint32_t h = foldedHash(defs[i].name) & m_mask;
        bool duplicate = false;
        while (m_slots[h] != 0) {
            if (defs[m_slots[h] - 1].name.compare(defs[i].name, Qt::CaseInsensitive) == 0) {
                duplicate = true; // the first field of a name wins
                break;
            }
            h = (h + 1) & m_mask;
        }
        if (!duplicate)
            m_slots[h] = i + 1;
    }
}

int FieldNameIndex::find(const QVector<FieldDef> &defs, QStringView name) const {
    if (m_slots.empty())
        return -1;
    std::uint32_t h = foldedHash(name) & m_mask;
    while (m_slots[h] != 0) {
        const FieldDef &d = defs[m_slots[h] - 1];
        if (d.name.size() == name.size() &&
            QStringView(d.name).compare(name, Qt::CaseInsensitive) == 0)
            return m_slots[h] - 1;
        h = (h + 1) & m_mask;
    }
    return -1;
}

// ---- values ----

bool isBlank(const char *p, int len) {
    for (int i = 0; i < len; ++i)
        if (p[i] != ' ' && p[i] != '\0')
            return false;
    return true;
}

bool valueSpan(const char *p, int len, int &i, int &end) {
    i = 0;
    while (i < len && (p[i] == ' ' || p[i] == '\0'))
        ++i;
    end = len;
    while (end > i && (p[end - 1] == ' ' || p[end - 1] == '\0'))
        --end;
    return i < end;
}

namespace {
bool isPadding(char c) {
    return c == ' ' || c == '\0';
}
} // namespace

TField::NumberReading readNumberBytes(const char *p, int len, double &out) {
    const char *q = p;
    const char *const end = p + len;
    // Numbers stand right-aligned: the blanks before them, eight at a time.
    constexpr std::uint64_t kBlanks = 0x2020202020202020ull;
    for (std::uint64_t w; end - q >= 8; q += 8) {
        std::memcpy(&w, q, 8);
        if (const std::uint64_t other = w ^ kBlanks; other != 0) {
            if constexpr (std::endian::native == std::endian::little)
                q += std::countr_zero(other) / 8;
            break;
        }
    }
    while (q != end && isPadding(*q))
        ++q;
    if (q == end)
        return TField::NumberReading::Blank;
    // One pass over the common form: sign, up to 15 digits with one decimal
    // mark, padding after them. Anything else takes the general reading.
    const bool negative = *q == '-';
    if (negative || *q == '+')
        ++q;
    std::uint64_t mantissa = 0;
    const char *const first = q;
    for (unsigned d; q != end && (d = unsigned(*q) - '0') < 10u; ++q)
        mantissa = mantissa * 10 + d;
    int digits = int(q - first);
    int fraction = 0;
    if (q != end && (*q == '.' || *q == ',')) {
        const char *const mark = ++q;
        for (unsigned d; q != end && (d = unsigned(*q) - '0') < 10u; ++q)
            mantissa = mantissa * 10 + d;
        fraction = int(q - mark);
        digits += fraction;
    }
    while (q != end && isPadding(*q))
        ++q;
    if (q == end && digits >= 1 && digits <= 15) {
        double v = double(mantissa);
        if (fraction > 0)
            v /= kPow10[fraction];
        out = negative ? -v : v;
        return TField::NumberReading::Number;
    }
    return parseNumberSpan(p, len, out) ? TField::NumberReading::Number
                                        : TField::NumberReading::NotNumber;
}

bool parseNumber(const char *p, int len, double &out) {
    return readNumberBytes(p, len, out) == TField::NumberReading::Number;
}

bool parseNumberSpan(const char *p, int len, double &out) {
    int i, end;
    if (!valueSpan(p, len, i, end))
        return false;
    if ((p[i] == '-' || p[i] == '+') && i + 1 < end && (p[i + 1] == '-' || p[i + 1] == '+'))
        return false; // "+-1" is no number
    // The exact conversion (the common form has been read by
    // readNumberBytes already; here come long mantissas and exponents).
    char buf[64];
    const int n = end - i;
    if (n >= int(sizeof buf))
        return false;
    std::memcpy(buf, p + i, std::size_t(n));
    int start = 0;
    if (buf[0] == '+')
        start = 1;
    for (int k = 0; k < n; ++k)
        if (buf[k] == ',')
            buf[k] = '.';
    double v = 0;
    const auto r = std::from_chars(buf + start, buf + n, v);
    // "nan" and "inf" are no dBASE numbers; they read as a bad value does.
    if (r.ec != std::errc() || r.ptr != buf + n || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

bool parseInteger(const char *p, int len, long long &out) {
    int i, end;
    if (!valueSpan(p, len, i, end))
        return false;
    if (p[i] == '+') {
        ++i;
        if (i < end && (p[i] == '-' || p[i] == '+'))
            return false;
    }
    long long v = 0;
    const auto r = std::from_chars(p + i, p + end, v);
    if (r.ec != std::errc() || r.ptr != p + end)
        return false;
    out = v;
    return true;
}

bool parseNumberText(QStringView text, double &out) {
    const QStringView t = text.trimmed();
    if (t.isEmpty() || t.size() > 60)
        return false;
    char buf[64];
    int n = 0;
    for (QChar c : t) {
        const char16_t u = c.unicode();
        if (u >= 0x80)
            return false;
        buf[n++] = u == ',' ? '.' : char(u);
    }
    if (t.size() > 1 && t[0] == u'+' && (t[1] == u'-' || t[1] == u'+'))
        return false; // "+-1" is no number
    const int start = buf[0] == '+' ? 1 : 0;
    double v = 0;
    const auto r = std::from_chars(buf + start, buf + n, v);
    if (r.ec != std::errc() || r.ptr != buf + n)
        return false;
    out = v;
    return true;
}

// ---- tables ----

void DbfTable::checkDefs(const QVector<FieldDef> &defs, bool forFile) {
    if (defs.isEmpty())
        fail(QStringLiteral("Таблица должна иметь хотя бы одно поле."));
    if (forFile && defs.size() > 255)
        fail(QStringLiteral("Таблица dBASE не может иметь больше 255 полей."));
    int total = 1;
    for (const FieldDef &d : defs) {
        const QString what = QStringLiteral("Поле \"%1\": ").arg(d.name);
        if (d.name.trimmed().isEmpty())
            fail(QStringLiteral("Поле без имени."));
        if (forFile) {
            if (d.name.size() > 10)
                fail(what + QStringLiteral("имя длиннее 10 символов."));
            for (QChar c : d.name)
                if (!(c.unicode() < 0x80 && (c.isLetterOrNumber() || c == u'_')))
                    fail(what + QStringLiteral("имя должно состоять из латинских букв, цифр и _."));
        }
        switch (d.type) {
        case 'C':
            if (d.length < 1 || d.length > 254)
                fail(what + QStringLiteral("длина текстового поля должна быть от 1 до 254."));
            break;
        case 'N':
        case 'F':
            if (d.length < 1 || d.length > 20)
                fail(what + QStringLiteral("длина числового поля должна быть от 1 до 20."));
            if (d.decimals < 0 || (d.decimals > 0 && d.decimals > d.length - 2))
                fail(what + QStringLiteral("недопустимое число знаков после запятой."));
            break;
        case 'L':
            if (d.length != 1)
                fail(what + QStringLiteral("длина логического поля должна быть 1."));
            break;
        case 'D':
            if (d.length != 8)
                fail(what + QStringLiteral("длина поля даты должна быть 8."));
            break;
        case 'M':
            fail(what + QStringLiteral("создание полей примечаний (memo) не поддерживается."));
        default:
            fail(what + QStringLiteral("неизвестный тип поля."));
        }
        total += d.length;
    }
    if (total > 65535)
        fail(QStringLiteral("Запись таблицы длиннее 65535 байт."));
}

void DbfTable::layout() {
    m_offsets.resize(std::size_t(m_defs.size()));
    int off = 1;
    for (int i = 0; i < m_defs.size(); ++i) {
        m_offsets[std::size_t(i)] = off;
        off += m_defs[i].length;
    }
    m_recLen = off;
    m_names.build(m_defs);
    m_data.reset(m_recLen);
}

std::shared_ptr<DbfTable> DbfTable::inMemory(const QVector<FieldDef> &defs) {
    checkDefs(defs, false);
    std::shared_ptr<DbfTable> t(new DbfTable);
    t->m_defs = defs;
    for (FieldDef &d : t->m_defs)
        if (d.type != 'N' && d.type != 'F')
            d.decimals = 0;
    t->layout();
    return t;
}

// Reads and checks the field descriptors of a header; throws StoreError.
void DbfTable::parseHeader(const unsigned char *p, int headerLen, int recLen,
                           const QString &source) {
    if (!codepage::fromLanguageDriver(p[29], m_codePage))
        fail(QStringLiteral("Файл %1: кодовая страница таблицы (байт 29 заголовка: 0x%2) не "
                            "поддерживается; читаются таблицы в кодировках Windows-1251 (0xC9, "
                            "0x00) и CP866 (0x26, 0x65).")
                 .arg(fileLabel(source))
                 .arg(p[29], 2, 16, QLatin1Char('0')));
    int pos = 32;
    bool terminated = false;
    while (pos < headerLen) {
        if (p[pos] == 0x0D) {
            terminated = true;
            break;
        }
        if (pos + 32 > headerLen)
            break;
        const unsigned char *d = p + pos;
        const int fieldNo = int(m_defs.size()) + 1;
        auto bad = [&](const QString &why) {
            corrupt(source, QStringLiteral("описание поля %1: %2").arg(fieldNo).arg(why));
        };
        int nameLen = 0;
        while (nameLen < 11 && d[nameLen] != 0)
            ++nameLen;
        if (nameLen == 0)
            bad(QStringLiteral("пустое имя"));
        for (int i = 0; i < nameLen; ++i)
            if (d[i] <= 0x20 || d[i] == 0x7F)
                bad(QStringLiteral("недопустимый символ в имени"));
        FieldDef f;
        f.name = decode(reinterpret_cast<const char *>(d), nameLen);
        f.type = char(d[11]);
        f.length = d[16];
        f.decimals = d[17];
        if (!isTypeKnown(f.type))
            fail(QStringLiteral("Файл %1: поле %2 имеет тип '%3', который не поддерживается.")
                     .arg(fileLabel(source), f.name,
                          QString(QChar(d[11] >= 0x20 && d[11] < 0x7F ? d[11] : '?'))));
        switch (f.type) {
        case 'C':
            if (f.length == 0)
                bad(QStringLiteral("нулевая длина"));
            f.decimals = 0;
            break;
        case 'N':
        case 'F':
            if (f.length == 0 || f.length > 32)
                bad(QStringLiteral("длина числового поля %1").arg(f.length));
            if (f.decimals > 0 && f.decimals >= f.length)
                bad(QStringLiteral("знаков после запятой %1 при длине %2")
                        .arg(f.decimals)
                        .arg(f.length));
            break;
        case 'L':
            if (f.length != 1)
                bad(QStringLiteral("длина логического поля %1").arg(f.length));
            f.decimals = 0;
            break;
        case 'D':
            if (f.length != 8)
                bad(QStringLiteral("длина поля даты %1").arg(f.length));
            f.decimals = 0;
            break;
        case 'M':
            if (f.length != 10)
                bad(QStringLiteral("длина поля примечаний %1").arg(f.length));
            f.decimals = 0;
            break;
        }
        m_defs.push_back(f);
        pos += 32;
    }
    if (!terminated)
        corrupt(source, QStringLiteral("нет признака конца описаний полей (0x0D)"));
    // dBASE fills the rest of a header that is longer than its descriptors
    // with zeros; anything else there is a stated length that is too long,
    // which would shift every field.
    for (int i = pos + 1; i < headerLen; ++i)
        if (p[i] != 0)
            corrupt(source, QStringLiteral("длина заголовка (%1) не совпадает с концом описаний "
                                           "полей (%2)")
                                .arg(headerLen)
                                .arg(pos + 1));
    if (m_defs.isEmpty())
        corrupt(source, QStringLiteral("нет ни одного поля"));
    layout();
    if (m_recLen != recLen)
        corrupt(source, QStringLiteral("длина записи в заголовке (%1) не равна сумме длин "
                                       "полей (%2)")
                            .arg(recLen)
                            .arg(m_recLen));
}

std::shared_ptr<DbfTable> DbfTable::parse(const char *data, std::size_t size,
                                          const QString &source) {
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    if (size < 32)
        corrupt(source, QStringLiteral("файл короче заголовка (%1 байт)").arg(size));
    const std::uint8_t version = p[0];
    if (version != 0x03 && version != 0x04 && version != 0x83 && version != 0x8B)
        fail(QStringLiteral("Файл %1: формат таблицы (байт версии 0x%2) не поддерживается; "
                            "читаются таблицы dBASE III и dBASE IV.")
                 .arg(fileLabel(source))
                 .arg(version, 2, 16, QLatin1Char('0')));
    // Every figure of the header is checked against the file before any use.
    const std::uint32_t count = le32(p + 4);
    const int headerLen = le16(p + 8);
    const int recLen = le16(p + 10);
    if (headerLen < kLeastHeader)
        corrupt(source, QStringLiteral("длина заголовка (%1) меньше %2 байт, в которых "
                                       "описано хотя бы одно поле")
                            .arg(headerLen)
                            .arg(kLeastHeader));
    if (recLen < 2)
        corrupt(source, QStringLiteral("длина записи (%1) меньше двух байт").arg(recLen));
    if (std::size_t(headerLen) > size)
        corrupt(
            source,
            QStringLiteral("длина заголовка (%1) больше файла (%2 байт)").arg(headerLen).arg(size));

    std::shared_ptr<DbfTable> t(new DbfTable);
    t->m_version = version;
    // A header met before (the same fields, code page and lengths; the date
    // and count aside) has been checked already: its layout is taken over.
    auto take = [&](const KnownLayout &l) {
        t->m_defs = l.defs;
        t->m_offsets = l.offsets;
        t->m_names = l.names;
        t->m_recLen = l.recLen;
        t->m_codePage = l.codePage;
    };
    std::optional<LastLayout> &last = lastLayout();
    if (last && sameLayout(last->key, data, headerLen)) {
        take(last->layout);
    } else {
        QByteArray layoutKey(data, headerLen);
        std::memset(layoutKey.data() + 1, 0, 7);
        auto &known = knownLayouts();
        if (const auto hit = known.constFind(layoutKey); hit != known.constEnd()) {
            take(*hit);
        } else {
            t->parseHeader(p, headerLen, recLen, source);
            if (known.size() >= 256)
                known.clear();
            known.insert(layoutKey, KnownLayout{t->m_defs, t->m_offsets, t->m_names, t->m_recLen,
                                                t->m_codePage});
        }
        last = LastLayout{layoutKey, KnownLayout{t->m_defs, t->m_offsets, t->m_names, t->m_recLen,
                                                 t->m_codePage}};
    }
    const std::uint64_t need = std::uint64_t(headerLen) + std::uint64_t(count) * recLen;
    if (need > size)
        corrupt(source, QStringLiteral("в заголовке %1 записей, а в файле место для %2")
                            .arg(count)
                            .arg((size - std::size_t(headerLen)) / std::size_t(recLen)));
    if (const std::int64_t r = firstBadFlag(data + headerLen, count, recLen); r >= 0)
        corrupt(source, QStringLiteral("запись %1 из %2 начинается с байта 0x%3 вместо "
                                       "признака записи")
                            .arg(r + 1)
                            .arg(count)
                            .arg(flagOf(data + headerLen, r, recLen), 2, 16, QLatin1Char('0')));
    t->m_header = QByteArray(data, headerLen);
    t->m_headerLen = headerLen;
    t->m_count = int(count);
    t->m_data.reset(recLen);
    t->m_data.append(data + headerLen, int(count));
    counters().recordReads += count;
    return t;
}

namespace {

WriteProbe &writeProbe() {
    static WriteProbe probe;
    return probe;
}

FileStamp stampOfFd(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return FileStamp();
    return stampOfStat(st);
}

QString systemError(int err) {
    return systemErrorText(err);
}

// The operating system's advisory lock on a whole file, held for one read
// (shared) or one change (exclusive), on the descriptor that reads or writes
// it (store/FileLocks.h). Every copy of the program takes it, so two
// processes never write a table at once, nor read it half written.
class FileLock {
public:
    FileLock(int fd, locks::Kind kind, const QString &path) : m_fd(fd) {
        if (const int err = locks::take(fd, kind, true); err != 0)
            fail(
                QStringLiteral("Не удалось заблокировать файл %1: %2").arg(path, systemError(err)));
    }
    ~FileLock() { locks::give(m_fd); } // closing the descriptor gives it back as well
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

private:
    int m_fd;
};

// Reads len bytes at pos; false when the file ends first.
bool readAt(int fd, qint64 pos, char *out, qint64 len) {
    while (len > 0) {
        const ssize_t n = ::pread(fd, out, std::size_t(len), off_t(pos));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        out += n;
        pos += n;
        len -= n;
    }
    return true;
}

// The whole file (size bytes), read under a lock the caller holds.
QByteArray readWhole(int fd, const QString &path, qint64 size) {
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    if (!readAt(fd, 0, bytes.data(), size))
        fail(QStringLiteral("Не удалось прочитать файл %1: %2")
                 .arg(path, errno ? systemError(errno) : QStringLiteral("файл укорочен")));
    return bytes;
}

// Opens the file so that reading it does not write its access time: each
// edit reads its record again, and after a write the access time would be
// written on every such read. Only the file's owner may ask that; others
// open it as usual.
int openNoAccessTime(const QByteArray &native, int flags) {
    const int fd = ::open(native.constData(), flags | O_NOATIME);
    if (fd >= 0 || errno != EPERM)
        return fd;
    return ::open(native.constData(), flags);
}

// Closes a descriptor when it goes out of scope.
struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

void setWriteProbe(WriteProbe probe) {
    writeProbe() = std::move(probe);
}

DbfTable::~DbfTable() {
    if (m_fd >= 0)
        ::close(m_fd);
}

std::shared_ptr<DbfTable> DbfTable::loadFrom(int fd, const QString &path) {
    QByteArray bytes;
    FileStamp stamp;
    {
        // A shared lock: a writer in another process finishes its change first.
        FileLock lock(fd, locks::Kind::Shared, path);
        stamp = stampOfFd(fd);
        if (stamp.size < 0)
            fail(QStringLiteral("Не удалось прочитать файл %1: %2").arg(path, systemError(errno)));
        bytes = readWhole(fd, path, stamp.size);
    }
    return fromFileBytes(bytes, path, stamp);
}

std::shared_ptr<DbfTable> DbfTable::fromFileBytes(const QByteArray &bytes, const QString &path,
                                                  const FileStamp &stamp) {
    auto t = parse(bytes.constData(), std::size_t(bytes.size()), path);
    t->m_path = path;
    t->m_stamp = stamp;
    return t;
}

QByteArray DbfTable::blankRecord() const {
    return QByteArray(m_recLen, ' ');
}

void DbfTable::failChanged() const {
    fail(QStringLiteral("Файл %1 изменён или заменён другой программой после открытия "
                        "таблицы; запись не выполнена. Откройте таблицу заново.")
             .arg(m_path));
}

void DbfTable::openForWriting() {
    if (m_fd >= 0 && !m_fdWritable) {
        ::close(m_fd); // opened for reading only: opened again to say why not
        m_fd = -1;
    }
    if (m_fd < 0) {
        const QByteArray native = QFile::encodeName(m_path);
        const int fd = openNoAccessTime(native, O_RDWR | O_CLOEXEC);
        if (fd < 0)
            fail(QStringLiteral("Не удалось открыть файл %1 для записи: %2")
                     .arg(m_path, systemError(errno)));
        if (stampOfFd(fd).inode != m_stamp.inode) {
            ::close(fd);
            failChanged();
        }
        m_fd = fd;
        m_fdWritable = true;
    }
    // At every write, not only the first: a copy that keeps the table open
    // clears what writes killed since its last one left in the folder.
    removeLeftoverTempFiles(QFileInfo(m_path).absolutePath());
}

// The descriptor for reading the file again: the one for writing where the
// file allows it. False when the file cannot be opened or is another file.
bool DbfTable::openForReading() {
    if (m_fd >= 0)
        return true;
    try {
        openForWriting();
        return true;
    } catch (const StoreError &) {
    }
    const int fd = openNoAccessTime(QFile::encodeName(m_path), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (stampOfFd(fd).inode != m_stamp.inode) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_fdWritable = false;
    return true;
}

// The header of the file as it stands (read under a lock the caller holds),
// checked to be this table's: the same version, lengths, code page and
// fields, and no fewer records. Gives the record count it states.
std::uint32_t DbfTable::checkHeader(const QByteArray &head) {
    const auto *h = reinterpret_cast<const unsigned char *>(head.constData());
    const auto *mine = reinterpret_cast<const unsigned char *>(m_header.constData());
    // Version, header and record length, code page, field descriptors.
    auto same = [&](int from, int to) {
        return std::memcmp(h + from, mine + from, std::size_t(to - from)) == 0;
    };
    if (!same(0, 1) || !same(8, 12) || !same(29, 30) || !same(32, m_headerLen))
        failChanged();
    const std::uint32_t count = le32(h + 4);
    if (count < std::uint32_t(m_count) || count > std::uint32_t(INT32_MAX))
        failChanged();
    return count;
}

// Under a lock the caller holds: takes in what other writers did to the file
// since this copy last read it. Records added: the whole file is read again
// (a file with another structure, or fewer records, is another table). The
// same records: nothing is read here, the records a change needs are read
// again by the change, and the copy may lag the file elsewhere until it is
// next read whole.
void DbfTable::takeInChanges(const FileStamp &now) {
    if (upToDate(now))
        return;
    QByteArray head(m_headerLen, '\0');
    if (!readAt(m_fd, 0, head.data(), m_headerLen))
        failChanged();
    const std::uint32_t count = checkHeader(head);
    if (count != std::uint32_t(m_count)) {
        readAgain(head, count);
        m_lagging = false;
    } else {
        m_header.replace(1, 7, head.constData() + 1, 7);
        m_lagging = true;
    }
    m_stamp = now;
}

// Reads every record of the file again (count of them, as its header head
// states).
void DbfTable::readAgain(const QByteArray &head, std::uint32_t count) {
    // Read into the blocks the copy has, so that reading a large table again
    // allocates nothing. A file found damaged leaves its bytes there and the
    // stamp cleared: every later write reads it again and refuses it.
    m_data.resize(int(count));
    qint64 pos = m_headerLen;
    for (int b = 0; b < m_data.blockCount(); ++b) {
        std::vector<char> &block = m_data.block(b);
        const int first = b * RecordStore::kPerBlock;
        if (!readAt(m_fd, pos, block.data(), qint64(block.size()))) {
            m_stamp = FileStamp();
            corrupt(m_path, QStringLiteral("в заголовке %1 записей, а файл короче").arg(count));
        }
        pos += qint64(block.size());
        const auto n = std::uint32_t(block.size() / std::size_t(m_recLen));
        if (const std::int64_t r = firstBadFlag(block.data(), n, m_recLen); r >= 0) {
            m_stamp = FileStamp();
            corrupt(m_path, QStringLiteral("запись %1 начинается с байта 0x%2 вместо признака "
                                           "записи")
                                .arg(first + r + 1)
                                .arg(flagOf(block.data(), r, m_recLen), 2, 16, QLatin1Char('0')));
        }
    }
    m_count = int(count);
    m_header.replace(1, 7, head.constData() + 1, 7);
    m_memoLoaded = false;
    m_memoFound = false;
    m_memo.clear();
    ++m_structGen;
    ++m_dataGen;
    counters().recordReads += count;
}

// Reads record phys from the file into the memory copy under a lock the
// caller holds; true when it differed.
bool DbfTable::readRecordAgain(int phys) {
    char *rec = m_data.at(phys);
    m_span.resize(m_recLen);
    if (!readAt(m_fd, qint64(m_headerLen) + qint64(phys) * m_recLen, m_span.data(), m_recLen))
        failChanged();
    ++counters().recordReads;
    if (std::memcmp(rec, m_span.constData(), std::size_t(m_recLen)) == 0)
        return false;
    std::memcpy(rec, m_span.constData(), std::size_t(m_recLen));
    ++m_dataGen;
    if (*rec == '*')
        ++m_structGen;
    return true;
}

void DbfTable::readAllAgain() {
    if (!m_lagging)
        return;
    QByteArray head(m_headerLen, '\0');
    if (!readAt(m_fd, 0, head.data(), m_headerLen))
        failChanged();
    readAgain(head, checkHeader(head));
    m_lagging = false;
}

bool DbfTable::refresh(int phys) {
    if (phys < 0 || phys >= m_count || inMemoryOnly() || m_held || !openForReading())
        return false;
    FileLock lock(m_fd, locks::Kind::Shared, m_path);
    struct stat st;
    if (::fstat(m_fd, &st) != 0 || st.st_nlink == 0)
        return false;
    const std::uint64_t before = m_dataGen;
    takeInChanges(stampOfStat(st));
    readRecordAgain(phys);
    return m_dataGen != before;
}

void DbfTable::put(qint64 pos, const char *bytes, qint64 len) {
    if (const WriteProbe &probe = writeProbe())
        probe(m_path, pos, QByteArray(bytes, qsizetype(len)));
    while (len > 0) {
        const ssize_t n = ::pwrite(m_fd, bytes, std::size_t(len), off_t(pos));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail(QStringLiteral("Не удалось записать в файл %1: %2")
                     .arg(m_path, systemError(n < 0 ? errno : ENOSPC)));
        bytes += n;
        pos += n;
        len -= n;
    }
}

// The header's date and count; a header that already holds them is left
// as it is.
void DbfTable::putHeader(int count) {
    unsigned char head[7];
    headerDateAndCount(head, count);
    if (m_header.size() >= 8 && std::memcmp(m_header.constData() + 1, head, 7) == 0)
        return;
    put(1, reinterpret_cast<const char *>(head), 7);
    m_header.replace(1, 7, reinterpret_cast<const char *>(head), 7);
}

// One change of the file: under the exclusive lock, checks that the file is
// still this table, reads it again when another writer changed it, then runs
// the change's writes.
template <typename Steps> void DbfTable::writeLocked(Steps &&steps) {
    openForWriting();
    FileLock lock(m_fd, locks::Kind::Exclusive, m_path);
    // A file deleted or replaced (a new file renamed over it) has left the
    // descriptor with no name; the table is then another one.
    struct stat st;
    if (::fstat(m_fd, &st) != 0 || st.st_nlink == 0)
        failChanged();
    takeInChanges(stampOfStat(st));
    // A write that fails halfway leaves the stamp behind the file, so that
    // the next change reads again what did reach it.
    steps();
    m_stamp = stampOfFd(m_fd);
}

std::vector<int> DbfTable::updateRecord(int phys, const char *original, const char *bytes,
                                        const std::vector<int> &written,
                                        const std::vector<int> &restsOn,
                                        const std::vector<ReadCell> &others,
                                        const std::function<void()> &check) {
    std::vector<int> &changed = m_changed;
    changed.clear();
    for (int f : written) {
        const int off = m_offsets[std::size_t(f)];
        if (std::memcmp(original + off, bytes + off, std::size_t(m_defs[f].length)) != 0)
            changed.push_back(f);
    }
    std::vector<int> conflicts;
    if (changed.empty() && restsOn.empty() && others.empty() && !check)
        return conflicts;
    const bool toFile = !inMemoryOnly() && !m_held;
    // The fields written and those they rest on must still hold what this
    // copy read there.
    auto findConflicts = [&] {
        if (isDeleted(phys))
            fail(QStringLiteral("Запись удалена другим пользователем; изменения не "
                                "сохранены."));
        const char *rec = m_data.at(phys);
        auto differs = [&](int f) {
            const int off = m_offsets[std::size_t(f)];
            return std::memcmp(rec + off, original + off, std::size_t(m_defs[f].length)) != 0;
        };
        std::size_t r = 0;
        for (int f : changed) {
            for (; r < restsOn.size() && restsOn[r] < f; ++r)
                if (differs(restsOn[r]))
                    conflicts.push_back(restsOn[r]);
            if (r < restsOn.size() && restsOn[r] == f)
                ++r;
            if (differs(f))
                conflicts.push_back(f);
        }
        for (; r < restsOn.size(); ++r)
            if (differs(restsOn[r]))
                conflicts.push_back(restsOn[r]);
        for (const ReadCell &c : others)
            if (std::memcmp(m_data.at(c.phys) + m_offsets[std::size_t(c.field)],
                            c.bytes.constData(), std::size_t(c.bytes.size())) != 0 &&
                std::find(conflicts.begin(), conflicts.end(), c.field) == conflicts.end())
                conflicts.push_back(c.field);
    };
    auto change = [&] {
        findConflicts();
        if (!conflicts.empty() || changed.empty())
            return;
        char *rec = m_data.at(phys);
        // From the first changed field to the end of the last: the fields
        // between hold what the file holds, as just read.
        const int from = m_offsets[std::size_t(changed.front())];
        const int to = m_offsets[std::size_t(changed.back())] + m_defs[changed.back()].length;
        if (toFile) {
            m_span.resize(to - from);
            std::memcpy(m_span.data(), rec + from, std::size_t(to - from));
            for (int f : changed) {
                const int off = m_offsets[std::size_t(f)];
                std::memcpy(m_span.data() + (off - from), bytes + off,
                            std::size_t(m_defs[f].length));
            }
            put(qint64(m_headerLen) + qint64(phys) * m_recLen + from, m_span.constData(),
                to - from);
            putHeader(m_count);
        }
        for (int f : changed) {
            const int off = m_offsets[std::size_t(f)];
            std::memcpy(rec + off, bytes + off, std::size_t(m_defs[f].length));
        }
        if (m_held)
            m_heldChanges = true;
        ++m_dataGen;
        ++counters().recordWrites;
    };
    if (toFile)
        writeLocked([&] {
            if (check) {
                readAllAgain();
                check();
            }
            readRecordAgain(phys);
            // Each record the values rest on once, however many of its
            // fields they rest on.
            std::vector<int> records;
            for (const ReadCell &c : others)
                if (c.phys != phys && c.phys < m_count)
                    records.push_back(c.phys);
            std::sort(records.begin(), records.end());
            records.erase(std::unique(records.begin(), records.end()), records.end());
            for (int p : records)
                readRecordAgain(p);
            change();
        });
    else {
        if (check)
            check();
        change();
    }
    return conflicts;
}

int DbfTable::appendRecord(const char *bytes, const std::function<void(char *record)> &settle) {
    QByteArray settled;
    auto runSettle = [&] {
        if (!settle)
            return;
        settled = QByteArray(bytes, m_recLen);
        settle(settled.data());
        bytes = settled.constData();
    };
    if (!inMemoryOnly() && !m_held) {
        writeLocked([&] {
            if (settle) {
                readAllAgain();
                runSettle();
            }
            if (m_count == INT32_MAX)
                fail(QStringLiteral("Таблица переполнена."));
            const qint64 at = qint64(m_headerLen) + qint64(m_count) * m_recLen;
            // The fields and the new end mark, behind the old end mark...
            QByteArray tail(bytes + 1, m_recLen - 1);
            tail.append(char(0x1A));
            put(at + 1, tail.constData(), tail.size());
            // ...then the flag over the old end mark, then the count.
            put(at, bytes, 1);
            putHeader(m_count + 1);
        });
    } else {
        runSettle();
        if (m_count == INT32_MAX)
            fail(QStringLiteral("Таблица переполнена."));
    }
    if (m_held)
        m_heldChanges = m_heldAppends = true;
    m_data.append(bytes, 1);
    ++m_count;
    ++m_structGen;
    ++m_dataGen;
    ++counters().recordWrites;
    return m_count - 1;
}

void DbfTable::markDeleted(int phys) {
    const char mark = '*';
    if (m_held) {
        m_heldChanges = true;
    } else if (!inMemoryOnly()) {
        writeLocked([&] {
            put(qint64(m_headerLen) + qint64(phys) * m_recLen, &mark, 1);
            putHeader(m_count);
        });
    }
    *m_data.at(phys) = mark;
    ++m_structGen;
    ++m_dataGen;
    ++counters().recordWrites;
}

void DbfTable::holdWrites() {
    if (!inMemoryOnly())
        m_held = true;
}

void DbfTable::flushHeld() {
    if (!m_heldChanges)
        return;
    openForWriting();
    FileLock lock(m_fd, locks::Kind::Exclusive, m_path);
    struct stat st;
    if (::fstat(m_fd, &st) != 0 || st.st_nlink == 0 || !upToDate(stampOfStat(st)))
        failChanged();
    unsigned char head[7];
    headerDateAndCount(head, m_count);
    m_header.replace(1, 7, reinterpret_cast<const char *>(head), 7);
    // The header as read (its date and count brought up to date), every
    // record, and the end mark when records were appended: the bytes that
    // writing the changes one by one leaves in the file.
    // Written in pieces of about 64 KB, so that a large table is not held
    // twice in memory.
    constexpr qsizetype kPiece = 64 * 1024;
    QByteArray piece;
    piece.reserve(kPiece + m_recLen + 1);
    qint64 pos = 0;
    auto putPiece = [&] {
        put(pos, piece.constData(), piece.size());
        pos += piece.size();
        piece.clear();
    };
    piece.append(m_header.constData(), m_headerLen);
    for (int r = 0; r < m_count; ++r) {
        piece.append(m_data.at(r), m_recLen);
        if (piece.size() >= kPiece)
            putPiece();
    }
    if (m_heldAppends)
        piece.append(char(0x1A));
    if (!piece.isEmpty())
        putPiece();
    m_stamp = stampOfFd(m_fd);
    m_heldChanges = m_heldAppends = false;
}

void DbfTable::dropHeld() {
    m_held = false;
    if (!m_heldChanges)
        return;
    m_heldChanges = m_heldAppends = false;
    forgetTable(this);
    m_stamp = FileStamp();
}

QString DbfTable::memoText(const char *rec, int field) {
    const int off = m_offsets[std::size_t(field)];
    const int len = m_defs[field].length;
    long long block = 0;
    if (!parseInteger(rec + off, len, block) || block <= 0)
        return QString();
    if (!m_memoLoaded) {
        m_memoLoaded = true;
        if (!m_path.isEmpty()) {
            const QFileInfo fi(m_path);
            const QString base = fi.completeBaseName() + QStringLiteral(".DBT");
            const QString memoPath = findFileCaseInsensitive(fi.absolutePath(), base);
            if (!memoPath.isEmpty()) {
                QFile mf(memoPath);
                if (mf.open(QIODevice::ReadOnly)) {
                    m_memo = mf.readAll();
                    m_memoFound = true;
                }
            }
        }
    }
    if (!m_memoFound)
        fail(QStringLiteral("Таблица %1: значение поля примечаний %2 хранится в файле .DBT, "
                            "которого нет рядом с таблицей.")
                 .arg(fileLabel(m_path), m_defs[field].name));
    const auto *m = reinterpret_cast<const unsigned char *>(m_memo.constData());
    const qint64 size = m_memo.size();
    qint64 blockSize = 512;
    if (m_version == 0x8B && size >= 22) {
        const int bs = le16(m + 20);
        if (bs >= 64 && bs % 64 == 0)
            blockSize = bs;
    }
    auto badMemo = [&]() -> QString {
        fail(QStringLiteral("Таблица %1: файл примечаний повреждён (поле %2, блок %3).")
                 .arg(fileLabel(m_path), m_defs[field].name)
                 .arg(block));
    };
    // A block that starts at or past the end of the file is a cut memo file.
    if (block >= (size + blockSize - 1) / blockSize)
        return badMemo();
    qint64 start = block * blockSize;
    qint64 end = -1;
    if (start + 8 <= size && m[start] == 0xFF && m[start + 1] == 0xFF && m[start + 2] == 0x08 &&
        m[start + 3] == 0x00) {
        // dBASE IV block: a length that counts its own 8-byte head.
        const qint64 total = le32(m + start + 4);
        if (total < 8 || start + total > size)
            return badMemo();
        end = start + total;
        start += 8;
    } else {
        // dBASE III: the text runs to its end mark; a file that ends first
        // has lost the text's tail.
        for (qint64 i = start; i < size; ++i)
            if (m[i] == 0x1A) {
                end = i;
                break;
            }
        if (end < 0)
            return badMemo();
    }
    return decode(m_memo.constData() + start, end - start);
}

namespace {

// The shared table of an open file (the descriptor is the caller's), or null
// when it is no regular file.
std::shared_ptr<DbfTable> acquireOpen(int fd, const QString &path) {
    QByteArray bytes;
    FileStamp stamp;
    FileKey key{};
    {
        // The stamp and the bytes under one shared lock: a writer in another
        // process finishes its change first.
        struct stat st;
        if (const int err = locks::take(fd, locks::Kind::Shared, true); err != 0) {
            // Something that is no file may refuse the lock.
            if (::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode))
                return nullptr;
            fail(
                QStringLiteral("Не удалось заблокировать файл %1: %2").arg(path, systemError(err)));
        }
        struct Unlock {
            int fd;
            ~Unlock() { locks::give(fd); }
        } unlock{fd};
        if (::fstat(fd, &st) != 0)
            fail(QStringLiteral("Не удалось прочитать файл %1: %2").arg(path, systemError(errno)));
        if (!S_ISREG(st.st_mode))
            return nullptr;
        key = FileKey{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
        stamp = stampOfStat(st);
        const auto it = registry().find(key);
        if (it != registry().end()) {
            if (auto t = it->second.lock(); t && t->upToDate(stamp))
                return t;
        }
        bytes = readWhole(fd, path, stamp.size);
    }
    auto t = DbfTable::fromFileBytes(bytes, path, stamp);
    auto &reg = registry();
    if (reg.size() > 64)
        for (auto i = reg.begin(); i != reg.end();)
            i = i->second.expired() ? reg.erase(i) : std::next(i);
    reg.insert_or_assign(key, t);
    return t;
}

// The path the table writes through: absolute, so that it names the same
// file whatever the working folder becomes.
QString absolutePath(const QString &path) {
    // A path from the root is taken as it is without asking QDir, which
    // makes a QFileInfo to tell: every table opened passes here.
    if (path.startsWith(u'/'))
        return path;
    return QDir::isAbsolutePath(path) ? path : QFileInfo(path).absoluteFilePath();
}

} // namespace

void forgetTable(const DbfTable *table) {
    auto &reg = registry();
    for (auto i = reg.begin(); i != reg.end();) {
        const auto t = i->second.lock();
        i = !t || t.get() == table ? reg.erase(i) : std::next(i);
    }
}

std::shared_ptr<DbfTable> acquireTable(const QString &path) {
    const QString abs = absolutePath(path);
    const QByteArray native = QFile::encodeName(abs);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        fail(QStringLiteral("Не удалось открыть файл %1: %2").arg(abs, systemError(errno)));
    FdCloser closer{fd};
    if (auto t = acquireOpen(fd, abs))
        return t;
    // A folder or a device: reading it says why it is no table.
    return DbfTable::loadFrom(fd, abs);
}

std::shared_ptr<DbfTable> acquireTableIfExists(const QString &path) {
    const QString abs = absolutePath(path);
    const QByteArray native = QFile::encodeName(abs);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return nullptr;
        fail(QStringLiteral("Не удалось открыть файл %1: %2").arg(abs, systemError(errno)));
    }
    FdCloser closer{fd};
    return acquireOpen(fd, abs);
}

std::shared_ptr<DbfTable> acquireTableIfExistsAt(int folderFd, const QByteArray &nativeName,
                                                 const QString &path) {
    const int fd = ::openat(folderFd, nativeName.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return nullptr;
        fail(QStringLiteral("Не удалось открыть файл %1: %2")
                 .arg(absolutePath(path), systemError(errno)));
    }
    FdCloser closer{fd};
    return acquireOpen(fd, absolutePath(path));
}

namespace {
std::atomic<int> g_keptFolders{0};

// A quarter of the descriptors the process may have open, as it stands now.
int keptFolderLimit() {
    struct rlimit rl;
    if (::getrlimit(RLIMIT_NOFILE, &rl) != 0 || rl.rlim_cur == RLIM_INFINITY)
        return 256;
    return int(std::min<rlim_t>(rl.rlim_cur / 4, 1 << 16));
}
} // namespace

int openKeptFolder(const QString &folder) {
    if (g_keptFolders.fetch_add(1) >= keptFolderLimit()) {
        --g_keptFolders;
        return -1;
    }
#ifdef O_PATH
    constexpr int kFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif
    const int fd = ::open(QFile::encodeName(folder).constData(), kFlags);
    if (fd < 0)
        --g_keptFolders;
    return fd;
}

void closeKeptFolder(int fd) {
    if (fd < 0)
        return;
    ::close(fd);
    --g_keptFolders;
}

QString localPath(const QString &path) {
#ifdef Q_OS_WIN
    return QDir::fromNativeSeparators(path);
#else
    QString p = path;
    p.replace(u'\\', u'/');
    return p;
#endif
}

} // namespace store::detail
