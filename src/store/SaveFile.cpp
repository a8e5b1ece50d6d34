#include "store/SaveFile.h"

#include "store/FileLocks.h"
#include "store/SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string_view>

namespace store {

namespace {

QString systemError(int err) {
    return systemErrorText(err);
}

// "<table file name>.kvr<process id>-<number>.tmp"
const QRegularExpression &tempName() {
    static const QRegularExpression re(
        QStringLiteral("^(.+\\.[Dd][Bb][Ff])\\.kvr(\\d+)-\\d+\\.tmp$"));
    return re;
}

struct SweepRoot {
    QString folder;
    QByteArray canonical; // with a final "/"; worked out at the first sweep once the folder stands
};

SweepRoot &sweepRoot() {
    static SweepRoot root;
    return root;
}

// The folder's path with every link and "." or ".." resolved; empty when it
// does not stand.
QByteArray canonicalPath(const QByteArray &path) {
    char resolved[PATH_MAX];
    return ::realpath(path.constData(), resolved) ? QByteArray(resolved) : QByteArray();
}

// The folder's canonical path when it is the installation's folder or one
// below it; empty otherwise.
QByteArray insideSweepRoot(const QString &folder) {
    SweepRoot &root = sweepRoot();
    if (root.folder.isEmpty())
        return {};
    if (root.canonical.isEmpty()) {
        root.canonical = canonicalPath(QFile::encodeName(root.folder));
        if (root.canonical.isEmpty())
            return {};
        if (!root.canonical.endsWith('/'))
            root.canonical += '/';
    }
    const QByteArray dir = canonicalPath(QFile::encodeName(folder));
    if (dir.isEmpty())
        return {};
    return dir == root.canonical.chopped(1) || dir.startsWith(root.canonical) ? dir : QByteArray();
}

// Folders that the last sweep left without a temporary file of a table, as
// they stood then. Every write sweeps its folder, and reading a folder costs
// far more than the write; a folder that has not changed since it was left
// clean is not read again. A new file changes the folder's modification
// time, but only to the file system's tick, which is two seconds on some:
// a sweep counts only when the folder's time was further back than that
// before it read the folder, so that a file made after it changes the time.
struct FolderStamp {
    dev_t dev = 0;
    ino_t ino = 0;
    timespec mtime{};
    bool operator==(const FolderStamp &o) const {
        return dev == o.dev && ino == o.ino && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec;
    }
};

std::mutex cleanFoldersMutex;
QHash<QByteArray, FolderStamp> &cleanFolders() {
    static QHash<QByteArray, FolderStamp> folders;
    return folders;
}

// The folder as it stands, and whether it is as a sweep left it clean; a
// folder that is not is forgotten until it is clean again.
bool stillClean(const QByteArray &canonical, FolderStamp &stamp) {
    struct stat st;
    if (::stat(canonical.constData(), &st) != 0)
        return false;
    stamp = FolderStamp{st.st_dev, st.st_ino, st.st_mtim};
    const std::lock_guard lock(cleanFoldersMutex);
    const auto it = cleanFolders().constFind(canonical);
    if (it != cleanFolders().constEnd() && *it == stamp)
        return true;
    cleanFolders().remove(canonical);
    return false;
}

// After a sweep of the folder that began when it stood as stamp: it is
// remembered as clean when none of the temporary files is left, and its
// time's tick was over before the sweep read it (now).
void sweptClean(const QByteArray &canonical, const FolderStamp &stamp, const timespec &now,
                const QDir &dir, const QStringList &temporary) {
    constexpr time_t kLongestTick = 2; // seconds
    const bool tickOver = now.tv_sec - stamp.mtime.tv_sec > kLongestTick;
    if (stamp.ino == 0 || !tickOver)
        return;
    for (const QString &name : temporary) {
        struct stat st;
        if (::lstat(QFile::encodeName(dir.filePath(name)).constData(), &st) == 0)
            return;
    }
    const std::lock_guard lock(cleanFoldersMutex);
    cleanFolders().insert(canonical, stamp);
}

// The names of the folder's entries that may be temporary files ("*.kvr*.tmp",
// no folders), read straight from the folder: every write runs this, and
// most folders hold none.
QStringList tempFileNames(const QString &folder) {
    QStringList names;
    DIR *d = ::opendir(QFile::encodeName(folder).constData());
    if (!d)
        return names;
    while (const dirent *e = ::readdir(d)) {
        const std::string_view name(e->d_name);
        if (e->d_type != DT_DIR && name.size() > 8 && name.ends_with(".tmp") &&
            name.find(".kvr") != std::string_view::npos)
            names << QFile::decodeName(e->d_name);
    }
    ::closedir(d);
    return names;
}

} // namespace

bool processRuns(qint64 pid) {
    if (pid <= 0 || pid > INT_MAX)
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

void setLeftoverSweepRoot(const QString &folder) {
    sweepRoot() = SweepRoot{folder, {}};
}

void removeLeftoverTempFiles(const QString &folder) {
    const QByteArray canonical = insideSweepRoot(folder);
    if (canonical.isEmpty())
        return;
    FolderStamp stamp;
    if (stillClean(canonical, stamp))
        return;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    const QDir dir(folder);
    QStringList temporary;
    for (const QString &name : tempFileNames(folder)) {
        // Also where no table of that name stands: a new table whose
        // creator was killed before its rename never stood.
        const QRegularExpressionMatch m = tempName().match(name);
        if (!m.hasMatch())
            continue;
        temporary << name;
        const qint64 pid = m.capturedView(2).toLongLong();
        if (pid == ::getpid() || processRuns(pid))
            continue;
        // A process of that number may run on another computer that shares
        // the folder: its lock says so.
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        const int fd = ::open(path.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            continue;
        if (locks::take(fd, locks::Kind::Exclusive, false) == 0)
            ::unlink(path.constData());
        ::close(fd);
    }
    sweptClean(canonical, stamp, now, dir, temporary);
}

SaveFile::SaveFile(const QString &path) : m_path(path) {}

SaveFile::~SaveFile() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temp.isEmpty())
        ::unlink(QFile::encodeName(m_temp).constData());
}

bool SaveFile::open() {
    QFileInfo target(m_path);
    if (target.isSymLink())
        target = QFileInfo(target.symLinkTarget());
    m_path = target.absoluteFilePath();
    removeLeftoverTempFiles(target.absolutePath());
    struct stat st;
    const bool exists = ::stat(QFile::encodeName(m_path).constData(), &st) == 0;
    for (int n = 1;; ++n) {
        m_temp = QStringLiteral("%1.kvr%2-%3.tmp").arg(m_path).arg(::getpid()).arg(n);
        m_fd = ::open(QFile::encodeName(m_temp).constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd >= 0)
            break;
        if (errno != EEXIST) {
            m_error = systemError(errno);
            m_temp.clear();
            return false;
        }
    }
    // The lock tells the folder's next writer that this file is being written;
    // a file that cannot be locked is not written.
    if (const int err = locks::take(m_fd, locks::Kind::Exclusive, false); err != 0) {
        m_error = systemError(err);
        ::close(m_fd);
        m_fd = -1;
        ::unlink(QFile::encodeName(m_temp).constData());
        m_temp.clear();
        return false;
    }
    if (exists)
        ::fchmod(m_fd, st.st_mode & 07777);
    return true;
}

int writeAll(int fd, const char *data, qint64 size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, std::size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        data += n;
        size -= n;
    }
    return 0;
}

