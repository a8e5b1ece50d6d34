#include "store/ReadFile.h"

#include "store/SystemError.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace store {

ReadFile::ReadFile(const QString &path) : m_path(path) {}

ReadFile::~ReadFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ReadFile::failed(int err) {
    m_error = err;
    return false;
}

bool ReadFile::open() {
    if (m_fd >= 0)
        return true;
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return failed(errno);
    struct stat st;
    const int err = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    if (err != 0) {
        ::close(fd);
        return failed(err);
    }
    m_fd = fd;
    return true;
}

qint64 ReadFile::read(char *data, qint64 size) {
    for (;;) {
        const ssize_t n = m_fd < 0 ? -1 : ::read(m_fd, data, std::size_t(size));
        if (n >= 0)
            return n;
        if (m_fd >= 0 && errno == EINTR)
            continue;
        failed(m_fd < 0 ? EBADF : errno);
        return -1;
    }
}

bool ReadFile::readAll(QByteArray &bytes) {
    bytes.clear();
    struct stat st;
    const qint64 expected = m_fd >= 0 && ::fstat(m_fd, &st) == 0 ? qint64(st.st_size) : 0;
    qint64 chunk = std::max<qint64>(expected + 1, 64 * 1024);
    for (;;) {
        const qsizetype have = bytes.size();
        bytes.resize(have + qsizetype(chunk));
        const qint64 n = read(bytes.data() + have, chunk);
        if (n <= 0) {
            bytes.resize(have);
            return n == 0;
        }
        bytes.resize(have + qsizetype(n));
        chunk = 64 * 1024;
    }
}

QString ReadFile::errorString() const {
    return systemErrorText(m_error);
}

} // namespace store
