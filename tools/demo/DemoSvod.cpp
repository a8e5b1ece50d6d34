#include "demo/DemoSvod.h"

#include "demo/DemoData.h"
#include "demo/DemoInstall.h"
#include "store/FolderTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace demo {

namespace {

QString slash(const QString &dir) {
    return dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
}

[[noreturn]] void failed(const QString &what) {
    throw std::runtime_error(what.toStdString());
}

// Writes text right-aligned into a field of a record straight in the file's
// bytes, as a program that keeps no decimals in its header might.
void writeRawField(const QString &path, int row, const QString &field, const QByteArray &text) {
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite))
        failed(QStringLiteral("cannot open ") + path);
    const QByteArray head = f.read(32);
    if (head.size() != 32)
        failed(QStringLiteral("short header in ") + path);
    const int headerLen = quint8(head[8]) | (quint8(head[9]) << 8);
    const int recordLen = quint8(head[10]) | (quint8(head[11]) << 8);
    int offset = 1; // the deletion mark
    int length = -1;
    for (int pos = 32; pos + 32 <= headerLen; pos += 32) {
        const QByteArray d = f.read(32);
        if (d.size() != 32 || d[0] == '\r')
            break;
        const QString name = QString::fromLatin1(d.left(11).constData());
        if (name.compare(field, Qt::CaseInsensitive) == 0) {
            length = quint8(d[16]);
            break;
        }
        offset += quint8(d[16]);
    }
    if (length < text.size())
        failed(QStringLiteral("no field %1 wide enough in %2").arg(field, path));
    const QByteArray bytes = QByteArray(length - text.size(), ' ') + text;
    if (!f.seek(qint64(headerLen) + qint64(row - 1) * recordLen + offset) ||
        f.write(bytes) != bytes.size())
        failed(QStringLiteral("cannot write ") + path);
}

} // namespace

int UnnamedOrganisationCode() {
    int top = 0;
    for (const Organisation &o : Organisations())
        top = std::max(top, o.kod);
    return top + 1;
}

FractionalCell DemoFractionalCell() {
    return {1, 2016, QStringLiteral("F29"), 2, QStringLiteral("N3"), QStringLiteral("7.5")};
}

QStringList WriteConsolidationExtras(const QString &ProgramDir) {
    const QString dir = slash(ProgramDir);
    QStringList written;

    // The unnamed organisation: in every set (its signs are all 1), with
    // the report tables of the first organisation that has data.
    const int kod = UnnamedOrganisationCode();
    {
        store::FolderTable school(dir, QStringLiteral("SCHOOL"));
        store::TADODataSet &ds = school.ds;
        ds.Append();
        ds.FieldByName(QStringLiteral("KOD")).SetAsInteger(kod);
        ds.FieldByName(QStringLiteral("KOD1")).SetAsInteger(1);
        ds.FieldByName(QStringLiteral("KOD2")).SetAsInteger(1);
        ds.FieldByName(QStringLiteral("KODCITY")).SetAsInteger(1);
        ds.FieldByName(QStringLiteral("KOD3")).SetAsInteger(1);
        ds.FieldByName(QStringLiteral("KOD4")).SetAsInteger(1);
        ds.FieldByName(QStringLiteral("INN_O")).SetAsString(QStringLiteral("0299999999"));
        ds.Post(); // SCHOOL is among the tables WriteSchool wrote
    }
    const QString target = dir + QStringLiteral("DBF/D") + QString::number(kod) + QLatin1Char('/');
    if (!QDir().mkpath(target))
        failed(QStringLiteral("cannot make ") + target);
    for (int year : {DemoFractionalCell().year}) {
        const QVector<int> withData = OrganisationsWithData(year);
        if (withData.isEmpty())
            continue;
        const QString source =
            dir + QStringLiteral("DBF/D") + QString::number(withData.first()) + QLatin1Char('/');
        const QString suffix = QString::number(year) + QStringLiteral(".DBF");
        for (const QFileInfo &fi : QDir(source).entryInfoList(QDir::Files)) {
            if (!fi.fileName().endsWith(suffix, Qt::CaseInsensitive))
                continue;
            const QString to = target + fi.fileName();
            QFile::remove(to);
            if (!QFile::copy(fi.filePath(), to))
                failed(QStringLiteral("cannot copy ") + fi.filePath());
            written << to;
        }
    }

    const FractionalCell cell = DemoFractionalCell();
    const QString path = dir + QStringLiteral("DBF/D") + QString::number(cell.org) +
                         QLatin1Char('/') + cell.table + QString::number(cell.year) +
                         QStringLiteral(".DBF");
    writeRawField(path, cell.row, cell.field, cell.text.toLatin1());
    return written;
}

} // namespace demo
