#include "store/Dataset.h"

#include "store/DbfTable.h"
#include "store/ReadFile.h"
#include "store/SaveFile.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace store {

using detail::localPath;

void DbfFile::create(const QString &path, const QVector<FieldDef> &fields) {
    QVector<FieldDef> defs = fields;
    for (FieldDef &d : defs) {
        d.name = d.name.trimmed().toUpper();
        if (d.type != 'N' && d.type != 'F')
            d.decimals = 0;
    }
    detail::DbfTable::checkDefs(defs, true);
    const int n = int(defs.size());
    const int headerLen = 32 + 32 * n + 1;
    int recLen = 1;
    for (const FieldDef &d : defs)
        recLen += d.length;
    QByteArray bytes(headerLen + 1, '\0');
    auto *h = reinterpret_cast<unsigned char *>(bytes.data());
    const QDate today = QDate::currentDate();
    h[0] = 0x03;
    h[1] = static_cast<unsigned char>(std::clamp(today.year() - 1900, 0, 255));
    h[2] = static_cast<unsigned char>(today.month());
    h[3] = static_cast<unsigned char>(today.day());
    h[8] = headerLen & 0xFF;
    h[9] = (headerLen >> 8) & 0xFF;
    h[10] = recLen & 0xFF;
    h[11] = (recLen >> 8) & 0xFF;
    h[29] = 0xC9; // language driver: Russian Windows (CP1251), so other readers decode the text
    int offset = 1;
    for (int i = 0; i < n; ++i) {
        unsigned char *d = h + 32 + 32 * i;
        const QByteArray name = defs[i].name.toLatin1();
        std::memcpy(d, name.constData(), std::size_t(name.size()));
        d[11] = static_cast<unsigned char>(defs[i].type);
        d[12] = offset & 0xFF;
        d[13] = (offset >> 8) & 0xFF;
        d[16] = static_cast<unsigned char>(defs[i].length);
        d[17] = static_cast<unsigned char>(defs[i].decimals);
        offset += defs[i].length;
    }
    h[headerLen - 1] = 0x0D;
    h[headerLen] = 0x1A;
    SaveFile f(localPath(path));
    if (!f.open() || !f.write(bytes) || !f.commit())
        throw StoreError(
            QStringLiteral("Не удалось создать таблицу %1: %2").arg(path, f.errorString()));
}

QVector<FieldDef> DbfFile::fieldsOf(const QString &path) {
    ReadFile f(localPath(path));
    QByteArray bytes;
    if (!f.open() || !f.readAll(bytes))
        throw StoreError(
            QStringLiteral("Не удалось открыть файл %1: %2").arg(path, f.errorString()));
    return detail::DbfTable::parse(bytes.constData(), std::size_t(bytes.size()), path)->defs();
}

QString findFileCaseInsensitive(const QString &folder, const QString &fileName) {
    if (fileName.isEmpty())
        return QString();
    const QString dirPath = localPath(folder);
    const QDir dir(dirPath.isEmpty() ? QStringLiteral(".") : dirPath);
    const QString exact = dir.filePath(fileName);
    if (QFileInfo(exact).isFile())
        return exact;
    const QStringList entries =
        dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &e : entries)
        if (e.compare(fileName, Qt::CaseInsensitive) == 0)
            return dir.filePath(e);
    return QString();
}

bool fileExistsCaseInsensitive(const QString &folder, const QString &fileName) {
    return !findFileCaseInsensitive(folder, fileName).isEmpty();
}

} // namespace store
