// The files of the builds when several copies of the program build in one
// installation at once: each copy builds its tables in folders of its own,
// puts a table in place only when nobody replaced it since its build began,
// and holds the by-column scratch table locked while it makes and reads it.

#include "consolidation/SvodInternal.h"
#include "shell/UnitConsts.h"
#include "store/FileLocks.h"
#include "store/ReadFile.h"
#include "store/SaveFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <map>

namespace svod {

namespace detail {

namespace {

const QLatin1String kAsidePrefix(".svodbuild-"); // + process number + "-" + number
const QLatin1String kScratchName("TEMPSVOD.DBF");

QByteArray native(const QString &path) {
    return QFile::encodeName(path);
}

TargetWriter::Stamp stampOf(const QString &path) {
    TargetWriter::Stamp s;
    struct stat st;
    if (path.isEmpty() || ::lstat(native(path).constData(), &st) != 0)
        return s;
    s.exists = true;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = st.st_size;
    s.mtimeNs = (long long)st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec;
    s.ctimeNs = (long long)st.st_ctim.tv_sec * 1000000000 + st.st_ctim.tv_nsec;
    return s;
}

// The lock files of the builds, each locked through a descriptor open for
// writing (store/FileLocks.h): one in a folder that consolidations are put
// in, and one in each folder aside.
const QLatin1String kPlaceLockName(".svodplace.lck");
const QLatin1String kAsideLockName(".svodbuild.lck");

int openLock(const QString &path) {
    const int fd = store::locks::openForLocking(native(path));
    if (fd < 0)
        throwFileError(QStringLiteral("Не удалось открыть файл блокировки"), path, errno);
    return fd;
}

// Takes the lock of the file of the descriptor, which is closed when it
// cannot be had; waiting, or (busy: false) not.
bool takeLock(int fd, store::locks::Kind kind, bool wait, const QString &path) {
    const int err = store::locks::take(fd, kind, wait);
    if (err == 0)
        return true;
    if (err == EAGAIN && !wait)
        return false;
    ::close(fd);
    throwFileError(QStringLiteral("Не удалось заблокировать файл"), path, err);
}

// The lock of a folder, held while a copy puts its tables in place there,
// so that the test of a target and its replacement are one step for every
// other copy.
class FolderLock {
public:
    explicit FolderLock(const QString &folder) {
        const QString path = folder + QLatin1Char('/') + kPlaceLockName;
        m_fd = openLock(path);
        takeLock(m_fd, store::locks::Kind::Exclusive, true, path);
    }
    ~FolderLock() { ::close(m_fd); }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

private:
    int m_fd = -1;
};

// Removes the folders aside that copies no longer running left in Parent:
// their process is gone and nobody holds them locked (a copy of that number
// may run on another computer that shares the folder).
void removeLeftoverAsideFolders(const QString &parent) {
    const QDir dir(parent);
    const QStringList names = dir.entryList({kAsidePrefix + QLatin1Char('*')},
                                            QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        bool ok = false;
        const qint64 pid =
            name.mid(kAsidePrefix.size()).section(QLatin1Char('-'), 0, 0).toLongLong(&ok);
        if (!ok || pid == ::getpid() || store::processRuns(pid))
            continue;
        const QString path = dir.filePath(name);
        const QByteArray lock = native(path + QLatin1Char('/') + kAsideLockName);
        const int fd = ::open(lock.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            // Made, and its maker gone before it locked it: empty, unless it
            // is nothing of ours, which stays.
            if (errno == ENOENT)
                QDir().rmdir(path);
            continue;
        }
        if (store::locks::take(fd, store::locks::Kind::Exclusive, false) == 0)
            QDir(path).removeRecursively();
        ::close(fd);
    }
}

} // namespace

void makeFolder(const QString &Folder) {
    if (QDir().mkdir(Folder) || QFileInfo(Folder).isDir())
        return;
    throw FileError(QStringLiteral("Не удалось создать папку ") + Folder);
}

// ---------------------------------------------------------------- folders aside

AsideFolders::~AsideFolders() {
    for (const Made &m : m_made) {
        ::unlink(native(m.path + QLatin1Char('/') + kAsideLockName).constData());
        QDir().rmdir(m.path);
        ::close(m.fd);
    }
}

QString AsideFolders::folderFor(const QString &Folder) {
    for (const Made &m : m_made)
        if (m.parent == Folder)
            return m.path;
    removeLeftoverAsideFolders(Folder);
    static std::atomic<int> counter{0};
    for (;;) {
        const QString path = Folder + QLatin1Char('/') + kAsidePrefix +
                             QStringLiteral("%1-%2").arg(::getpid()).arg(++counter);
        if (::mkdir(native(path).constData(), 0777) != 0) {
            if (errno == EEXIST)
                continue;
            throwFileError(QStringLiteral("Не удалось создать папку"), path, errno);
        }
        // Held locked while this copy builds there: a copy that finds it
        // left removes it only once the lock is free.
        const QString lock = path + QLatin1Char('/') + kAsideLockName;
        try {
            const int fd = openLock(lock);
            if (!takeLock(fd, store::locks::Kind::Exclusive, false, lock)) {
                ::close(fd);
                throwFileError(QStringLiteral("Не удалось заблокировать файл"), lock, EAGAIN);
            }
            m_made.push_back({Folder, path, fd});
        } catch (...) {
            ::unlink(native(lock).constData());
            ::rmdir(native(path).constData());
            throw;
        }
        return path;
    }
}

// ---------------------------------------------------------------- tables built aside

TargetWriter::TargetWriter(RunContext &Ctx, const QString &Folder, const QString &Table,
                           const QString &BlankPath)
    : m_folder(Folder), m_table(Table) {
    makeFolder(Folder);
    m_tempDir = Ctx.Aside.folderFor(Folder);
    m_tempFile = m_tempDir + QLatin1Char('/') + Table + QStringLiteral(".DBF");
    m_target = Folder + QLatin1Char('/') + Table + QStringLiteral(".DBF");
    m_before = stampOf(existingFile(m_folder, m_table + QStringLiteral(".DBF")));
    try {
        // A plain copy: the finished table is moved into place by a rename,
        // so nothing half-written is ever seen under the target's name.
        QFile in(BlankPath);
        QFile out(m_tempFile);
        if (!in.open(QIODevice::ReadOnly) ||
            !out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            out.write(in.readAll()) != in.size() || !out.flush())
            throw FileError(
                QStringLiteral("Не удалось скопировать бланк %1 в %2").arg(BlankPath, m_tempFile));
        out.close();
        m_con.setFolder(m_tempDir);
        // Nothing reads the table aside while it is built: it is written
        // once, whole, at Commit.
        m_con.setHoldWrites(true);
        m_con.Open();
        m_ds.setConnection(&m_con);
        m_ds.setCommandText(QStringLiteral("select * from ") + Table);
        m_ds.Open();
    } catch (...) {
        discard();
        throw;
    }
    buildStep(BuildStep::AsideMade, m_target);
}

TargetWriter::~TargetWriter() {
    if (!m_done)
        discard();
}

void TargetWriter::discard() {
    m_ds.Close();
    m_con.Close();
    QFile::remove(m_tempFile);
    m_done = true;
}

void TargetWriter::Finish() {
    if (m_finished)
        return;
    m_con.Flush(); // a failure leaves the build to the destructor, which discards it
    m_ds.Close();
    m_con.Close();
    m_finished = true;
}

void TargetWriter::Commit() {
    CommitTogether({this});
}

void TargetWriter::CommitTogether(const std::vector<TargetWriter *> &Writers) {
    for (TargetWriter *w : Writers)
        w->Finish();
    for (TargetWriter *w : Writers)
        buildStep(BuildStep::BeforePlacing, w->m_target);
    // One lock for each folder, taken in the order of their names.
    std::map<QString, std::unique_ptr<FolderLock>> locks;
    for (TargetWriter *w : Writers)
        locks.emplace(w->m_folder, nullptr);
    for (auto &[folder, lock] : locks)
        lock = std::make_unique<FolderLock>(folder);
    for (TargetWriter *w : Writers) {
        const QString now = existingFile(w->m_folder, w->m_table + QStringLiteral(".DBF"));
        if (stampOf(now) == w->m_before)
            continue;
        for (TargetWriter *d : Writers)
            d->discard();
        throw FileError(
            QStringLiteral("таблицу %1 в папке %2 заменила другая копия программы, "
                           "пока строился этот свод; свод не записан. Постройте его "
                           "еще раз.")
                .arg(QFileInfo(w->m_target).fileName(), QDir::toNativeSeparators(w->m_folder)));
    }
    for (TargetWriter *w : Writers)
        w->place();
}

void TargetWriter::place() {
    // A table of the same name in another letter case is the old target too.
    const QString old = existingFile(m_folder, m_table + QStringLiteral(".DBF"));
    if (!old.isEmpty() && QFileInfo(old).fileName() != QFileInfo(m_target).fileName())
        QFile::remove(old);
    if (std::rename(native(m_tempFile).constData(), native(m_target).constData()) != 0) {
        const int err = errno;
        discard();
        throwFileError(QStringLiteral("Не удалось записать файл"), m_target, err);
    }
    m_done = true;
}

// ---------------------------------------------------------------- the scratch table

namespace {

// The lock file of the scratch table: TEMPSVOD.LCK beside TEMPSVOD.DBF. The
// table itself is only ever locked by the table layer, on the descriptor
// that reads and writes it, so that a file server that makes locks binding
// never refuses a copy its own reads and writes.
QString scratchLockPath(const QString &folder) {
    return folder + QStringLiteral("TEMPSVOD.LCK");
}

} // namespace

ScratchTable::ScratchTable(const QString &Path, const QString &BlankPath) {
    store::ReadFile blank(BlankPath);
    QByteArray bytes;
    if (!blank.open() || !blank.readAll(bytes))
        throw FileError(
            QStringLiteral("Не удалось открыть файл %1: %2").arg(BlankPath, blank.errorString()));
    const QString lock = scratchLockPath(QFileInfo(Path).absolutePath() + QLatin1Char('/'));
    m_fd = openLock(lock);
    if (!takeLock(m_fd, store::locks::Kind::Exclusive, false, lock)) {
        buildStep(BuildStep::ScratchBusy, Path);
        takeLock(m_fd, store::locks::Kind::Exclusive, true, lock);
    }
    try {
        writeBlank(Path, bytes);
    } catch (...) {
        ::close(m_fd);
        throw;
    }
}

// Writes the blank's bytes into the table file, under the table layer's own
// lock of that file.
void ScratchTable::writeBlank(const QString &Path, const QByteArray &bytes) {
    const QByteArray path = native(Path);
    int fd = -1;
    for (;;) {
        fd = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
        struct stat st;
        if (fd < 0 && errno == ELOOP && ::unlink(path.constData()) == 0)
            continue; // a link is nobody's scratch table
        if (fd < 0)
            throwFileError(QStringLiteral("Не удалось создать файл"), Path, errno);
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
            break;
        ::close(fd);
        if (::unlink(path.constData()) != 0)
            throw FileError(
                QStringLiteral("%1 не является файлом и не может быть заменен.").arg(Path));
    }
    int err = store::locks::take(fd, store::locks::Kind::Exclusive, true);
    if (err == 0 && ::ftruncate(fd, 0) != 0)
        err = errno;
    if (err == 0)
        err = store::writeAll(fd, bytes.constData(), bytes.size());
    ::close(fd); // and its lock with it
    if (err != 0)
        throwFileError(QStringLiteral("Не удалось записать файл"), Path, err);
}

ScratchTable::~ScratchTable() {
    ::close(m_fd);
}

} // namespace detail

void RemoveScratchTable(const QString &WedDir) {
    const QDir dir(WedDir);
    const QString lock = detail::scratchLockPath(dir.absolutePath() + QLatin1Char('/'));
    const int fd = store::locks::openForLocking(QFile::encodeName(lock));
    if (fd < 0)
        return;
    // Not while another copy builds with it.
    if (store::locks::take(fd, store::locks::Kind::Exclusive, false) == 0) {
        const QStringList names =
            dir.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
        for (const QString &name : names)
            if (name.compare(detail::kScratchName, Qt::CaseInsensitive) == 0 &&
                !QFileInfo(dir.filePath(name)).isDir())
                ::unlink(QFile::encodeName(dir.filePath(name)).constData());
    }
    ::close(fd);
}

} // namespace svod
