#pragma once
// Writing a file whole: the bytes go to a temporary file beside it, which
// takes the file's place only when complete, so that a failure or a crash
// never leaves half a file under the file's name. The temporary file is named
// after the file and the process that writes it ("F12016.DBF.kvr4711-1.tmp")
// and locked while it is written; one that a killed write of a table left
// behind is removed the next time this program writes to its folder (a file
// saved there, a record of a table of the folder written), in the
// installation's folders only.
//
//   store::SaveFile out(path);
//   if (!out.open() || !out.write(bytes) || !out.commit())
//       ... out.errorString() ...

#include <QByteArray>
#include <QString>

namespace store {

class SaveFile {
public:
    explicit SaveFile(const QString &path);
    ~SaveFile(); // a temporary file not committed is removed
    SaveFile(const SaveFile &) = delete;
    SaveFile &operator=(const SaveFile &) = delete;

    // Creates the temporary file (a link's target is written, as the link
    // points to it).
    bool open();
    bool write(const char *data, qint64 size);
    bool write(const QByteArray &bytes) { return write(bytes.constData(), bytes.size()); }
    // Puts the bytes on disk and the temporary file in the file's place.
    bool commit();
    // The same for a file that must be new: a file that stands under the name
    // (another program made it meanwhile) is never replaced; then false, with
    // existed() true, and the temporary file goes.
    bool commitNew();
    bool existed() const { return m_existed; }
    QString errorString() const { return m_error; }

private:
    QString m_path;
    QString m_temp;
    int m_fd = -1;
    QString m_error;
    bool m_existed = false;
    bool finish(bool replace);
};

// Writes every byte to the descriptor, again after an interruption; 0, or
// the system's error number (ENOSPC when nothing more could be written).
int writeAll(int fd, const char *data, qint64 size);

// Whether a process of that number runs on this computer (or may: one of
// another user). Leftovers of processes that do not run are removed.
bool processRuns(qint64 pid);

// The installation's folder: leftovers are removed there and in the folders
// below it, never elsewhere (a folder the user chose for sending, say).
// Empty, as it starts: nowhere.
void setLeftoverSweepRoot(const QString &folder);

// Removes from the folder, when it is the installation's, what this program
// can tell is its own: the temporary file of a table ("F12016.DBF.kvr4711-1.tmp",
// whether F12016.DBF stands or its making was cut short) whose process no
// longer runs and that nobody holds locked. Nothing depends on it: what
// cannot be removed stays, and so does any other file, whatever its name.
// Every write runs it; a folder that a sweep left without such a file is
// read again only once it has changed.
void removeLeftoverTempFiles(const QString &folder);

} // namespace store
