#include "store/Dataset.h"

#include "store/DbfTable.h"
#include "store/DecimalText.h"
#include "store/SqlCommand.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <ctime>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

namespace store {

using detail::DbfTable;
using detail::DecimalText;

Counters &counters() {
    static Counters c;
    return c;
}
void resetCounters() {
    counters() = Counters{};
}

namespace {

[[noreturn]] void fail(const QString &message) {
    throw StoreError(message);
}

using detail::localPath;

QString trimmedRight(const DbfTable &table, const char *p, int len, int &n) {
    n = len;
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0'))
        --n;
    return table.decode(p, n);
}

QString numberText(double v) {
    if (v == 0)
        return QStringLiteral("0");
    return QString::number(v, 'g', 15);
}

// A numeric field as text with every digit it holds; other forms (exponents)
// through their value; empty when the field is null.
QString numericFieldText(const char *p, int len) {
    int i = 0, end = 0;
    detail::valueSpan(p, len, i, end);
    DecimalText d;
    if (d.parse(p + i, end - i))
        return d.shortest();
    double v = 0;
    return detail::parseNumber(p, len, v) ? numberText(v) : QString();
}

int clampToInt(double v) {
    if (!(v == v))
        return 0;
    const double r = std::nearbyint(v);
    if (r >= double(INT_MAX))
        return INT_MAX;
    if (r <= double(INT_MIN))
        return INT_MIN;
    return int(r);
}

QDate dateOf(const char *p) {
    int y = 0, m = 0, d = 0;
    for (int i = 0; i < 8; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return QDate();
        const int digit = p[i] - '0';
        if (i < 4)
            y = y * 10 + digit;
        else if (i < 6)
            m = m * 10 + digit;
        else
            d = d * 10 + digit;
    }
    return QDate(y, m, d);
}

QDate parseDateText(const QString &text) {
    const QString t = text.trimmed();
    for (const char *fmt : {"yyyyMMdd", "yyyy-MM-dd", "dd.MM.yyyy"}) {
        const QDate d = QDate::fromString(t, QLatin1String(fmt));
        if (d.isValid())
            return d;
    }
    return QDate();
}

int logicalOf(char b) { // 1 true, 0 false, -1 null
    if (b == 'T' || b == 't' || b == 'Y' || b == 'y')
        return 1;
    if (b == 'F' || b == 'f' || b == 'N' || b == 'n')
        return 0;
    return -1;
}

int logicalText(const QString &text) { // 1, 0, -1 blank, -2 not a logical
    const QString t = text.trimmed().toUpper();
    if (t.isEmpty() || t == u"?")
        return -1;
    if (t == u"T" || t == u"Y" || t == u"TRUE" || t == u"1")
        return 1;
    if (t == u"F" || t == u"N" || t == u"FALSE" || t == u"0")
        return 0;
    return -2;
}

QString fieldLabel(const FieldDef &d) {
    if (d.type == 'N' || d.type == 'F')
        return QStringLiteral("%1 (%2 %3,%4)")
            .arg(d.name, QString(QChar(d.type)))
            .arg(d.length)
            .arg(d.decimals);
    return QStringLiteral("%1 (%2 %3)").arg(d.name, QString(QChar(d.type))).arg(d.length);
}

} // namespace

// ---------------------------------------------------------------------------
// Dataset internals

struct TADODataSet::Impl {
    std::shared_ptr<DbfTable> table;
    QVector<FieldDef> defs;
    std::vector<int> view; // physical record numbers in the dataset's order
    int pos = -1;          // index into view; -1 when empty
    // The current record when another dataset sharing the table deleted it,
    // -1 otherwise. It stays current (readable, but refused to Edit, Delete
    // and Post) until the cursor moves; meanwhile pos is where it would stand
    // in the view: the index of the record after it, view.size() when none.
    int lost = -1;
    bool eof = true;
    bool bof = true;
    bool editing = false;
    QByteArray buf;              // the record being edited or inserted
    QByteArray orig;             // the record as its edit began
    std::vector<int> written;    // the fields written in the edit, in the order first written...
    std::vector<char> isWritten; // ...and by field
    std::vector<char> restsOn;   // by field: the values written rest on it (RestOn)...
    std::vector<detail::ReadCell> restsOnOthers; // ...and on these fields of other records
    std::vector<TADODataSet::PostCheck> postChecks; // run under the lock of the post (CheckOnPost)
    int editPhys = -1;
    bool modified = false;
    detail::Filter filter;
    std::vector<int> sortFields;
    std::uint64_t structGen = 0;
    std::uint64_t dataGen = 0;
    int knownCount = 0;
    QString filePath;
    // The command as last parsed, kept for the next Open of the same text,
    // with the file name it names, as written and in the file system's
    // encoding: a dataset that opens one table in many folders makes them once.
    QString parsedText;
    detail::SelectCommand parsed;
    QString parsedFile;
    QByteArray parsedFileNative;

    // The edit (or insert) is over: its copies and what it rested on go.
    void endEdit() {
        editing = false;
        buf.clear();
        orig.clear();
        modified = false;
        restsOnOthers.clear();
        postChecks.clear();
    }

    const char *current() const {
        if (editing)
            return buf.constData();
        const int phys = currentPhys();
        return phys >= 0 ? table->record(phys) : nullptr;
    }
    int currentPhys() const {
        if (lost >= 0)
            return lost;
        return pos >= 0 ? view[std::size_t(pos)] : -1;
    }

    void buildView() {
        view.clear();
        const int n = table->recordCount();
        view.reserve(std::size_t(n));
        for (int p = 0; p < n; ++p)
            if (!table->isDeleted(p) &&
                (filter.empty() || filter.matches(*table, table->record(p))))
                view.push_back(p);
        knownCount = n;
        structGen = table->structureGeneration();
        dataGen = table->dataGeneration();
        sortView();
        pos = view.empty() ? -1 : 0;
        lost = -1;
        bof = true;
        eof = view.empty();
    }

    // A sort key of one field of a record: numbers by value, text by its
    // characters; a blank number sorts first.
    struct Key {
        bool null = true;
        double number = 0;
        QString text;
    };

    Key keyOf(int phys, std::size_t k) const {
        const int f = sortFields[k];
        const FieldDef &d = table->defs()[f];
        const char *p = table->record(phys) + table->offset(f);
        Key key;
        if (d.type == 'N' || d.type == 'F') {
            key.null = !detail::parseNumber(p, d.length, key.number);
        } else {
            int len = 0;
            key.text = trimmedRight(*table, p, d.length, len);
            key.null = false;
        }
        return key;
    }

    int compareKeys(const Key &x, const Key &y, std::size_t k) const {
        if (x.null != y.null)
            return x.null ? -1 : 1;
        if (x.null)
            return 0;
        const FieldDef &d = table->defs()[sortFields[k]];
        if (d.type == 'N' || d.type == 'F')
            return x.number < y.number ? -1 : x.number > y.number ? 1 : 0;
        return x.text.compare(y.text);
    }

    // The view in file order, or by the sort fields with equal keys kept in
    // file order.
    void sortView() {
        // A view just built is in file order already, and so needs no sort.
        if (!std::is_sorted(view.begin(), view.end()))
            std::sort(view.begin(), view.end());
        if (sortFields.empty() || view.size() < 2)
            return;
        const std::size_t n = view.size();
        std::vector<std::vector<Key>> keys(sortFields.size(), std::vector<Key>(n));
        for (std::size_t k = 0; k < sortFields.size(); ++k)
            for (std::size_t i = 0; i < n; ++i)
                keys[k][i] = keyOf(view[i], k);
        std::vector<std::size_t> order(n);
        for (std::size_t i = 0; i < n; ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            for (std::size_t k = 0; k < keys.size(); ++k)
                if (const int c = compareKeys(keys[k][a], keys[k][b], k); c != 0)
                    return c < 0;
            return false;
        });
        std::vector<int> sorted(n);
        for (std::size_t i = 0; i < n; ++i)
            sorted[i] = view[order[i]];
        view.swap(sorted);
    }

