#include "store/SaveFile.h"

#include "store/FileLocks.h"
#include "store/SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

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

QString &sweepRoot() {
    static QString root;
    return root;
}

// Whether the folder is the installation's folder or one below it.
bool insideSweepRoot(const QString &folder) {
    if (sweepRoot().isEmpty())
        return false;
    QString root = QFileInfo(sweepRoot()).canonicalFilePath();
    const QString dir = QFileInfo(folder).canonicalFilePath();
    if (root.isEmpty() || dir.isEmpty())
        return false;
    if (!root.endsWith(u'/'))
        root += u'/';
    return dir == root.chopped(1) || dir.startsWith(root);
}

} // namespace

bool processRuns(qint64 pid) {
    if (pid <= 0 || pid > INT_MAX)
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

void setLeftoverSweepRoot(const QString &folder) {
    sweepRoot() = folder;
}

void removeLeftoverTempFiles(const QString &folder) {
    if (!insideSweepRoot(folder))
        return;
    const QDir dir(folder);
    const QStringList names =
        dir.entryList({QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        const QRegularExpressionMatch m = tempName().match(name);
        if (!m.hasMatch() || !QFileInfo(dir.filePath(m.captured(1))).isFile())
            continue;
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
