#pragma once
// The lock on the installation that keeps the copies of the program apart
// from a step that replaces many tables at once.
//
// Every running copy holds the lock shared for its whole life (taken at
// start-up). The rebuild of the report tables, and the putting right of a
// rebuild that was cut short, hold it exclusive: they run only while no
// other copy runs, and no copy starts while they run. A copy that starts
// holds it exclusive for a moment, while it looks for a rebuild cut short;
// whoever an exclusive holder refuses tries again for a moment (Patiently)
// before taking the refusal for a rebuild under way. Beyond that moment
// nobody waits for the lock: whoever cannot have it is told why.
//
// The lock is a record lock on the whole of the file WED\KVR.LCK
// (store/FileLocks.h), dropped by the system when the process ends however
// it ends. The file is never removed; it is made so that every user who may
// write the period folder may lock it, and a user who may only read it
// takes the shared lock read-only. A process holds one lock at a time:
// raising it to exclusive and lowering it back to shared each happen in one
// step, and a raise that is refused leaves the shared lock held.
//
//   installation::ExclusiveHold hold;
//   if (hold.conflict() != installation::Conflict::None)
//       ... refuse, saying why ...

#include <QString>

#include <functional>

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

// Whether this user may hold the lock exclusive: the lock file opens (or is
// made) for writing. False where the system refuses it for want of rights;
// FileError, naming the file and the reason, for any other failure.
bool MayLockExclusive();

// Takes the lock shared, or lowers an exclusive one to shared; never waits.
// Opens the file read-only where this user may not write it. Throws
// FileError when the lock file can be neither opened nor made, or the
// system refuses the lock for another reason than another holder.
Conflict LockShared();
// Takes the lock exclusive, or raises a shared one; never waits. When it is
// refused, what was held stays held. Throws FileError as LockShared, and
// where this user may not open the file for writing.
Conflict LockExclusive();
// Drops the lock (as the end of the process does).
void Unlock();

// Runs the attempt until no copy's exclusive hold refuses it, for a moment
// at most: a copy's look at start-up ends in that time, a rebuild does not.
// Gives the last attempt's answer.
Conflict Patiently(const std::function<Conflict()> &attempt);
// Tests: what is done between two attempts instead of pausing (null: pause).
void setPauseForTests(std::function<void()> pause);

// Holds the lock exclusive (Patiently) for its life and then gives back what
// the process held before: the shared lock, or none.
class ExclusiveHold {
public:
    // Throws FileError as LockExclusive.
    ExclusiveHold();
    ~ExclusiveHold();
    ExclusiveHold(const ExclusiveHold &) = delete;
    ExclusiveHold &operator=(const ExclusiveHold &) = delete;

    Conflict conflict() const { return m_conflict; }
    // The lock stays exclusive after the hold, until the process ends: what
    // the hold leaves must not be worked on by any copy before the next
    // start of the program has put it right.
    void keepToTheEnd() { m_keep = true; }

private:
    Level m_before;
    Conflict m_conflict;
    bool m_keep = false;
};

} // namespace installation