    // Where a record that is not in the view would stand in it: the number
    // of view records that sort before it.
    int insertionPoint(int phys) const {
        if (sortFields.empty())
            return int(std::lower_bound(view.begin(), view.end(), phys) - view.begin());
        std::vector<Key> mine(sortFields.size());
        for (std::size_t k = 0; k < sortFields.size(); ++k)
            mine[k] = keyOf(phys, k);
        int before = 0;
        for (int v : view) {
            int c = 0;
            for (std::size_t k = 0; k < sortFields.size() && c == 0; ++k)
                c = compareKeys(keyOf(v, k), mine[k], k);
            if (c < 0 || (c == 0 && v < phys))
                ++before;
        }
        return before;
    }

    // Makes a record deleted elsewhere the current one, placed where it stood.
    void becomeLost(int phys) {
        lost = phys;
        pos = insertionPoint(phys);
    }

    // True when record a stands before record b in the dataset's order:
    // by the sort fields, equal keys in file order.
    bool before(int a, int b) const {
        for (std::size_t k = 0; k < sortFields.size(); ++k)
            if (const int c = compareKeys(keyOf(a, k), keyOf(b, k), k); c != 0)
                return c < 0;
        return a < b;
    }

    // The index of a record in the view, found by its place in the order;
    // -1 when it is not there.
    int indexOf(int phys) const {
        auto it = std::lower_bound(view.begin(), view.end(), phys,
                                   [&](int v, int p) { return before(v, p); });
        if (it != view.end() && *it == phys)
            return int(it - view.begin());
        it = std::find(view.begin(), view.end(), phys); // a view out of order
        return it != view.end() ? int(it - view.begin()) : -1;
    }

    // Puts a record into the view at its place in the order.
    void insertInOrder(int phys) {
        auto it = std::lower_bound(view.begin(), view.end(), phys,
                                   [&](int v, int p) { return before(v, p); });
        view.insert(it, phys);
    }

    void positionAt(int phys, int fallback) {
        lost = -1;
        if (view.empty()) {
            pos = -1;
            eof = bof = true;
            return;
        }
        if (phys >= 0) {
            if (const int i = indexOf(phys); i >= 0) {
                pos = i;
                return;
            }
        }
        pos = std::clamp(fallback, 0, int(view.size()) - 1);
    }

    // Brings the view up to date with changes that other datasets sharing the
    // table have posted: new records, deleted records, and new sort keys.
    // The check is read on every field read; the catching up is apart.
    void sync() {
        if (!table)
            return;
        const bool structChanged = table->structureGeneration() != structGen;
        const bool dataChanged = table->dataGeneration() != dataGen;
        if (!structChanged && (!dataChanged || sortFields.empty())) {
            dataGen = table->dataGeneration();
            return;
        }
        catchUp(structChanged);
    }

    [[gnu::noinline]] void catchUp(bool structChanged) {
        const int phys = currentPhys();
        const int oldPos = pos;
        if (structChanged) {
            view.erase(std::remove_if(view.begin(), view.end(),
                                      [&](int p) { return table->isDeleted(p); }),
                       view.end());
            for (int p = knownCount; p < table->recordCount(); ++p)
                if (!table->isDeleted(p) &&
                    (filter.empty() || filter.matches(*table, table->record(p))))
                    view.push_back(p);
            knownCount = table->recordCount();
        }
        sortView();
        structGen = table->structureGeneration();
        dataGen = table->dataGeneration();
        // A current record deleted elsewhere stays current rather than
        // handing the dataset's next Edit or Delete to its neighbour.
        if (phys >= 0 && table->isDeleted(phys))
            becomeLost(phys);
        else
            positionAt(phys, oldPos);
        if (!view.empty() && eof && bof)
            eof = bof = false;
    }

    static std::vector<int> resolveSortFields(const DbfTable &table, const QString &names) {
        std::vector<int> r;
        const QStringList parts = names.split(u';', Qt::SkipEmptyParts);
        for (const QString &part : parts) {
            const QString name = part.trimmed();
            if (name.isEmpty())
                continue;
            const int f = table.fieldIndex(name);
            if (f < 0)
                fail(QStringLiteral("Поле \"%1\" не найдено: упорядочить таблицу по нему нельзя.")
                         .arg(name));
            r.push_back(f);
        }
        return r;
    }
};

// ---------------------------------------------------------------------------
// Connection

namespace {
QString valueAfter(const QString &s, const QString &key) {
    const qsizetype i = s.indexOf(key, 0, Qt::CaseInsensitive);
    if (i < 0)
        return QString();
    const qsizetype start = i + key.size();
    qsizetype end = s.indexOf(u';', start);
    if (end < 0)
        end = s.size();
    QString v = s.mid(start, end - start).trimmed();
    if (v.size() >= 2 && (v.startsWith(u'"') || v.startsWith(u'\'')) && v.endsWith(v[0]))
        v = v.mid(1, v.size() - 2);
    return v;
}
} // namespace