bool SaveFile::write(const char *data, qint64 size) {
    if (const int err = writeAll(m_fd, data, size); err != 0) {
        m_error = systemError(err);
        return false;
    }
    return true;
}

bool SaveFile::commit() {
    return finish(true);
}

bool SaveFile::commitNew() {
    return finish(false);
}

bool SaveFile::finish(bool replace) {
    if (m_fd < 0) {
        m_error = QStringLiteral("файл не открыт");
        return false;
    }
    if (::fsync(m_fd) != 0 && errno != EINVAL) {
        m_error = systemError(errno);
        return false;
    }
    const QByteArray temp = QFile::encodeName(m_temp);
    const QByteArray path = QFile::encodeName(m_path);
    int err = 0;
    if (replace) {
        if (::rename(temp.constData(), path.constData()) != 0)
            err = errno;
    } else if (::renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, path.constData(),
                           RENAME_NOREPLACE) != 0) {
        err = errno;
        // A file system that cannot rename so: a second name for the file,
        // which is refused as well where one stands, then the temporary name
        // taken away.
        if (err == EINVAL || err == ENOSYS) {
            err = ::link(temp.constData(), path.constData()) == 0 ? 0 : errno;
            if (err == 0)
                ::unlink(temp.constData());
        }
    }
    if (err != 0) {
        m_existed = err == EEXIST;
        m_error = systemError(err);
        return false;
    }
    m_temp.clear();
    ::close(m_fd);
    m_fd = -1;
    return true;
}

} // namespace store
