#pragma once
// A small installation for the consolidation tests, written table by table
// in a temporary folder: organisations, the catalogue of 2016, blanks and the
// organisations' report tables.

#include "consolidation/SvodEngine.h"
#include "support/TableBuilder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

namespace svodtest {

using testsupport::Record;

constexpr int kYear = 2016;

struct Org {
    int kod;
    QString name;
    int kodcity = 1, kod1 = 0, kod2 = 0, kod3 = 1, kod4 = 1;
};

struct Report {
    QString base;
    int group = 2;
    int columns = 2;          // KOLSTOLB
    QList<int> vkl = {};      // VKL1..; missing ones 1
    QString name = QString(); // NAME; base when empty
};

// Cells of a report table: rows of columns N1..; an empty QVariant leaves
// the cell blank.
using Cells = QList<QList<QVariant>>;

// Puts text into a cell byte for byte, whatever the field's type (a
// numeric field holding "*****", as dBASE writes an overflow).
inline void putRawCell(const QString &file, int row, const QString &field, const QByteArray &text) {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray b = f.readAll();
    auto u16 = [&](int at) { return quint8(b[at]) | (quint8(b[at + 1]) << 8); };
    int offset = 1; // the deletion flag
    for (int d = 32; b[d] != '\r'; d += 32) {
        const int width = quint8(b[d + 16]);
        if (QString::fromLatin1(b.constData() + d).compare(field, Qt::CaseInsensitive) == 0) {
            ASSERT_LE(text.size(), width);
            const int at = u16(8) + (row - 1) * u16(10) + offset;
            b.replace(at, width, text.leftJustified(width, ' '));
            f.seek(0);
            f.write(b);
            return;
        }
        offset += width;
    }
    FAIL() << "no field " << field.toStdString();
}

class Install {
public:
    QTemporaryDir tmp;
    QString root() const { return tmp.path() + QStringLiteral("/"); }
    QString wed() const { return root() + QStringLiteral("WED/"); }
    QString orgDir(int kod) const { return root() + QStringLiteral("DBF/D%1/").arg(kod); }
    QString svodDir(int set) const {
        return root() + QStringLiteral("DBF/S%1%2/").arg(kYear).arg(set);
    }

    Install() {
        QDir(root()).mkpath(QStringLiteral("WED")), QDir(root()).mkpath(QStringLiteral("DBF"));
    }

    void orgs(const QList<Org> &list) {
        QList<Record> recs;
        for (const Org &o : list)
            recs << Record{{"KOD", o.kod},   {"KOD1", o.kod1},       {"NAME", o.name},
                           {"KOD2", o.kod2}, {"KODCITY", o.kodcity}, {"KOD3", o.kod3},
                           {"KOD4", o.kod4}};
        testsupport::writeTable(root(), QStringLiteral("SCHOOL"),
                                {{"KOD", 'N', 6, 0},
                                 {"KOD1", 'N', 2, 0},
                                 {"NAME", 'C', 60, 0},
                                 {"KOD2", 'N', 2, 0},
                                 {"KODCITY", 'N', 2, 0},
                                 {"KOD3", 'N', 2, 0},
                                 {"KOD4", 'N', 2, 0}},
                                recs);
    }

    void catalogue(const QList<Report> &reports) {
        QVector<store::FieldDef> f = {{"KOD", 'N', 3, 0},    {"NAME", 'C', 60, 0},
                                      {"FORMA", 'C', 20, 0}, {"FAIL", 'C', 12, 0},
                                      {"GRUPPA", 'N', 3, 0}, {"KOLSTOLB", 'N', 3, 0}};
        for (int i = 1; i <= 28; ++i)
            f << store::FieldDef{QStringLiteral("NAM%1").arg(i), 'C', 20, 0}
              << store::FieldDef{QStringLiteral("VKL%1").arg(i), 'N', 2, 0};
        QList<Record> recs;
        int kod = 0;
        for (const Report &r : reports) {
            Record rec{{"KOD", ++kod},      {"NAME", r.name.isEmpty() ? r.base : r.name},
                       {"FORMA", r.base},   {"FAIL", r.base + QStringLiteral(".DBF")},
                       {"GRUPPA", r.group}, {"KOLSTOLB", r.columns}};
            for (int i = 1; i <= 28; ++i) {
                rec << qMakePair(QStringLiteral("NAM%1").arg(i),
                                 QVariant(QStringLiteral("Гр;%1").arg(i)));
                rec << qMakePair(QStringLiteral("VKL%1").arg(i),
                                 QVariant(i <= r.vkl.size() ? r.vkl[i - 1] : 1));
            }
            recs << rec;
        }
        testsupport::writeTable(wed(), QStringLiteral("OTHE%1").arg(kYear), f, recs);
    }

