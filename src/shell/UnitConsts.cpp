#include "shell/UnitConsts.h"

#include "store/ReadFile.h"
#include "store/SaveFile.h"
#include "store/SystemError.h"

#include <QDir>
#include <QFileInfo>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

void throwFileError(const QString &What, const QString &Path, int Err) {
    throw FileError(What + QStringLiteral(" ") + QDir::toNativeSeparators(Path) +
                    QStringLiteral(": ") + store::systemErrorText(Err));
}

namespace {

// Copies SourceName whole to a temporary file beside DestName, which then
// takes DestName: over a file that stands there (replace), or only where
// none does. False when a file stood there and was kept.
bool copyThroughTemporary(const QString &DestName, const QString &SourceName, bool replace) {
    store::ReadFile in(SourceName);
    if (!in.open())
        throw FileError(
            QStringLiteral("Не удалось открыть файл %1: %2").arg(SourceName, in.errorString()));

    // The copy goes to a temporary file beside the destination and takes its
    // name only when complete, so a failure never leaves a partial file.
    store::SaveFile out(DestName);
    if (!out.open())
        throw FileError(
            QStringLiteral("Не удалось создать файл %1: %2").arg(DestName, out.errorString()));
    char buffer[64 * 1024];
    for (;;) {
        const qint64 n = in.read(buffer, sizeof buffer);
        if (n < 0)
            throw FileError(
                QStringLiteral("Ошибка чтения файла %1: %2").arg(SourceName, in.errorString()));
        if (n == 0)
            break;
        if (!out.write(buffer, n))
            throw FileError(
                QStringLiteral("Ошибка записи файла %1: %2").arg(DestName, out.errorString()));
    }
    if (replace ? out.commit() : out.commitNew())
        return true;
    if (!replace && out.existed())
        return false;
    throw FileError(QStringLiteral("Ошибка записи файла %1: %2").arg(DestName, out.errorString()));
}

} // namespace

void CopyFileByStream(const QString &DestName, const QString &SourceName) {
    const QFileInfo src(SourceName);
    const QFileInfo dst(DestName);
    // On a file system that lets us open the same file twice, copying a file
    // onto itself would truncate it before reading: refuse it.
    if (src.exists() && dst.exists() &&
        (src.canonicalFilePath() == dst.canonicalFilePath() ||
         (src.isFile() && dst.isFile() && src.absoluteFilePath() == dst.absoluteFilePath())))
        throw FileError(QStringLiteral("Нельзя скопировать файл сам в себя: %1").arg(SourceName));
    copyThroughTemporary(DestName, SourceName, true);
}

bool CopyFileToNew(const QString &DestName, const QString &SourceName) {
    return copyThroughTemporary(DestName, SourceName, false);
}

double TruncTo2Decimals(double X) {
    if (!std::isfinite(X))
        return X;
    // The general text form with 15 significant digits, as the percentage
    // columns have always been cut: 100 * 0.29 prints as 29, not 28.99.
    char text[64];
    std::snprintf(text, sizeof text, "%.15G", X);
    if (std::strchr(text, 'E')) {
        // Exponential form: either a magnitude of 1e15 or more, which has no
        // decimals worth keeping, or one below 1e-4, which cuts to zero.
        return std::fabs(X) < 1.0 ? 0.0 : std::trunc(X);
    }
    // snprintf writes "." in the C locale; under another LC_NUMERIC it may
    // write ",". Accept either.
    char *sep = std::strpbrk(text, ".,");
    if (sep) {
        *sep = '.';
        const size_t keep = static_cast<size_t>(sep - text) + 3;
        if (std::strlen(text) > keep)
            text[keep] = '\0';
    }
    // Read the cut text back exactly (from_chars ignores the locale), so that
    // 1.149 gives the same double as the literal 1.14, not one a unit off.
    double result = 0;
    const char *end = text + std::strlen(text);
    const auto r = std::from_chars(text, end, result);
    if (r.ec != std::errc() || r.ptr != end)
        return std::trunc(X);
    // A value cut to zero from below is 0, not -0 (which prints as "-0").
    return result == 0 ? 0.0 : result;
}

bool StrInList(const QString &S, const QStringList &List, bool Exact) {
    for (const QString &item : List) {
        if (Exact) {
            if (item == S)
                return true;
        } else if (!S.isEmpty() && item.contains(S, Qt::CaseSensitive)) {
            return true;
        }
    }
    return false;
}
