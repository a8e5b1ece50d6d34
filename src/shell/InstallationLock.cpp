#include "shell/InstallationLock.h"

#include "shell/Paths.h"
#include "shell/UnitConsts.h"
#include "store/FileLocks.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace installation {

namespace {

// The one lock of the process: the open lock file, its path, whether it is
// open for writing, and what is held.
struct Held {
    int fd = -1;
    QString path;
    bool writable = false;
    Level level = Level::None;
};

Held &held() {
    static Held h;
    return h;
}

std::function<void()> &pauseHook() {
    static std::function<void()> hook;
    return hook;
}

// A copy's look at start-up takes a listing of WED and a little more: it
// is over well within these attempts.
constexpr int kAttempts = 60;
constexpr std::chrono::milliseconds kPause(50);

bool rightsRefused(int err) {
    return err == EACCES || err == EPERM || err == EROFS;
}

// Opens the lock file of this installation, made where it is missing. Where
// this user may not write it (or make it), a file that stands is opened
// read-only when that is allowed. -1 and the reason in err when it cannot be
// opened.
int openLockFile(const QString &path, bool readOnlyAllowed, bool &writable, int &err) {
    const QByteArray name = QFile::encodeName(path);
    int fd = store::locks::openForLocking(name);
    err = fd < 0 ? errno : 0;
    writable = fd >= 0;
    if (fd < 0 && readOnlyAllowed && rightsRefused(err)) {
        fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno != ENOENT)
            err = errno; // else: the file is missing, and making it was refused
    }
    return fd;
}

// The lock file open for this installation; -1 and the reason in err when
// it cannot be (EACCES when writing is asked of a file open read-only).
int openedLockFile(bool forWriting, int &err) {
    Held &h = held();
    const QString path = LockFilePath();
    if (h.fd >= 0 && (h.path != path || (forWriting && !h.writable && h.level == Level::None)))
        Unlock();
    if (h.fd >= 0) {
        err = forWriting && !h.writable ? EACCES : 0;
        return err == 0 ? h.fd : -1;
    }
    bool writable = false;
    const int fd = openLockFile(path, !forWriting, writable, err);
    if (fd >= 0) {
        h.fd = fd;
        h.path = path;
        h.writable = writable;
    }
    return fd;
}

int lockFile(bool forWriting) {
    int err = 0;
    const int fd = openedLockFile(forWriting, err);
    if (fd < 0 && forWriting && rightsRefused(err))
        throwFileError(QStringLiteral("Не удалось открыть для записи файл блокировки"),
                       LockFilePath(), err);
    if (fd < 0)
        throwFileError(QStringLiteral("Не удалось открыть файл блокировки"), LockFilePath(), err);
    return fd;
}

// One attempt at the lock of this kind; whether it was had. A refused
// attempt keeps what was held.
bool setLock(int fd, store::locks::Kind kind) {
    const int err = store::locks::take(fd, kind, false);
    if (err == EAGAIN)
        return false;
    if (err != 0)
        throwFileError(QStringLiteral("Не удалось заблокировать файл"), held().path, err);
    return true;
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

bool MayLockExclusive() {
    int err = 0;
    if (openedLockFile(true, err) >= 0)
        return true;
    if (rightsRefused(err))
        return false;
    throwFileError(QStringLiteral("Не удалось открыть файл блокировки"), LockFilePath(), err);
}

Conflict LockShared() {
    const Level before = heldHere();
    const int fd = lockFile(false);
    if (!setLock(fd, store::locks::Kind::Shared))
        return refused(before, Conflict::Maintenance); // only an exclusive holder refuses it
    held().level = Level::Shared;
    return Conflict::None;
}

Conflict LockExclusive() {
    const Level before = heldHere();
    const int fd = lockFile(true);
    if (setLock(fd, store::locks::Kind::Exclusive)) {
        held().level = Level::Exclusive;
        return Conflict::None;
    }
    // Who holds it: copies at work hold it shared, a copy rebuilding (or
    // looking as it starts) exclusive.
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

Conflict Patiently(const std::function<Conflict()> &attempt) {
    Conflict conflict = attempt();
    for (int i = 1; conflict == Conflict::Maintenance && i < kAttempts; ++i) {
        if (const std::function<void()> &pause = pauseHook())
            pause();
        else
            std::this_thread::sleep_for(kPause);
        conflict = attempt();
    }
    return conflict;
}

void setPauseForTests(std::function<void()> pause) {
    pauseHook() = std::move(pause);
}

ExclusiveHold::ExclusiveHold()
    : m_before(heldHere()), m_conflict(Patiently([] { return LockExclusive(); })) {}

ExclusiveHold::~ExclusiveHold() {
    if (m_keep || m_conflict != Conflict::None || m_before == Level::Exclusive)
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