    // A blank: KODSTR, NAME, KODN, KODPOKAZ, then N1..Ncolumns.
    void blank(const QString &base, int rows, int columns, char type = 'N', int length = 10,
               int decimals = 0, int kodstrWidth = 4, int nameWidth = 60) {
        QVector<store::FieldDef> f = {{"KODSTR", 'C', kodstrWidth, 0},
                                      {"NAME", 'C', nameWidth, 0},
                                      {"KODN", 'N', 4, 0},
                                      {"KODPOKAZ", 'C', 10, 0}};
        for (int k = 1; k <= columns; ++k)
            f << store::FieldDef{QStringLiteral("N%1").arg(k), type, length, decimals};
        QList<Record> recs;
        for (int r = 1; r <= rows; ++r)
            recs << Record{{"KODSTR", QString::number(r)},
                           {"NAME", QStringLiteral("Строка %1").arg(r)},
                           {"KODN", r}};
        testsupport::writeTable(wed(), base, f, recs);
    }

    // The organisation's report table: a copy of the blank with the cells.
    void table(int kod, const QString &base, const Cells &cells, int year = kYear) {
        QDir().mkpath(orgDir(kod));
        const QString table = base + QString::number(year);
        const QString path = orgDir(kod) + table + QStringLiteral(".DBF");
        QFile::remove(path);
        ASSERT_TRUE(QFile::copy(wed() + base + QStringLiteral(".DBF"), path));
        testsupport::OpenTable t(orgDir(kod), table);
        while (t.ds.RecordCount() > cells.size()) {
            t.ds.Last();
            t.ds.Delete();
        }
        for (int r = 1; r <= cells.size(); ++r) {
            if (r > t.ds.RecordCount()) {
                t.ds.Append();
                t.ds.Post();
            }
            for (int c = 1; c <= cells[r - 1].size(); ++c)
                if (cells[r - 1][c - 1].isValid())
                    t.set(r, QStringLiteral("N%1").arg(c), cells[r - 1][c - 1]);
        }
    }

    svod::CatalogueReport report(int recNo) const {
        const QVector<svod::CatalogueReport> all = svod::ReadCatalogue(wed(), kYear);
        return all.at(recNo - 1);
    }

    svod::SvodParams params(int recNo, int set = 1, int mode = 1) const {
        svod::SvodParams p;
        p.ProgramDir = root();
        p.Year = kYear;
        p.Report = report(recNo);
        p.SetNumber = set;
        p.Mode = mode;
        p.ProgramKind = 1;
        return p;
    }

    // What builds left beside the tables of a set's folder (the folders
    // where tables were built aside).
    QStringList leftAside(int set) const {
        return QDir(svodDir(set))
            .entryList({QStringLiteral(".svodbuild*")}, QDir::AllEntries | QDir::Hidden);
    }

    QVariant cell(const QString &folder, const QString &table, int row,
                  const QString &field) const {
        return testsupport::readCell(folder, table, row, field);
    }
    double num(int set, const QString &table, int row, const QString &field) const {
        return cell(svodDir(set), table, row, field).toDouble();
    }
    QString text(int set, const QString &table, int row, const QString &field) const {
        return cell(svodDir(set), table, row, field).toString().trimmed();
    }
};

// Records the progress steps of a build.
struct ProgressLog : svod::SvodProgress {
    QList<QPair<int, int>> steps;
    void Step(int position, int maximum) override { steps << qMakePair(position, maximum); }
};

} // namespace svodtest
