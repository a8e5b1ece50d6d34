#include "shell/UnitConsts.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void CopyFileByStream(const QString &DestName, const QString &SourceName) {
    const QFileInfo src(SourceName);
    const QFileInfo dst(DestName);
    // On a file system that lets us open the same file twice, copying a file
    // onto itself would truncate it before reading: refuse it.
    if (src.exists() && dst.exists() &&
        (src.canonicalFilePath() == dst.canonicalFilePath() ||
         (src.isFile() && dst.isFile() && src.absoluteFilePath() == dst.absoluteFilePath())))
        throw FileError(QStringLiteral("Нельзя скопировать файл сам в себя: %1").arg(SourceName));

    QFile in(SourceName);
    if (!in.open(QIODevice::ReadOnly))
        throw FileError(
            QStringLiteral("Не удалось открыть файл %1: %2").arg(SourceName, in.errorString()));

    // The copy goes to a temporary file beside the destination and replaces
    // it only when complete, so a failure never leaves a partial file.
    QSaveFile out(DestName);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly))
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
        if (out.write(buffer, n) != n)
            throw FileError(
                QStringLiteral("Ошибка записи файла %1: %2").arg(DestName, out.errorString()));
    }
    if (!out.commit())
        throw FileError(
            QStringLiteral("Ошибка записи файла %1: %2").arg(DestName, out.errorString()));
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
    // write ",". Accept either and parse back by hand.
    char *sep = std::strpbrk(text, ".,");
    if (sep) {
        *sep = '.';
        const size_t keep = static_cast<size_t>(sep - text) + 3;
        if (std::strlen(text) > keep)
            text[keep] = '\0';
    }
    // Parse without the locale: integer and fraction digits.
    const bool negative = text[0] == '-';
    const char *p = text + (negative ? 1 : 0);
    double whole = 0;
    while (*p >= '0' && *p <= '9')
        whole = whole * 10 + (*p++ - '0');
    double frac = 0;
    if (*p == '.') {
        ++p;
        int digits = 0;
        long hundredths = 0;
        while (*p >= '0' && *p <= '9' && digits < 2) {
            hundredths = hundredths * 10 + (*p++ - '0');
            ++digits;
        }
        if (digits == 1)
            hundredths *= 10;
        frac = hundredths / 100.0;
    }
    double result = whole + frac;
    return negative ? -result : result;
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
