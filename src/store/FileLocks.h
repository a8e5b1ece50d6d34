#pragma once
// The locks that keep the copies of the program apart, every one taken the
// same way: a record lock on the whole of a file (fcntl's locks of the open
// file), shared through a descriptor open for reading, exclusive through one
// open for writing, and on the descriptor that reads and writes the file
// when the file is a table. So a file server that keeps such locks for
// clients on several computers (and one that makes them binding on reads
// and writes) sees the same locks as the local system.
//
// A lock belongs to the open file, as flock's does: two opens in one process
// are two holders, and the lock goes when the last descriptor of that open
// closes, or when the process ends however it ends. Every result is checked.

#include <QByteArray>

namespace store::locks {

enum class Kind { Shared, Exclusive };

// Takes the lock of this kind on the whole file of the descriptor, or
// changes the one it holds to this kind in one step. Without waiting: 0 when
// it is held, EAGAIN when another holder stands in the way (and what was held
// is still held). Waiting: until it is held. Otherwise the system's error
// number (EBADF: an exclusive lock asked through a descriptor open for
// reading only).
int take(int fd, Kind kind, bool wait);

// Gives the lock back; the system's error number, or 0.
int give(int fd);

// Opens a lock file for writing, making it where it is missing so that every
// user who may write its folder may lock it: the file takes the folder's
// write rights (and its group where the system allows), whatever the umask
// of the copy that makes it. A file that this user made before with fewer
// rights gets them. -1 with errno set when it cannot be opened for writing.
int openForLocking(const QByteArray &path);

} // namespace store::locks
