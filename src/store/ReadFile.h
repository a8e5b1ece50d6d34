#pragma once
// Reading a file through the system's calls, so that a failure keeps the
// system's error number and tells its reason in Russian
// (store/SystemError.h), as store::SaveFile does for writing.
//
//   store::ReadFile in(path);
//   QByteArray bytes;
//   if (!in.open() || !in.readAll(bytes))
//       ... in.errorString() ...

#include <QByteArray>
#include <QString>

namespace store {

class ReadFile {
public:
    explicit ReadFile(const QString &path);
    ~ReadFile();
    ReadFile(const ReadFile &) = delete;
    ReadFile &operator=(const ReadFile &) = delete;

    // Opens the file for reading. A folder is refused (EISDIR): it is no file.
    bool open();
    // Up to size bytes from where the last read ended: how many (0 at the
    // end of the file), or -1.
    qint64 read(char *data, qint64 size);
    // The rest of the file.
    bool readAll(QByteArray &bytes);
    // The system's error number of the last failure, 0 before any.
    int error() const { return m_error; }
    QString errorString() const;

private:
    bool failed(int err);

    QString m_path;
    int m_fd = -1;
    int m_error = 0;
};

} // namespace store
