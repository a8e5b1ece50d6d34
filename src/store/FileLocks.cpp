#include "store/FileLocks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace store::locks {

namespace {

int setLock(int fd, short type, bool wait) {
    struct flock fl = {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET; // from byte 0, length 0: the whole file, however long it grows
    for (;;) {
        if (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0)
            return 0;
        if (errno == EINTR)
            continue;
        // Either number says that another holder stands in the way.
        return errno == EACCES ? EAGAIN : errno;
    }
}

// Gives the lock file of this user the write rights of its folder: whoever
// may write the folder may lock the file. Where the system refuses (a
// group this user is not in, say), the file keeps what it has: this user
// can still lock it, and the others take their shared lock read-only.
void shareWithFolder(int fd, const QByteArray &path) {
    struct stat file, folder;
    if (::fstat(fd, &file) != 0 || !S_ISREG(file.st_mode) || file.st_uid != ::geteuid())
        return;
    const int slash = path.lastIndexOf('/');
    const QByteArray dir = slash < 0    ? QByteArray(".")
                           : slash == 0 ? QByteArray("/")
                                        : path.left(slash);
    if (::stat(dir.constData(), &folder) != 0)
        return;
    if (folder.st_gid != file.st_gid && ::fchown(fd, uid_t(-1), folder.st_gid) == 0)
        file.st_gid = folder.st_gid;
    const mode_t now = file.st_mode & 07777;
    const mode_t want =
        now | S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH | (folder.st_mode & (S_IWGRP | S_IWOTH));
    if (want != now && ::fchmod(fd, want) != 0)
        return;
}

} // namespace

int take(int fd, Kind kind, bool wait) {
    return setLock(fd, kind == Kind::Shared ? F_RDLCK : F_WRLCK, wait);
}

int give(int fd) {
    return setLock(fd, F_UNLCK, false);
}

int openForLocking(const QByteArray &path) {
    constexpr int kFlags = O_RDWR | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::open(path.constData(), kFlags);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.constData(), kFlags | O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno == EEXIST) // another copy made it meanwhile
            fd = ::open(path.constData(), kFlags);
    }
    if (fd >= 0)
        shareWithFolder(fd, path);
    return fd;
}

} // namespace store::locks
