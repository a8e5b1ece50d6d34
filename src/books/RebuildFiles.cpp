#include "books/RebuildFiles.h"

#include "shell/UnitConsts.h"
#include "store/ReadFile.h"
#include "store/SaveFile.h"

#include <QDir>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <cerrno>

namespace service {

namespace {

FileStepProbe &probe() {
    static FileStepProbe p;
    return p;
}

bool &hardLinks() {
    static bool on = true;
    return on;
}

void step(FileStep s, const QString &path) {
    if (const FileStepProbe &p = probe())
        p(s, path);
}

QByteArray native(const QString &path) {
    return QFile::encodeName(path);
}

[[noreturn]] void failPair(const QString &what, const QString &from, const QString &to, int err) {
    throwFileError(what, QDir::toNativeSeparators(from) + QStringLiteral(" -> ") + to, err);
}

} // namespace

void setFileStepProbe(FileStepProbe p) {
    probe() = std::move(p);
}

void setHardLinksForTests(bool on) {
    hardLinks() = on;
}

namespace files {

bool exists(const QString &path) {
    struct stat st;
    return ::lstat(native(path).constData(), &st) == 0;
}

QByteArray readWhole(const QString &path) {
    store::ReadFile f(path);
    QByteArray bytes;
    if (!f.open() || !f.readAll(bytes))
        throw FileError(QStringLiteral("Не удалось открыть файл ") +
                        QDir::toNativeSeparators(path) + QStringLiteral(": ") + f.errorString());
    return bytes;
}

QVector<Entry> listFolder(const QString &path) {
    step(FileStep::List, path);
    DIR *dir = ::opendir(native(path).constData());
    if (!dir) {
        if (errno == ENOENT)
            return {};
        throwFileError(QStringLiteral("Не удалось прочитать папку"), path, errno);
    }
    QVector<Entry> entries;
    int err = 0;
    for (;;) {
        errno = 0;
        const dirent *e = ::readdir(dir);
        if (!e) {
            err = errno;
            break;
        }
        const QString name = QFile::decodeName(e->d_name);
        if (name == QStringLiteral(".") || name == QStringLiteral(".."))
            continue;
        bool folder = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN) {
            struct stat st;
            folder = ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                     S_ISDIR(st.st_mode);
        }
        entries.append({name, folder});
    }
    ::closedir(dir);
    if (err != 0)
        throwFileError(QStringLiteral("Не удалось прочитать папку"), path, err);
    std::sort(entries.begin(), entries.end(),
              [](const Entry &a, const Entry &b) { return a.name < b.name; });
    return entries;
}

void makeFolder(const QString &path) {
    step(FileStep::MakeFolder, path);
    if (::mkdir(native(path).constData(), 0777) != 0)
        throwFileError(QStringLiteral("Не удалось создать папку"), path, errno);
}

void writeNew(const QString &path, const QByteArray &bytes) {
    step(FileStep::Write, path);
    const int fd = ::open(native(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        throwFileError(QStringLiteral("Не удалось создать файл"), path, errno);
    // A file not written whole goes: its name never stands for bytes that
    // are not all there.
    auto failWriting = [&](int err) {
        ::unlink(native(path).constData());
        throwFileError(QStringLiteral("Не удалось записать файл"), path, err);
    };
    if (const int err = store::writeAll(fd, bytes.constData(), bytes.size()); err != 0) {
        ::close(fd);
        failWriting(err);
    }
    // On the disk before a rename can put the file in place, so that a
    // power cut never leaves a name on a file without its bytes.
    try {
        step(FileStep::Sync, path);
    } catch (const std::exception &) {
        ::close(fd);
        ::unlink(native(path).constData());
        throw;
    }
    if (::fdatasync(fd) != 0) {
        const int err = errno;
        ::close(fd);
        failWriting(err);
    }
    if (::close(fd) != 0)
        failWriting(errno);
}

void sync(const QString &path) {
    step(FileStep::Sync, path);
    const int fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC);
    const int err = fd < 0 || ::fdatasync(fd) != 0 ? errno : 0;
    if (fd >= 0)
        ::close(fd);
    if (err != 0)
        throwFileError(QStringLiteral("Не удалось записать файл"), path, err);
}

void keepCopy(const QString &from, const QString &to) {
    if (hardLinks()) {
        step(FileStep::Link, to);
        if (::link(native(from).constData(), native(to).constData()) == 0)
            return;
        const int err = errno;
        if (err != EPERM && err != EXDEV && err != EOPNOTSUPP && err != EMLINK && err != ENOSYS)
            failPair(QStringLiteral("Не удалось сохранить копию файла"), from, to, err);
    }
    step(FileStep::Copy, to);
    if (exists(to))
        failPair(QStringLiteral("Не удалось сохранить копию файла"), from, to, EEXIST);
    CopyFileByStream(to, from);
}

void replace(const QString &from, const QString &to) {
    step(FileStep::Rename, to);
    if (::rename(native(from).constData(), native(to).constData()) != 0)
        failPair(QStringLiteral("Не удалось переименовать файл"), from, to, errno);
}

void putBack(const QString &from, const QString &to) {
    replace(from, to);
    // rename(2) leaves both names when they are links to one file.
    if (exists(from))
        remove(from);
}

void remove(const QString &path) {
    step(FileStep::Remove, path);
    if (::unlink(native(path).constData()) != 0 && errno != ENOENT)
        throwFileError(QStringLiteral("Не удалось удалить файл"), path, errno);
}

void removeFolder(const QString &path) {
    step(FileStep::RemoveFolder, path);
    if (::rmdir(native(path).constData()) != 0)
        throwFileError(QStringLiteral("Не удалось удалить папку"), path, errno);
}

void copyOver(const QString &to, const QString &from) {
    step(FileStep::Copy, to);
    CopyFileByStream(to, from);
}

} // namespace files
} // namespace service