namespace detail {

// The file names of a connection's folder, with what the folder looked like
// when they were listed.
struct FolderNames {
    QString folder; // the folder as the connection gave it
    bool valid = false;
    FileStamp stamp;                // the folder's, at the listing
    QSet<QString> names;            // every name as written
    QHash<QString, QString> folded; // case-folded name -> first name in name order
};

namespace {

// The folder's own stamp: creating, removing or renaming a file in it moves
// its change times.
bool folderStamp(const QString &dir, FileStamp &out) {
    struct stat st;
    if (::stat(QFile::encodeName(dir).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    out = stampOfStat(st);
    return true;
}

std::int64_t nowNs() {
    struct timespec ts;
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// A folder modified this shortly before (or after) the moment it was listed
// may change again without its times moving (file systems keep times in
// ticks, some in two-second steps); its listing is not kept. A listing kept
// is safe: the next creation, removal or rename in the folder sets its
// modification time to a later moment, and its change time moves with any
// setting of the times.
constexpr std::int64_t kSettledNs = std::int64_t(3) * 1000000000;

} // namespace
} // namespace detail

TADOConnection::TADOConnection() = default;

QString TADOConnection::findFile(const QString &fileName) {
    if (fileName.isEmpty())
        return QString();
    const QString folderName = folder();
    const QString local = localPath(folderName);
    const QString dirPath = local.isEmpty() ? QStringLiteral(".") : local;
    detail::FileStamp stamp;
    if (!detail::folderStamp(dirPath, stamp))
        return QString(); // no folder, no file
    if (!m_names)
        m_names = std::make_unique<detail::FolderNames>();
    detail::FolderNames &n = *m_names;
    if (!n.valid || n.folder != folderName || n.stamp != stamp) {
        const std::int64_t listedAt = detail::nowNs();
        const QStringList entries =
            QDir(dirPath).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
        ++counters().folderListings;
        n.names = QSet<QString>(entries.begin(), entries.end());
        n.folded.clear();
        // The first name in name order wins, as a walk of the sorted list finds it.
        for (auto it = entries.crbegin(); it != entries.crend(); ++it)
            n.folded.insert(it->toCaseFolded(), *it);
        n.folder = folderName;
        n.stamp = stamp;
        n.valid = listedAt - stamp.mtimeNs > detail::kSettledNs;
    }
    if (n.names.contains(fileName))
        return pathOf(fileName);
    const auto it = n.folded.constFind(fileName.toCaseFolded());
    return it == n.folded.constEnd() ? QString() : pathOf(*it);
}

QString TADOConnection::pathOf(const QString &fileName) {
    // The folder's part of a path, made by QDir once per folder; a name that
    // QDir takes for a path of its own goes to QDir itself.
    if (fileName.startsWith(u':') || fileName.startsWith(u'/') || fileName.startsWith(u'\\')) {
        const QString local = localPath(folder());
        return QDir(local.isEmpty() ? QStringLiteral(".") : local).filePath(fileName);
    }
    if (m_pathPrefixOf != m_folder || m_pathPrefixOf.isNull()) {
        const QString local = localPath(folder());
        const QString probe =
            QDir(local.isEmpty() ? QStringLiteral(".") : local).filePath(QStringLiteral("x"));
        m_pathPrefix = probe.left(probe.size() - 1);
        m_pathPrefixOf = m_folder.isNull() ? QStringLiteral("") : m_folder;
    }
    return m_pathPrefix + fileName;
}

TADOConnection::~TADOConnection() {
    const auto datasets = m_datasets;
    for (TADODataSet *ds : datasets) {
        ds->connectionClosing();
        ds->m_connection = nullptr;
    }
    for (const auto &t : m_heldTables)
        t->dropHeld();
    detail::closeKeptFolder(m_folderFd);
}

void TADOConnection::setConnectionString(const QString &s) {
    if (m_connected)
        Close();
    m_connectionString = s;
    QString folder = valueAfter(s, QStringLiteral("Data Source="));
    if (folder.isEmpty())
        folder = valueAfter(s, QStringLiteral("DBQ="));
    m_folder = folder;
    m_names.reset();
}

QString TADOConnection::connectionString() const {
    if (!m_connected)
        return m_connectionString;
    QString s = m_connectionString;
    if (!s.isEmpty() && !s.endsWith(u';'))
        s += u';';
    return s + QStringLiteral("DBQ=") + folder() + u';';
}

void TADOConnection::setFolder(const QString &folder) {
    setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + folder +
                        QStringLiteral(";Extended Properties=dBASE IV;User ID=admin;Password=;"));
}

QString TADOConnection::folder() const {
    QString f = m_folder;
    while (f.size() > 1 && (f.endsWith(u'/') || f.endsWith(u'\\')) &&
           !(f.size() == 3 && f[1] == u':'))
        f.chop(1);
    return f;
}

void TADOConnection::Open() {
    if (m_connected)
        return;
    if (m_folder.trimmed().isEmpty())
        fail(QStringLiteral("В строке соединения не указана папка базы данных."));
    const QString local = localPath(folder());
    if (m_keepFolderOpen)
        m_folderFd = detail::openKeptFolder(local); // a folder, when it opens
    if (m_folderFd < 0) {
        const QFileInfo fi(local);
        if (!fi.exists() || !fi.isDir())
            fail(QStringLiteral("Папка базы данных \"%1\" не найдена.").arg(folder()));
    }
    m_connected = true;
}

void TADOConnection::Close() {
    const auto datasets = m_datasets;
    for (TADODataSet *ds : datasets)
        ds->connectionClosing();
    m_connected = false;
    detail::closeKeptFolder(m_folderFd);
    m_folderFd = -1;
    for (const auto &t : m_heldTables)
        t->dropHeld();
    m_heldTables.clear();
}

void TADOConnection::setHoldWrites(bool hold) {
    m_holdWrites = hold;
}

void TADOConnection::hold(const std::shared_ptr<detail::DbfTable> &table) {
    if (table->holdsWrites() &&
        std::find(m_heldTables.begin(), m_heldTables.end(), table) != m_heldTables.end())
        return;
    table->holdWrites();
    if (table->holdsWrites())
        m_heldTables.push_back(table);
}

void TADOConnection::Flush() {
    for (const auto &t : m_heldTables)
        t->flushHeld();
}

bool TADOConnection::Connected() const {
    return m_connected;
}

void TADOConnection::attach(TADODataSet *ds) {
    if (!m_datasets.contains(ds))
        m_datasets.push_back(ds);
}

void TADOConnection::detach(TADODataSet *ds) {
    m_datasets.removeAll(ds);
}

// ---------------------------------------------------------------------------
// Fields

namespace {

struct Cell {
    DbfTable *table = nullptr;
    const FieldDef *def = nullptr;
    const char *p = nullptr; // null when there is no current record
    int field = 0;
};

[[noreturn, gnu::noinline, gnu::cold]] void failFieldOf(bool open, int index) {
    if (!open)
        fail(QStringLiteral("Набор данных закрыт."));
    fail(QStringLiteral("Нет поля с номером %1.").arg(index));
}

// Read on every field read: the failures are kept out of line.
inline Cell cellOf(TADODataSet *ds, int index) {
    TADODataSet::Impl *impl = ds->impl();
    if (!impl->table || index < 0 || index >= impl->table->fieldCount()) [[unlikely]]
        failFieldOf(bool(impl->table), index);
    impl->sync();
    Cell c;
    c.table = impl->table.get();
    c.def = &impl->table->defs()[index];
    c.field = index;
    const char *rec = impl->current();
    if (rec)
        c.p = rec + impl->table->offset(index);
    return c;
}

} // namespace

QString TField::FieldName() const {
    return Def().name;
}

const FieldDef &TField::Def() const {
    return *cellOf(m_ds, m_index).def;
}

bool TField::IsNull() const {
    const Cell c = cellOf(m_ds, m_index);
    if (!c.p)
        return true;
    switch (c.def->type) {
    case 'N':
    case 'F': {
        double v;
        return !detail::parseNumber(c.p, c.def->length, v);
    }
    case 'L':
        return logicalOf(c.p[0]) < 0;
    case 'D':
        return !dateOf(c.p).isValid();
    case 'M': {
        long long block = 0;
        return !detail::parseInteger(c.p, c.def->length, block) || block <= 0;
    }
    default:
        return false;
    }
}

namespace {

// A cell's value as text, as AsString reads it.
QString cellText(const Cell &c) {
    if (!c.p)
        return QString();
    switch (c.def->type) {
    case 'N':
    case 'F': {
        return numericFieldText(c.p, c.def->length);
    }
    case 'L': {
        const int b = logicalOf(c.p[0]);
        return b < 0 ? QString() : b ? QStringLiteral("True") : QStringLiteral("False");
    }
    case 'D': {
        const QDate d = dateOf(c.p);
        return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : QString();
    }
    case 'M':
        return c.table->memoText(c.p - c.table->offset(c.field), c.field);
    default: {
        int n = 0;
        return trimmedRight(*c.table, c.p, c.def->length, n);
    }
    }
}

} // namespace

QString TField::AsString() const {
    return cellText(cellOf(m_ds, m_index));
}

double TField::AsFloat() const {
    const Cell c = cellOf(m_ds, m_index);
    if (!c.p)
        return 0;
    double v = 0;
    switch (c.def->type) {
    case 'N':
    case 'F':
    case 'C':
        return detail::parseNumber(c.p, c.def->length, v) ? v : 0;
    case 'L':
        return logicalOf(c.p[0]) == 1 ? 1 : 0;
    case 'M':
        return detail::parseNumberText(AsString(), v) ? v : 0;
    default:
        return 0;
    }
}

int TField::AsInteger() const {
    const Cell c = cellOf(m_ds, m_index);
    if (!c.p)
        return 0;
    if (c.def->type == 'N' || c.def->type == 'F' || c.def->type == 'C') {
        long long i = 0;
        if (detail::parseInteger(c.p, c.def->length, i))
            return int(std::clamp<long long>(i, INT_MIN, INT_MAX));
    }
    return clampToInt(AsFloat());
}

QString TField::StoredText() const {
    const Cell c = cellOf(m_ds, m_index);
    if (!c.p)
        return QString();
    int i = 0, end = 0;
    detail::valueSpan(c.p, c.def->length, i, end);
    return c.table->decode(c.p + i, end - i);
}

TField::NumberReading TField::ReadNumber(double &value) const {
    const Cell c = cellOf(m_ds, m_index);
    if (!c.p)
        return NumberReading::Blank;
    return ReadNumber(*c.def, c.p, value);
}

TField::NumberReading TField::ReadNumber(const FieldDef &def, const char *bytes, double &value) {
    if (def.type == 'N' || def.type == 'F' || def.type == 'C')
        return detail::readNumberBytes(bytes, def.length, value);
    return detail::isBlank(bytes, def.length) ? NumberReading::Blank : NumberReading::NotNumber;
}

bool TField::AsBoolean() const {
    const Cell c = cellOf(m_ds, m_index);
    if (!c.p)
        return false;
    switch (c.def->type) {
    case 'L':
        return logicalOf(c.p[0]) == 1;
    case 'N':
    case 'F':
        return AsFloat() != 0;
    case 'C':
        return logicalText(AsString()) == 1;
    default:
        return false;
    }
}

QVariant TField::AsVariant() const {
    const Cell c = cellOf(m_ds, m_index);
    if (!c.p || IsNull())
        return QVariant();
    switch (c.def->type) {
    case 'N':
    case 'F': {
        long long i = 0;
        if (c.def->decimals == 0 && detail::parseInteger(c.p, c.def->length, i))
            return QVariant(qlonglong(i));
        double v = 0;
        detail::parseNumber(c.p, c.def->length, v);
        return QVariant(v);
    }
    case 'L':
        return QVariant(logicalOf(c.p[0]) == 1);
    case 'D':
        return QVariant(dateOf(c.p));
    default:
        return QVariant(AsString());
    }
}

namespace {

// The bytes of the current record's field while editing; throws outside
// edit or insert and for fields this layer cannot write.
char *writableField(TADODataSet *ds, int index, const FieldDef *&def) {
    TADODataSet::Impl *impl = ds->impl();
    if (!impl->table)
        fail(QStringLiteral("Набор данных закрыт."));
    if (index < 0 || index >= impl->table->fieldCount())
        fail(QStringLiteral("Нет поля с номером %1.").arg(index));
    def = &impl->table->defs()[index];
    if (!impl->editing)
        fail(QStringLiteral("Поле \"%1\" можно изменить только при редактировании или "
                            "добавлении записи.")
                 .arg(def->name));
    if (def->type == 'M')
        fail(QStringLiteral("Запись в поле примечаний \"%1\" не поддерживается.").arg(def->name));
    if (std::size_t(index) < impl->isWritten.size() && !impl->isWritten[std::size_t(index)]) {
        impl->isWritten[std::size_t(index)] = 1;
        impl->written.push_back(index);
    }
    return impl->buf.data() + impl->table->offset(index);
}

void fieldWritten(TADODataSet *ds) {
    ds->impl()->modified = true;
    if (ds->onDataChange)
        ds->onDataChange();
}

void putRightAligned(char *dst, int width, const char *text, int n) {
    std::memset(dst, ' ', std::size_t(width - n));
    std::memcpy(dst + (width - n), text, std::size_t(n));
}

[[noreturn]] void tooWide(const FieldDef &d, const QString &value) {
    fail(QStringLiteral("Значение %1 не помещается в поле %2.").arg(value, fieldLabel(d)));
}

void putFloat(char *dst, const FieldDef &d, double v) {
    if (!std::isfinite(v))
        fail(QStringLiteral("Значение поля %1 не является конечным числом.").arg(d.name));
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, d.decimals);
    if (r.ec != std::errc())
        tooWide(d, numberText(v));
    int n = int(r.ptr - buf);
    // A value that rounds to zero is written without a sign.
    if (buf[0] == '-') {
        bool zero = true;
        for (int i = 1; i < n; ++i)
            if (buf[i] != '0' && buf[i] != '.')
                zero = false;
        if (zero) {
            std::memmove(buf, buf + 1, std::size_t(n - 1));
            --n;
        }
    }
    if (n > d.length)
        tooWide(d, QString::fromLatin1(buf, n));
    putRightAligned(dst, d.length, buf, n);
}

void putInteger(char *dst, const FieldDef &d, long long v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + 40, v);
    int n = int(r.ptr - buf);
    if (d.decimals > 0) {
        if (n + 1 + d.decimals > d.length)
            tooWide(d, QString::fromLatin1(buf, n));
        buf[n++] = '.';
        for (int i = 0; i < d.decimals; ++i)
            buf[n++] = '0';
    }
    if (n > d.length)
        tooWide(d, QString::fromLatin1(buf, n));
    putRightAligned(dst, d.length, buf, n);
}

void putText(const DbfTable &table, char *dst, const FieldDef &d, const QString &text) {
    QString t = text;
    qsizetype end = t.size();
    while (end > 0 && t[end - 1] == u' ')
        --end;
    t.truncate(end);
    QByteArray bytes;
    qsizetype bad = t.indexOf(QChar(0));
    // A NUL ends the text for most readers, this one included.
    if (bad >= 0)
        fail(QStringLiteral("Текст для поля %1 содержит символ NUL (U+0000), который в таблице "
                            "хранить нельзя.")
                 .arg(d.name));
    if (!codepage::encode(table.codePage(), t, bytes, &bad))
        fail(QStringLiteral("Текст для поля %1 содержит символ \"%2\" (U+%3), которого нет в "
                            "кодировке %4.")
                 .arg(d.name, t.mid(bad, 1))
                 .arg(t[bad].unicode(), 4, 16, QLatin1Char('0'))
                 .arg(codepage::name(table.codePage())));
    if (bytes.size() > d.length)
        fail(QStringLiteral("Текст длиной %1 символов не помещается в поле %2.")
                 .arg(bytes.size())
                 .arg(fieldLabel(d)));
    std::memcpy(dst, bytes.constData(), std::size_t(bytes.size()));
    std::memset(dst + bytes.size(), ' ', std::size_t(d.length - bytes.size()));
}

void putDate(char *dst, const FieldDef &d, const QDate &date) {
    if (!date.isValid()) {
        std::memset(dst, ' ', std::size_t(d.length));
        return;
    }
    if (date.year() < 0 || date.year() > 9999)
        tooWide(d, date.toString(Qt::ISODate));
    const QByteArray b = date.toString(QStringLiteral("yyyyMMdd")).toLatin1();
    std::memcpy(dst, b.constData(), 8);
}

} // namespace

