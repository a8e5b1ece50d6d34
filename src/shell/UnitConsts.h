#pragma once
// Small routines shared by every subsystem.

#include <QString>
#include <QStringList>

#include <stdexcept>

// A file could not be read, created or written.
class FileError : public std::runtime_error {
public:
    explicit FileError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }

private:
    QString m_message;
};

// Throws FileError saying What of the file or folder Path and the system's
// reason for the error number Err ("Не удалось открыть файл F1.DBF: нет
// такого файла или папки").
[[noreturn]] void throwFileError(const QString &What, const QString &Path, int Err);

// Copies SourceName whole onto DestName (destination first). An existing
// destination is replaced. Refuses to copy a file onto itself. The copy goes
// to a temporary file beside the destination and is renamed into place, so a
// failed copy leaves no partial destination. Throws FileError.
void CopyFileByStream(const QString &DestName, const QString &SourceName);
// The same for a file that must be new: a file that stands under DestName,
// also one that another program makes while the copy is written, is never
// replaced; then false, and it is left as it is. Throws FileError.
bool CopyFileToNew(const QString &DestName, const QString &SourceName);

// Cuts X toward zero after the second decimal (12.349 -> 12.34), whatever the
// locale.
double TruncTo2Decimals(double X);

// Exact false: S occurs within an item (case-sensitive; an empty S occurs
// nowhere). Exact true: S equals an item.
bool StrInList(const QString &S, const QStringList &List, bool Exact);
