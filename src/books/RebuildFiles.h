#pragma once
// The file operations of the service's archive and rebuild, one system call
// each, never replacing a file unless the operation says so. Every one
// first passes a probe, so that a test can fail the run at any of them, or
// stop it there as a crash would, and see what is left; so does every
// reading of a folder and every putting of written bytes on the disk.

#include <QByteArray>
#include <QString>
#include <QVector>

#include <functional>

namespace service {

enum class FileStep { MakeFolder, Write, Link, Copy, Rename, Remove, RemoveFolder, List, Sync };

// Called before each step with the path it changes; it may throw. Null (the
// default) observes nothing.
using FileStepProbe = std::function<void(FileStep step, const QString &path)>;
void setFileStepProbe(FileStepProbe probe);

// Tests only: backups are copied as on a file system without hard links.
void setHardLinksForTests(bool on);

namespace files {

// Whether anything stands under the name (a link too, whatever it points to).
bool exists(const QString &path);

// Each throws FileError naming the file and the system's reason.
QByteArray readWhole(const QString &path);

struct Entry {
    QString name;
    bool folder = false; // a folder; else a file (or anything else that is no folder)
};
// What a folder holds (neither "." nor ".."), in name order; nothing when
// the folder does not exist. A folder that exists but cannot be read is an
// error, never an empty folder.
QVector<Entry> listFolder(const QString &path);
void makeFolder(const QString &path); // an existing folder is an error
// Creates the file with these bytes, on the disk when it returns; an
// existing file is an error, and a file it could not write whole is removed.
void writeNew(const QString &path, const QByteArray &bytes);
// Puts what was written to the file, or the names of a folder, on the disk.
void sync(const QString &path);
// A second name for the file (a hard link), or a whole copy where the file
// system has no links; an existing `to` is an error.
void keepCopy(const QString &from, const QString &to);
// Replaces `to` by `from` in one rename(2): `to` names the old file or the
// new one, never nothing.
void replace(const QString &from, const QString &to);
// The same, and `from` removed when it was another name of `to` already.
void putBack(const QString &from, const QString &to);
void remove(const QString &path); // a missing file is no error
void removeFolder(const QString &path);
// CopyFileByStream through the probe (the archive).
void copyOver(const QString &to, const QString &from);

} // namespace files
} // namespace service