void TField::SetAsString(const QString &v) {
    const FieldDef *d = nullptr;
    char *dst = writableField(m_ds, m_index, d);
    switch (d->type) {
    case 'N':
    case 'F': {
        const QString t = v.trimmed();
        if (t.isEmpty()) {
            Clear();
            return;
        }
        // Plain decimal text keeps every digit that the field holds; other
        // forms (exponents) go through their value.
        DecimalText dec;
        double f = 0;
        const QByteArray latin = t.toLatin1();
        if (dec.parse(latin.constData(), latin.size())) {
            dec.roundTo(d->decimals);
            const std::string text = dec.fixed(d->decimals);
            if (int(text.size()) > d->length)
                tooWide(*d, QString::fromLatin1(text.data(), qsizetype(text.size())));
            putRightAligned(dst, d->length, text.data(), int(text.size()));
        } else if (detail::parseNumberText(t, f))
            putFloat(dst, *d, f);
        else
            fail(QStringLiteral("\"%1\" не является числом (поле %2).").arg(v, d->name));
        break;
    }
    case 'L': {
        const int b = logicalText(v);
        if (b == -2)
            fail(QStringLiteral("\"%1\" не является логическим значением (поле %2).")
                     .arg(v, d->name));
        dst[0] = b < 0 ? ' ' : b ? 'T' : 'F';
        break;
    }
    case 'D': {
        if (v.trimmed().isEmpty()) {
            std::memset(dst, ' ', 8);
            break;
        }
        const QDate date = parseDateText(v);
        if (!date.isValid())
            fail(QStringLiteral("\"%1\" не является датой (поле %2).").arg(v, d->name));
        putDate(dst, *d, date);
        break;
    }
    default:
        putText(*m_ds->impl()->table, dst, *d, v);
    }
    fieldWritten(m_ds);
}

