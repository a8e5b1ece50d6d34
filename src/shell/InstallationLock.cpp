#include "shell/InstallationLock.h"

#include "shell/Paths.h"
#include "shell/UnitConsts.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace installation {

namespace {

// The one lock of the process: the open lock file, its path and what is held.
struct Held {
    int fd = -1;
    QString path;
    Level level = Level::None;
};

Held &held() {
    static Held h;
    return h;
}

// The lock file open, for this installation. Where it cannot be written, a
// shared lock is taken on it read-only.
int lockFile(bool forSharing) {
    Held &h = held();
    const QString path = LockFilePath();
    if (h.fd >= 0 && h.path != path)
        Unlock();
    if (h.fd >= 0)
        return h.fd;
    const QByteArray name = QFile::encodeName(path);
    int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0 && forSharing && (errno == EACCES || errno == EROFS || errno == EPERM))
        fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throwFileError(QStringLiteral("Не удалось открыть файл блокировки"), path, errno);
    h.fd = fd;
    h.path = path;
    return fd;
}

// One attempt at the lock of this type on the whole file; whether it was
// had. A refused attempt keeps what was held.
bool setLock(int fd, short type) {
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    for (;;) {
        if (::fcntl(fd, F_OFD_SETLK, &lock) == 0)
            return true;
        if (errno == EAGAIN || errno == EACCES)
            return false;
        if (errno != EINTR)
            throwFileError(QStringLiteral("Не удалось заблокировать файл"), held().path, errno);
    }
}

// What this process holds on the installation of the program folder (none
// when what it holds is another installation's).
Level heldHere() {
    return held().path == LockFilePath() ? held().level : Level::None;
}

// After a refusal: whether it was this lock of another holder, not the
// file left unopened.
Conflict refused(Level before, Conflict conflict) {
    if (before == Level::None)
        Unlock();
    return conflict;
}

} // namespace

QString LockFilePath() {
    return paths::GetWedDir() + QStringLiteral("KVR.LCK");
}

Level HeldLevel() {
    return held().level;
}

Conflict LockShared() {
    const Level before = heldHere();
    const int fd = lockFile(true);
    if (!setLock(fd, F_RDLCK))
        return refused(before, Conflict::Maintenance); // only an exclusive holder refuses it
    held().level = Level::Shared;
    return Conflict::None;
}

Conflict LockExclusive() {
    const Level before = heldHere();
    const int fd = lockFile(false);
    if (setLock(fd, F_WRLCK)) {
        held().level = Level::Exclusive;
        return Conflict::None;
    }
    // Who holds it: copies at work hold it shared, a copy rebuilding
    // exclusive.
    struct flock other = {};
    other.l_type = F_WRLCK;
    other.l_whence = SEEK_SET;
    const bool known = ::fcntl(fd, F_OFD_GETLK, &other) == 0;
    return refused(before, known && other.l_type == F_WRLCK ? Conflict::Maintenance
                                                            : Conflict::OtherCopies);
}

void Unlock() {
    Held &h = held();
    if (h.fd >= 0)
        ::close(h.fd); // the lock goes with the last descriptor of the open file
    h = Held();
}

ExclusiveHold::ExclusiveHold() : m_before(heldHere()), m_conflict(LockExclusive()) {}

ExclusiveHold::~ExclusiveHold() {
    if (m_conflict != Conflict::None || m_before == Level::Exclusive)
        return;
    try {
        if (m_before == Level::Shared)
            LockShared(); // lowering a lock is never refused
        else
            Unlock();
    } catch (...) {
        Unlock(); // the file went wrong: nothing is held rather than the exclusive lock
    }
}

} // namespace installation
