#pragma once
// The lock on the installation that keeps the copies of the program apart
// from a step that replaces many tables at once.
//
// Every running copy holds the lock shared for its whole life (taken at
// start-up). The rebuild of the report tables, and the putting right of a
// rebuild that was cut short, hold it exclusive: they run only while no
// other copy runs, and no copy starts while they run. Neither side ever
// waits for the lock: whoever cannot have it is told why.
//
// The lock is a lock on the whole of the file WED\KVR.LCK, taken on the
// open file (as flock does, so two opens in one process are two holders
// too) and dropped by the system when the process ends however it ends. The
// file is never removed. A process holds one lock at a time: raising it to
// exclusive and lowering it back to shared each happen in one step, and a
// raise that is refused leaves the shared lock held.
//
//   installation::ExclusiveHold hold;
//   if (hold.conflict() != installation::Conflict::None)
//       ... refuse, saying why ...

#include <QString>

namespace installation {

// The lock file of the installation of the program folder.
QString LockFilePath();

// Who keeps the lock from being taken.
enum class Conflict {
    None,        // taken
    OtherCopies, // other copies hold it shared: they are at work
    Maintenance, // another copy holds it exclusive
};

enum class Level { None, Shared, Exclusive };

// The lock this process holds on the installation of the program folder.
Level HeldLevel();

// Takes the lock shared, or lowers an exclusive one to shared; never waits.
// Throws FileError when the lock file cannot be opened or locked.
Conflict LockShared();
// Takes the lock exclusive, or raises a shared one; never waits. When it is
// refused, what was held stays held. Throws FileError as LockShared.
Conflict LockExclusive();
// Drops the lock (as the end of the process does).
void Unlock();

// Holds the lock exclusive for its life and then gives back what the process
// held before: the shared lock, or none.
class ExclusiveHold {
public:
    // Throws FileError as LockExclusive.
    ExclusiveHold();
    ~ExclusiveHold();
    ExclusiveHold(const ExclusiveHold &) = delete;
    ExclusiveHold &operator=(const ExclusiveHold &) = delete;

    Conflict conflict() const { return m_conflict; }

private:
    Level m_before;
    Conflict m_conflict;
};

} // namespace installation