void TField::SetAsInteger(long long v) {
    const FieldDef *d = nullptr;
    char *dst = writableField(m_ds, m_index, d);
    switch (d->type) {
    case 'N':
    case 'F':
        putInteger(dst, *d, v);
        break;
    case 'L':
        dst[0] = v ? 'T' : 'F';
        break;
    case 'D':
        fail(QStringLiteral("В поле даты %1 нельзя записать число.").arg(d->name));
    default:
        putText(*m_ds->impl()->table, dst, *d, QString::number(v));
    }
    fieldWritten(m_ds);
}

void TField::SetAsFloat(double v) {
    const FieldDef *d = nullptr;
    char *dst = writableField(m_ds, m_index, d);
    switch (d->type) {
    case 'N':
    case 'F':
        putFloat(dst, *d, v);
        break;
    case 'L':
        dst[0] = v != 0 ? 'T' : 'F';
        break;
    case 'D':
        fail(QStringLiteral("В поле даты %1 нельзя записать число.").arg(d->name));
    default:
        if (!std::isfinite(v))
            fail(QStringLiteral("Значение поля %1 не является конечным числом.").arg(d->name));
        putText(*m_ds->impl()->table, dst, *d, numberText(v));
    }
    fieldWritten(m_ds);
}

void TField::SetAsBoolean(bool v) {
    const FieldDef *d = nullptr;
    char *dst = writableField(m_ds, m_index, d);
    switch (d->type) {
    case 'L':
        dst[0] = v ? 'T' : 'F';
        break;
    case 'N':
    case 'F':
        putInteger(dst, *d, v ? 1 : 0);
        break;
    case 'D':
        fail(QStringLiteral("В поле даты %1 нельзя записать логическое значение.").arg(d->name));
    default:
        putText(*m_ds->impl()->table, dst, *d,
                v ? QStringLiteral("True") : QStringLiteral("False"));
    }
    fieldWritten(m_ds);
}

void TField::SetAsVariant(const QVariant &v) {
    if (!v.isValid() || v.isNull()) {
        Clear();
        return;
    }
    switch (v.typeId()) {
    case QMetaType::Bool:
        SetAsBoolean(v.toBool());
        return;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
        SetAsInteger(v.toLongLong());
        return;
    case QMetaType::ULongLong:
    case QMetaType::ULong:
        if (v.toULongLong() > qulonglong(LLONG_MAX))
            SetAsFloat(v.toDouble());
        else
            SetAsInteger(v.toLongLong());
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        SetAsFloat(v.toDouble());
        return;
    case QMetaType::QDate:
    case QMetaType::QDateTime: {
        const FieldDef *d = nullptr;
        char *dst = writableField(m_ds, m_index, d);
        if (d->type == 'D') {
            putDate(dst, *d, v.toDate());
            fieldWritten(m_ds);
        } else {
            SetAsString(v.toDate().toString(QStringLiteral("dd.MM.yyyy")));
        }
        return;
    }
    default:
        SetAsString(v.toString());
    }
}

namespace {

// True when a byte reads as a character that is written back as that byte.
bool bytePassesThrough(CodePage cp, unsigned char b) {
    static const auto table = [] {
        std::array<std::array<bool, 256>, 2> t{};
        for (CodePage page : {CodePage::Cp1251, CodePage::Cp866})
            for (int i = 1; i < 256; ++i) {
                const char c = char(i);
                const QString text = codepage::decode(page, &c, 1);
                t[std::size_t(page)][std::size_t(i)] =
                    codepage::byteOf(page, text[0].unicode()) == i;
            }
        return t;
    }();
    return table[std::size_t(cp)][b];
}

// A number in the form its field is written in: right-aligned, a sign only
// before a value other than zero, no leading zeros, exactly the field's
// decimals after a "."; or blanks only.
bool numberInWrittenForm(const char *p, const FieldDef &d) {
    const int len = d.length;
    int i = 0;
    while (i < len && p[i] == ' ')
        ++i;
    if (i == len)
        return true;
    const bool negative = p[i] == '-';
    if (negative)
        ++i;
    const int whole = i;
    while (i < len && p[i] >= '0' && p[i] <= '9')
        ++i;
    if (i == whole || (i - whole > 1 && p[whole] == '0'))
        return false;
    bool zero = i - whole == 1 && p[whole] == '0';
    if (d.decimals > 0) {
        if (i == len || p[i] != '.')
            return false;
        const int fraction = ++i;
        for (; i < len && p[i] >= '0' && p[i] <= '9'; ++i)
            zero = zero && p[i] == '0';
        if (i - fraction != d.decimals)
            return false;
    }
    return i == len && !(negative && zero);
}

// True when writing the text that a field's bytes read as gives those bytes.
bool inWrittenForm(CodePage cp, const FieldDef &d, const char *p) {
    switch (d.type) {
    case 'N':
    case 'F':
        return numberInWrittenForm(p, d);
    case 'C':
        for (int i = 0; i < d.length; ++i)
            if (!bytePassesThrough(cp, static_cast<unsigned char>(p[i])))
                return false;
        return true;
    default:
        return false;
    }
}

} // namespace

void TField::SetFrom(const TField &Src) {
    const Cell from = cellOf(Src.m_ds, Src.m_index);
    const Cell to = cellOf(m_ds, m_index);
    const FieldDef &s = *from.def, &t = *to.def;
    if (from.p && s.type == t.type && s.length == t.length && s.decimals == t.decimals &&
        from.table->codePage() == to.table->codePage() &&
        inWrittenForm(from.table->codePage(), s, from.p)) {
        const FieldDef *d = nullptr;
        char *dst = writableField(m_ds, m_index, d);
        std::memcpy(dst, from.p, std::size_t(d->length));
        fieldWritten(m_ds);
        return;
    }
    SetAsString(Src.AsString());
}

void TField::Clear() {
    const FieldDef *d = nullptr;
    char *dst = writableField(m_ds, m_index, d);
    std::memset(dst, ' ', std::size_t(d->length));
    fieldWritten(m_ds);
}

// ---------------------------------------------------------------------------
// Dataset

TADODataSet::TADODataSet() : m_impl(std::make_unique<Impl>()) {}

TADODataSet::~TADODataSet() {
    // The owner's handlers may already be gone.
    onStateChange = nullptr;
    onDataChange = nullptr;
    onScroll = nullptr;
    beforeEdit = nullptr;
    afterPost = nullptr;
    onNewRecord = nullptr;
    Close();
    if (m_connection)
        m_connection->detach(this);
}

void TADODataSet::setConnection(TADOConnection *c) {
    if (c == m_connection)
        return;
    Close();
    if (m_connection)
        m_connection->detach(this);
    m_connection = c;
    if (m_connection)
        m_connection->attach(this);
}

void TADODataSet::connectionClosing() {
    Close();
}

void TADODataSet::setCommandText(const QString &sql) {
    if (sql == m_commandText)
        return;
    Close();
    m_commandText = sql;
}

QString TADODataSet::tableName() const {
    try {
        return detail::parseSelect(m_commandText).table;
    } catch (const StoreError &) {
        return QString();
    }
}

QString TADODataSet::filePath() const {
    return m_impl->filePath;
}

namespace {
void notify(const std::function<void()> &f) {
    if (f)
        f();
}
} // namespace

