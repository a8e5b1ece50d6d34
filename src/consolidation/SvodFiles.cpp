// The files of the builds when several copies of the program build in one
// installation at once: each copy builds its tables in folders of its own,
// puts a table in place only when nobody replaced it since its build began,
// and holds the by-column scratch table locked while it makes and reads it.

#include "consolidation/SvodInternal.h"
#include "shell/UnitConsts.h"
#include "store/ReadFile.h"
#include "store/SaveFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
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

// The operating system's lock on a folder, held while a copy puts its
// tables in place there, so that the test of a target and its replacement
// are one step for every other copy.
class FolderLock {
public:
    explicit FolderLock(const QString &folder) {
        m_fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd < 0)
            throwFileError(QStringLiteral("Не удалось открыть папку"), folder, errno);
        while (::flock(m_fd, LOCK_EX) != 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(m_fd);
            throwFileError(QStringLiteral("Не удалось заблокировать папку"), folder, err);
        }
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
        const int fd = ::open(native(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
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
        const int fd = ::open(native(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            const int err = errno;
            ::rmdir(native(path).constData());
            throwFileError(QStringLiteral("Не удалось открыть папку"), path, err);
        }
        ::flock(fd, LOCK_EX);
        m_made.push_back({Folder, path, fd});
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

// An exclusive lock of the open file description: without waiting, or
// waiting for the copy that holds it.
bool lockFile(int fd, bool wait) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    while (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) != 0) {
        if (errno == EINTR)
            continue;
        return false;
    }
    return true;
}

// Whether the descriptor's file is still the one of that name.
bool stillNamed(int fd, const QString &path) {
    struct stat held, named;
    return ::fstat(fd, &held) == 0 && ::lstat(native(path).constData(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

} // namespace

ScratchTable::ScratchTable(const QString &Path, const QString &BlankPath) {
    store::ReadFile blank(BlankPath);
    QByteArray bytes;
    if (!blank.open() || !blank.readAll(bytes))
        throw FileError(
            QStringLiteral("Не удалось открыть файл %1: %2").arg(BlankPath, blank.errorString()));
    const QByteArray path = native(Path);
    for (;;) {
        const int fd =
            ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
        struct stat st;
        if (fd < 0 && errno == ELOOP && ::unlink(path.constData()) == 0)
            continue; // a link is nobody's scratch table
        if (fd < 0)
            throwFileError(QStringLiteral("Не удалось создать файл"), Path, errno);
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            if (::unlink(path.constData()) == 0)
                continue;
            throw FileError(
                QStringLiteral("%1 не является файлом и не может быть заменен.").arg(Path));
        }
        if (!lockFile(fd, false)) {
            buildStep(BuildStep::ScratchBusy, Path);
            if (!lockFile(fd, true)) {
                const int err = errno;
                ::close(fd);
                throwFileError(QStringLiteral("Не удалось заблокировать файл"), Path, err);
            }
        }
        // The copy that held it may have removed it: then another is made.
        if (!stillNamed(fd, Path)) {
            ::close(fd);
            continue;
        }
        m_fd = fd;
        break;
    }
    int err = ::ftruncate(m_fd, 0) == 0 ? 0 : errno;
    if (err == 0)
        err = store::writeAll(m_fd, bytes.constData(), bytes.size());
    if (err != 0) {
        ::close(m_fd);
        throwFileError(QStringLiteral("Не удалось записать файл"), Path, err);
    }
}

ScratchTable::~ScratchTable() {
    ::close(m_fd);
}

} // namespace detail

void RemoveScratchTable(const QString &WedDir) {
    const QDir dir(WedDir);
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        if (name.compare(detail::kScratchName, Qt::CaseInsensitive) != 0)
            continue;
        const QString path = dir.filePath(name);
        const QByteArray native = QFile::encodeName(path);
        const int fd = ::open(native.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            if (errno == ELOOP)
                ::unlink(native.constData());
            continue;
        }
        if (detail::lockFile(fd, false) && detail::stillNamed(fd, path))
            ::unlink(native.constData());
        ::close(fd);
    }
}

} // namespace svod