void TADODataSet::Open() {
    if (Active())
        return;
    if (!m_connection)
        fail(QStringLiteral("Набор данных не связан с соединением."));
    if (!m_connection->Connected())
        fail(QStringLiteral("Соединение с папкой \"%1\" не открыто.").arg(m_connection->folder()));
    Impl &im = *m_impl;
    if (im.parsedText != m_commandText || im.parsedText.isNull()) {
        im.parsed = detail::parseSelect(m_commandText);
        im.parsedFile = im.parsed.table;
        if (!im.parsedFile.endsWith(QLatin1String(".dbf"), Qt::CaseInsensitive))
            im.parsedFile += QStringLiteral(".DBF");
        im.parsedFileNative = QFile::encodeName(im.parsedFile);
        im.parsedText = m_commandText.isNull() ? QStringLiteral("") : m_commandText;
    }
    const detail::SelectCommand &cmd = im.parsed;
    const QString &fileName = im.parsedFile;
    if (fileName.contains(u'/') || fileName.contains(u'\\'))
        fail(QStringLiteral("Имя таблицы \"%1\" не должно содержать путь.").arg(cmd.table));
    // The name as written is opened straight away; the folder is listed only
    // when no file of that exact name is there.
    QString path = m_connection->pathOf(fileName);
    auto table =
        m_connection->m_folderFd >= 0
            ? detail::acquireTableIfExistsAt(m_connection->m_folderFd, im.parsedFileNative, path)
            : detail::acquireTableIfExists(path);
    if (!table) {
        path = m_connection->findFile(fileName);
        if (path.isEmpty())
            fail(QStringLiteral("Таблица \"%1\" не найдена в папке \"%2\".")
                     .arg(cmd.table, m_connection->folder()));
        table = detail::acquireTable(path);
    }
    if (m_connection->m_holdWrites)
        m_connection->hold(table);
    ++counters().tableOpens;
    detail::Filter filter(cmd.conditions);
    filter.resolve(*table);
    std::vector<int> sortFields = Impl::resolveSortFields(*table, m_indexFieldNames);
    im.table = table;
    im.sortFields = std::move(sortFields);
    im.defs = table->defs();
    im.filter = std::move(filter);
    im.filePath = path;
    im.endEdit();
    im.buildView();
    m_state = DataSetState::Browse;
    notify(onStateChange);
}

void TADODataSet::Close() {
    if (!Active())
        return;
    Impl &im = *m_impl;
    im.endEdit();
    im.table.reset();
    im.view.clear();
    im.pos = -1;
    im.lost = -1;
    im.eof = im.bof = true;
    im.filter = detail::Filter();
    im.sortFields.clear();
    im.filePath.clear();
    m_state = DataSetState::Inactive;
    notify(onStateChange);
}

bool TADODataSet::Active() const {
    return m_state != DataSetState::Inactive;
}

namespace {
void requireActive(const TADODataSet &ds) {
    if (!ds.Active())
        fail(QStringLiteral("Набор данных закрыт."));
}
} // namespace

// A pending change is posted when the cursor moves, as a data-aware grid does
// when the user leaves a row; an untouched new or edited record is dropped.
static void checkBrowseMode(TADODataSet &ds) {
    if (ds.State() == DataSetState::Edit || ds.State() == DataSetState::Insert) {
        if (ds.Modified())
            ds.Post();
        else
            ds.Cancel();
    }
}

void TADODataSet::First() {
    requireActive(*this);
    checkBrowseMode(*this);
    Impl &im = *m_impl;
    im.sync();
    im.lost = -1;
    im.pos = im.view.empty() ? -1 : 0;
    im.bof = true;
    im.eof = im.view.empty();
    notify(onScroll);
}

void TADODataSet::Next() {
    requireActive(*this);
    checkBrowseMode(*this);
    Impl &im = *m_impl;
    im.sync();
    // From a record deleted elsewhere the next record is the one after it,
    // which pos already names.
    const int next = im.lost >= 0 ? im.pos : im.pos + 1;
    if (next < int(im.view.size())) {
        im.pos = next;
        im.lost = -1;
        im.bof = im.eof = false;
        notify(onScroll);
    } else {
        im.eof = true;
    }
}

void TADODataSet::Prior() {
    requireActive(*this);
    checkBrowseMode(*this);
    Impl &im = *m_impl;
    im.sync();
    if (im.pos > 0) {
        --im.pos;
        im.lost = -1;
        im.bof = im.eof = false;
        notify(onScroll);
    } else {
        im.bof = true;
    }
}

void TADODataSet::Last() {
    requireActive(*this);
    checkBrowseMode(*this);
    Impl &im = *m_impl;
    im.sync();
    im.lost = -1;
    im.pos = int(im.view.size()) - 1;
    im.eof = true;
    im.bof = im.view.empty();
    notify(onScroll);
}

bool TADODataSet::Eof() const {
    if (!Active())
        return true;
    m_impl->sync();
    return m_impl->eof || m_impl->view.empty();
}

bool TADODataSet::Bof() const {
    if (!Active())
        return true;
    m_impl->sync();
    return m_impl->bof || m_impl->view.empty();
}

int TADODataSet::RecNo() const {
    if (!Active())
        return 0;
    m_impl->sync();
    if (m_state == DataSetState::Insert)
        return int(m_impl->view.size()) + 1;
    if (m_impl->lost >= 0)
        return 0;
    return m_impl->pos + 1;
}

void TADODataSet::setRecNo(int n) {
    requireActive(*this);
    checkBrowseMode(*this);
    Impl &im = *m_impl;
    im.sync();
    if (n < 1 || n > int(im.view.size()))
        fail(QStringLiteral("Записи с номером %1 нет (в таблице %2 записей).")
                 .arg(n)
                 .arg(im.view.size()));
    im.pos = n - 1;
    im.lost = -1;
    im.bof = im.eof = false;
    notify(onScroll);
}

int TADODataSet::RecordCount() const {
    if (!Active())
        return 0;
    m_impl->sync();
    return int(m_impl->view.size());
}

int TADODataSet::FieldCount() const {
    return Active() ? int(m_impl->defs.size()) : 0;
}

namespace {
[[noreturn, gnu::noinline, gnu::cold]] void failNoField(const TADODataSet &ds, int index) {
    requireActive(ds);
    fail(QStringLiteral("Нет поля с номером %1 (полей %2).").arg(index).arg(ds.FieldCount()));
}
} // namespace

TField TADODataSet::Fields(int index) {
    if (!Active() || index < 0 || index >= int(m_impl->defs.size())) [[unlikely]]
        failNoField(*this, index);
    return TField(this, index);
}

TField TADODataSet::FieldByName(const QString &name) {
    requireActive(*this);
    const int i = m_impl->table->fieldIndex(name);
    if (i < 0)
        fail(QStringLiteral("Поле \"%1\" не найдено.").arg(name));
    return TField(this, i);
}

int TADODataSet::FieldIndex(const QString &name) const {
    if (m_impl->table)
        return m_impl->table->fieldIndex(name);
    for (int i = 0; i < m_impl->defs.size(); ++i)
        if (m_impl->defs[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

const QVector<FieldDef> &TADODataSet::FieldDefs() const {
    return m_impl->defs;
}

const char *TADODataSet::RecordBytes() const {
    if (!Active())
        return nullptr;
    m_impl->sync();
    return m_impl->current();
}

int TADODataSet::FieldOffset(int index) const {
    if (!Active() || index < 0 || index >= int(m_impl->defs.size()))
        failNoField(*this, index);
    return m_impl->table->offset(index);
}

void TADODataSet::Edit() {
    requireActive(*this);
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        return;
    Impl &im = *m_impl;
    auto refuseLost = [&] {
        if (im.lost >= 0)
            fail(QStringLiteral("Текущая запись удалена в другом наборе данных; изменить её "
                                "нельзя."));
    };
    im.sync();
    refuseLost();
    if (im.view.empty()) {
        Insert();
        return;
    }
    notify(beforeEdit);
    im.sync(); // the handler may have changed the table through another dataset
    refuseLost();
    // The edit starts from the record as this copy read it: what it writes
    // rests on that (see Post).
    im.editPhys = im.currentPhys();
    // Both copies keep their room from one edit to the next.
    const int len = im.table->recordLength();
    im.buf.resize(len);
    std::memcpy(im.buf.data(), im.table->record(im.editPhys), std::size_t(len));
    im.orig.resize(len);
    std::memcpy(im.orig.data(), im.buf.constData(), std::size_t(len));
    im.written.clear();
    im.isWritten.assign(std::size_t(im.table->fieldCount()), 0);
    im.restsOn.assign(std::size_t(im.table->fieldCount()), 0);
    im.restsOnOthers.clear();
    im.postChecks.clear();
    im.modified = false;
    im.editing = true;
    m_state = DataSetState::Edit;
    notify(onStateChange);
}

void TADODataSet::Insert() {
    requireActive(*this);
    checkBrowseMode(*this);
    Impl &im = *m_impl;
    im.sync();
    im.buf = im.table->blankRecord();
    im.editPhys = -1;
    im.modified = false;
    im.editing = true;
    m_state = DataSetState::Insert;
    notify(onStateChange);
    try {
        notify(onNewRecord);
    } catch (...) {
        Cancel();
        throw;
    }
}

void TADODataSet::Append() {
    Insert();
}

namespace {

// The number a record holds in a field; false when the field is blank or
// holds no number.
bool numberIn(const DbfTable &table, const char *record, int field, double &value) {
    return detail::parseNumber(record + table.offset(field), table.defs()[field].length, value);
}

// The largest number that the records of the table hold in the field;
// false when none holds one.
bool largestNumber(const DbfTable &table, int field, double &largest) {
    bool any = false;
    for (int p = 0; p < table.recordCount(); ++p) {
        double v = 0;
        if (!table.isDeleted(p) && numberIn(table, table.record(p), field, v) &&
            (!any || v > largest)) {
            largest = v;
            any = true;
        }
    }
    return any;
}

} // namespace

void TADODataSet::Post() {
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        return;
    Impl &im = *m_impl;
    im.sync();
    const int numberField = m_numberField.isEmpty() ? -1 : im.table->fieldIndex(m_numberField);
    if (!m_numberField.isEmpty() && numberField < 0)
        fail(QStringLiteral("Поле \"%1\" не найдено.").arg(m_numberField));
    int phys = -1;
    // The table's generations before the write: when they move by more than
    // this post's own change, the write took in other writers' changes to
    // the file, and the view is brought up to date in full.
    const std::uint64_t structGen = im.table->structureGeneration();
    const std::uint64_t dataGen = im.table->dataGeneration();
    if (m_state == DataSetState::Edit) {
        phys = im.editPhys;
        if (im.table->isDeleted(phys))
            fail(QStringLiteral("Запись удалена в другом наборе данных; изменения не сохранены."));
        im.buf[0] = ' ';
        std::sort(im.written.begin(), im.written.end());
        std::vector<int> restsOn;
        for (std::size_t f = 0; f < im.restsOn.size(); ++f)
            if (im.restsOn[f])
                restsOn.push_back(int(f));
        // A number written into the numbering field must be one that no
        // other record holds in the file at the moment of the write.
        std::function<void()> numberFree;
        const int off = numberField >= 0 ? im.table->offset(numberField) : 0;
        if (numberField >= 0 && im.isWritten[std::size_t(numberField)] &&
            std::memcmp(im.orig.constData() + off, im.buf.constData() + off,
                        std::size_t(im.defs[numberField].length)) != 0)
            numberFree = [&im, numberField, phys] {
                const DbfTable &t = *im.table;
                double mine = 0;
                if (!numberIn(t, im.buf.constData(), numberField, mine))
                    return;
                for (int p = 0; p < t.recordCount(); ++p) {
                    double v = 0;
                    if (p != phys && !t.isDeleted(p) && numberIn(t, t.record(p), numberField, v) &&
                        v == mine)
                        fail(QStringLiteral("Значение %1 поля %2 уже есть у другой записи: ее "
                                            "сохранил другой пользователь. Изменения не "
                                            "сохранены.")
                                 .arg(numberText(mine), im.defs[numberField].name));
                }
            };
        // The checks of the post, on the table as the file holds it under
        // the lock: the edit's own record with its fields written in it.
        QString refusal;
        std::function<void()> check = numberFree;
        if (!im.postChecks.empty())
            check = [&im, &numberFree, &refusal, phys] {
                if (numberFree)
                    numberFree();
                const DbfTable &t = *im.table;
                const SavedCell saved = [&im, &t, phys](int recNo, const QString &field) {
                    const int f = t.fieldIndex(field);
                    if (f < 0 || recNo < 1 || recNo > int(im.view.size()))
                        return QString();
                    const int p = im.view[std::size_t(recNo - 1)];
                    if (p >= t.recordCount())
                        return QString();
                    Cell c;
                    c.table = const_cast<DbfTable *>(&t);
                    c.def = &t.defs()[f];
                    c.field = f;
                    c.p = (p == phys && im.isWritten[std::size_t(f)] ? im.buf.constData()
                                                                     : t.record(p)) +
                          t.offset(f);
                    return cellText(c);
                };
                for (const PostCheck &postCheck : im.postChecks) {
                    refusal = postCheck(saved);
                    if (!refusal.isEmpty())
                        fail(refusal);
                }
            };
        std::vector<int> conflicts;
        try {
            conflicts = im.table->updateRecord(phys, im.orig.constData(), im.buf.constData(),
                                               im.written, restsOn, im.restsOnOthers, check);
        } catch (const StoreError &) {
            if (!refusal.isEmpty())
                endRefusedEdit();
            throw;
        }
        if (!conflicts.empty())
            refuseConflict(conflicts);
        if (im.table->structureGeneration() != structGen ||
            im.table->dataGeneration() != dataGen + 1) {
            im.sync();
        } else {
            im.dataGen = im.table->dataGeneration();
            if (!im.sortFields.empty()) {
                // Only this record's keys changed: it moves to its new place.
                const auto it = std::find(im.view.begin(), im.view.end(), phys);
                if (it != im.view.end()) {
                    im.view.erase(it);
                    im.insertInOrder(phys);
                }
            }
        }
    } else {
        im.buf[0] = ' ';
        // The new record's number goes above every other record's as the
        // file holds them at the moment of the append, and above the
        // numbers that stand outside the table then.
        std::function<void(char *)> numberAbove;
        if (numberField >= 0)
            numberAbove = [&im, numberField, outside = m_numbersOutside](char *record) {
                const DbfTable &t = *im.table;
                double largest = 0;
                bool any = largestNumber(t, numberField, largest);
                if (const long long taken = outside ? outside() : 0;
                    taken > 0 && (!any || double(taken) > largest)) {
                    largest = double(taken);
                    any = true;
                }
                if (!any)
                    return;
                double mine = 0;
                if (numberIn(t, record, numberField, mine) && mine > largest)
                    return;
                putInteger(record + t.offset(numberField), t.defs()[numberField],
                           static_cast<long long>(std::floor(largest)) + 1);
            };
        phys = im.table->appendRecord(im.buf.constData(), numberAbove);
        if (im.table->structureGeneration() != structGen + 1 || phys != im.knownCount) {
            im.sync();
            if (im.indexOf(phys) < 0)
                im.insertInOrder(phys); // shown even when the dataset's condition leaves it out
        } else {
            im.insertInOrder(phys);
            im.knownCount = im.table->recordCount();
            im.structGen = im.table->structureGeneration();
            im.dataGen = im.table->dataGeneration();
        }
    }
    im.positionAt(phys, im.pos);
    im.bof = im.eof = false;
    im.endEdit();
    m_state = DataSetState::Browse;
    notify(onStateChange);
    notify(afterPost);
}

// Another writer saved a field of this edit since it began: their value
// stands. The edit ends, the dataset stays on the record and shows what the
// file holds now, and the post is refused, as a write conflict.
void TADODataSet::endRefusedEdit() {
    Impl &im = *m_impl;
    const int phys = im.editPhys;
    im.endEdit();
    im.sync();
    if (im.lost < 0)
        im.positionAt(phys, im.pos);
    m_state = DataSetState::Browse;
    notify(onStateChange);
}

void TADODataSet::refuseConflict(const std::vector<int> &fields) {
    Impl &im = *m_impl;
    endRefusedEdit();
    QStringList names;
    for (int f : fields)
        names << im.defs[f].name;
    fail(names.size() == 1
             ? QStringLiteral("Запись изменена другим пользователем: поле %1. Значение "
                              "перечитано, повторите ввод.")
                   .arg(names.first())
             : QStringLiteral("Запись изменена другим пользователем: поля %1. Значения "
                              "перечитаны, повторите ввод.")
                   .arg(names.join(QStringLiteral(", "))));
}

void TADODataSet::Cancel() {
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        return;
    m_impl->endEdit();
    m_state = DataSetState::Browse;
    notify(onStateChange);
}

void TADODataSet::RestOn(const QString &field, int recNo) {
    requireActive(*this);
    if (m_state != DataSetState::Edit)
        fail(QStringLiteral("Поле \"%1\" можно указать только при редактировании записи.")
                 .arg(field));
    Impl &im = *m_impl;
    const int f = im.table->fieldIndex(field);
    if (f < 0)
        fail(QStringLiteral("Поле \"%1\" не найдено.").arg(field));
    int phys = im.editPhys;
    if (recNo != 0) {
        im.sync();
        if (recNo < 1 || recNo > int(im.view.size()))
            fail(QStringLiteral("Записи с номером %1 нет (в таблице %2 записей).")
                     .arg(recNo)
                     .arg(im.view.size()));
        phys = im.view[std::size_t(recNo - 1)];
    }
    if (phys == im.editPhys) {
        im.restsOn[std::size_t(f)] = 1;
        return;
    }
    const FieldDef &d = im.table->defs()[f];
    im.restsOnOthers.push_back(
        {phys, f, QByteArray(im.table->record(phys) + im.table->offset(f), d.length)});
}

void TADODataSet::CheckOnPost(PostCheck check) {
    requireActive(*this);
    if (m_state != DataSetState::Edit)
        fail(QStringLiteral("Проверку записи можно задать только при редактировании записи."));
    m_impl->postChecks.push_back(std::move(check));
}

void TADODataSet::RefreshRecord() {
    requireActive(*this);
    if (m_state != DataSetState::Browse)
        return;
    Impl &im = *m_impl;
    im.sync();
    if (im.lost >= 0 || im.pos < 0)
        return;
    const bool changed = im.table->refresh(im.currentPhys());
    im.sync();
    if (changed)
        notify(onDataChange);
}

void TADODataSet::Delete() {
    requireActive(*this);
    if (m_state == DataSetState::Insert) {
        Cancel();
        return;
    }
    Impl &im = *m_impl;
    im.sync();
    if (im.lost >= 0)
        fail(QStringLiteral("Текущая запись уже удалена в другом наборе данных."));
    if (im.view.empty())
        fail(QStringLiteral("Нельзя удалить запись: таблица пуста."));
    const int phys = im.currentPhys();
    im.table->markDeleted(phys);
    im.view.erase(im.view.begin() + im.pos);
    im.structGen = im.table->structureGeneration();
    im.dataGen = im.table->dataGeneration();
    if (im.view.empty()) {
        im.pos = -1;
        im.eof = im.bof = true;
    } else {
        im.pos = std::min(im.pos, int(im.view.size()) - 1);
        im.eof = im.bof = false;
    }
    if (m_state == DataSetState::Edit) {
        im.endEdit();
        m_state = DataSetState::Browse;
        notify(onStateChange);
    }
    notify(onScroll);
}

bool TADODataSet::Deleted() const {
    if (!Active())
        return false;
    m_impl->sync();
    return m_impl->lost >= 0;
}

bool TADODataSet::Modified() const {
    return m_impl->modified;
}

bool TADODataSet::Locate(const QString &field, const QVariant &value) {
    requireActive(*this);
    checkBrowseMode(*this);
    Impl &im = *m_impl;
    im.sync();
    const int f = im.table->fieldIndex(field);
    if (f < 0)
        fail(QStringLiteral("Поле \"%1\" не найдено.").arg(field));
    const FieldDef &d = im.table->defs()[f];
    const bool wantNull = !value.isValid() || value.isNull();
    double wantNumber = 0;
    bool haveNumber = false;
    QString wantText;
    QDate wantDate;
    int wantLogical = -1;
    if (!wantNull) {
        switch (d.type) {
        case 'N':
        case 'F':
            if (value.typeId() == QMetaType::QString)
                haveNumber = detail::parseNumberText(value.toString(), wantNumber);
            else
                wantNumber = value.toDouble(&haveNumber);
            if (!haveNumber)
                return false;
            break;
        case 'D':
            wantDate = value.typeId() == QMetaType::QString ? parseDateText(value.toString())
                                                            : value.toDate();
            if (!wantDate.isValid())
                return false;
            break;
        case 'L':
            wantLogical = value.typeId() == QMetaType::Bool ? int(value.toBool())
                                                            : logicalText(value.toString());
            if (wantLogical < 0)
                return false;
            break;
        default: {
            wantText = value.toString();
            qsizetype end = wantText.size();
            while (end > 0 && wantText[end - 1] == u' ')
                --end;
            wantText.truncate(end);
        }
        }
    }
    for (std::size_t i = 0; i < im.view.size(); ++i) {
        const char *p = im.table->record(im.view[i]) + im.table->offset(f);
        bool match = false;
        switch (d.type) {
        case 'N':
        case 'F': {
            double v = 0;
            const bool has = detail::parseNumber(p, d.length, v);
            match = wantNull ? !has : (has && v == wantNumber);
            break;
        }
        case 'D': {
            const QDate date = dateOf(p);
            match = wantNull ? !date.isValid() : date == wantDate;
            break;
        }
        case 'L': {
            const int b = logicalOf(p[0]);
            match = wantNull ? b < 0 : b == wantLogical;
            break;
        }
        case 'M':
            fail(QStringLiteral("Поиск по полю примечаний %1 не поддерживается.").arg(d.name));
        default: {
            int n = 0;
            const QString text = trimmedRight(*im.table, p, d.length, n);
            match = wantNull ? n == 0 : text == wantText;
        }
        }
        if (match) {
            im.pos = int(i);
            im.lost = -1;
            im.bof = im.eof = false;
            notify(onScroll);
            return true;
        }
    }
    return false;
}

void TADODataSet::setIndexFieldNames(const QString &names) {
    if (!Active()) {
        m_indexFieldNames = names;
        return;
    }
    checkBrowseMode(*this);
    Impl &im = *m_impl;
    im.sync();
    std::vector<int> fields = Impl::resolveSortFields(*im.table, names);
    m_indexFieldNames = names;
    const int phys = im.currentPhys();
    im.sortFields = std::move(fields);
    im.sortView();
    if (im.lost >= 0)
        im.becomeLost(phys);
    else
        im.positionAt(phys, im.pos);
}

void TADODataSet::AddFieldDef(const FieldDef &def) {
    if (Active())
        fail(QStringLiteral("Поля можно добавлять только в закрытый набор данных."));
    m_impl->defs.push_back(def);
}

void TADODataSet::ClearFieldDefs() {
    if (Active())
        fail(QStringLiteral("Поля можно удалять только из закрытого набора данных."));
    m_impl->defs.clear();
}

void TADODataSet::CreateDataSet() {
    Close();
    Impl &im = *m_impl;
    auto table = DbfTable::inMemory(im.defs);
    std::vector<int> sortFields = Impl::resolveSortFields(*table, m_indexFieldNames);
    im.table = table;
    im.defs = table->defs();
    im.sortFields = std::move(sortFields);
    im.filter = detail::Filter();
    im.filePath.clear();
    im.buildView();
    m_state = DataSetState::Browse;
    notify(onStateChange);
}

} // namespace store
