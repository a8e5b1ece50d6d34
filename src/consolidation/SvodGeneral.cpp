// Summed (mode 1) and per-organisation (mode 2, FTEMP) consolidation.
//
// Each organisation's report table is opened once: its cells are added into
// sums held in memory (one value per row and summed column), and in mode 2
// its first row is written as the organisation's row. The sums are written
// into the target when every organisation has been read.

#include "consolidation/SvodGridLayout.h"
#include "consolidation/SvodInternal.h"
#include "entry/ReportTables.h"
#include "shell/UnitConsts.h"

#include <memory>
#include <vector>

namespace svod::detail {

using store::TADODataSet;
using store::TField;

namespace {

bool isKeyField(const QString &name) {
    return name.compare(QLatin1String("KODSTR"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String("NAME"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String("KODN"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String("KODPOKAZ"), Qt::CaseInsensitive) == 0;
}

// The data columns a build sums: in the table's field order after the four
// key fields, column k = position - 3, while fewer than KOLSTOLB have been
// summed, those whose switch VKL is 1 or more.
QVector<int> summedColumns(TADODataSet &target, const CatalogueReport &report) {
    QVector<int> cols;
    const QVector<store::FieldDef> &defs = target.FieldDefs();
    for (int i = 0; i < defs.size() && cols.size() < report.ColumnCount; ++i) {
        if (isKeyField(defs[i].name))
            continue;
        const int k = i - 3;
        if (report.ColumnEnabled(k))
            cols << k;
    }
    return cols;
}

// The value does not fit the field: the build stops, naming the column as
// the consolidation window shows it.
[[noreturn]] void refuseValue(TADODataSet &ds, const CatalogueReport &report, const QString &field,
                              const QString &value) {
    const QString column =
        LayoutColumnInMessage(ReportSvodColumns(TableFieldNames(ds), report, QFont()), field);
    throw SvodError(reportPrefix(report) +
                    QStringLiteral("строка %1, %2: значение %3 не помещается")
                        .arg(ds.RecNo())
                        .arg(column, value) +
                    FieldWidthLimit(ds.FieldByName(field).Def()));
}

// Writes a value; one that does not fit its field stops the build.
void writeNumber(TADODataSet &ds, const CatalogueReport &report, const QString &field, double v) {
    try {
        ds.FieldByName(field).SetAsFloat(v);
    } catch (const store::StoreError &) {
        refuseValue(ds, report, field, QString::number(v, 'f', 2));
    }
}

// Writes a sum with every digit it has; one that does not fit stops the build.
void writeSum(TADODataSet &ds, const CatalogueReport &report, const QString &field,
              const ExactSum &v) {
    if (v.tooLarge())
        refuseValue(ds, report, field, QStringLiteral("суммы"));
    const QString text = v.text();
    try {
        ds.FieldByName(field).SetAsString(text);
    } catch (const store::StoreError &) {
        refuseValue(ds, report, field, text);
    }
}

double valueOf(TADODataSet &ds, const char *field) {
    const int i = ds.FieldIndex(QLatin1String(field));
    return i < 0 ? 0.0 : ds.Fields(i).AsFloat();
}

// The percentage columns of a row, by group, from the row's current values.
void writePercentages(TADODataSet &ds, const CatalogueReport &report) {
    auto has = [&](const char *f) { return ds.FieldIndex(QLatin1String(f)) >= 0; };
    switch (report.Group) {
    case 40:
        if (has("N6") && has("N5") && has("N2")) {
            const double d = valueOf(ds, "N2");
            if (d != 0)
                writeNumber(ds, report, QStringLiteral("N6"),
                            TruncTo2Decimals(100.0 * valueOf(ds, "N5") / d));
        }
        break;
    case 4:
    case 5:
    case 39:
        if (has("N14") && has("N13") && has("N1")) {
            const double d = valueOf(ds, "N1");
            writeNumber(ds, report, QStringLiteral("N14"),
                        d != 0 ? TruncTo2Decimals(valueOf(ds, "N13") / d * 100.0) : 0.0);
        }
        break;
    case 7:
        if (has("N17") && has("N16") && has("N2")) {
            const double d = valueOf(ds, "N2");
            writeNumber(ds, report, QStringLiteral("N17"),
                        d != 0 ? TruncTo2Decimals(100.0 * valueOf(ds, "N16") / d) : 0.0);
        }
        break;
    default:
        break;
    }
}

int fieldIndexOrThrow(TADODataSet &ds, const QString &field, const QString &table,
                      const QString &org) {
    const int i = ds.FieldIndex(field);
    if (i < 0)
        throw SvodError(QStringLiteral("В таблице %1 (%2) нет поля %3.").arg(table, org, field));
    return i;
}

} // namespace

SvodResult buildGeneral(const SvodParams &p, RunContext &ctx,
                        std::unique_ptr<TargetWriter> *pending) {
    SvodResult r;
    r.Kind = SvodKind::General;
    const CatalogueReport &report = p.Report;
    const QString blankFile = existingBlank(blankPathOf(p, ctx.ProgramDir));
    const QString base = report.BaseName();
    r.TargetFolder = svodDir(ctx.ProgramDir, ctx.Year, p.SetNumber);
    r.TargetTable = p.Mode == 2 ? QStringLiteral("FTEMP") : base + QString::number(ctx.Year);
    r.TargetFile = r.TargetFolder + QLatin1Char('/') + r.TargetTable + QStringLiteral(".DBF");
    if (blankFile.isEmpty())
        return r;

    auto writer = std::make_unique<TargetWriter>(ctx, r.TargetFolder, r.TargetTable, blankFile);
    // The finished table goes in place, or to the caller that places it.
    auto place = [&] {
        if (pending) {
            writer->Finish();
            *pending = std::move(writer);
        } else {
            writer->Commit();
        }
        r.Built = true;
    };
    TADODataSet &ds = writer->table();
    const QVector<int> cols = summedColumns(ds, report);
    const int rows = ds.RecordCount();
    if (cols.isEmpty()) {
        place();
        return r;
    }
    QStringList colName; // "N" + k of each summed column
    for (int k : cols) {
        colName << nField(k);
        fieldIndexOrThrow(ds, colName.last(), r.TargetTable, QStringLiteral("бланк"));
    }
    QStringList listName; // N1 .. N + KOLSTOLB, the fields of an organisation's row
    for (int k = 1; k <= report.ColumnCount; ++k)
        listName << nField(k);

    // mode 1: every row; mode 2: the first row of each table (the total row).
    const int sumRows = p.Mode == 2 ? 1 : rows;
    std::vector<ExactSum> sums(std::size_t(sumRows) * std::size_t(cols.size()));

    const QString tableName = base + QString::number(ctx.Year);
    // Tables of one layout share their field list: the copy held here keeps
    // it, so that the same list stands for the same fields.
    struct {
        QVector<store::FieldDef> layout;
        std::vector<int> index, offset; // of each summed column
    } places;
    places.index.resize(std::size_t(cols.size()));
    places.offset.resize(std::size_t(cols.size()));
    const bool readsF1 = ctx.isF1Table(tableName);
    forEachOrganisationTable(p, ctx, r, tableName, [&](const Organisation &o, TADODataSet &org) {
        if (readsF1)
            ctx.noteF1Row(o.Kod, org);
        if (p.Mode == 2) {
            // The organisation's row: in the blank's first row for the first
            // organisation of the set, appended for the others.
            if (r.OrgWithData + r.OrgWithoutData == 1) {
                ds.First();
                ds.Edit();
            } else {
                ds.Append();
            }
            ds.FieldByName(QStringLiteral("KODSTR")).SetAsString(QString::number(r.OrgWithData));
            // A name longer than the blank's NAME is cut, as report entry does.
            TField name = ds.FieldByName(QStringLiteral("NAME"));
            name.SetAsString(name.Def().type == 'C' ? o.Name.left(name.Def().length) : o.Name);
            if (!org.IsEmpty())
                org.First();
            for (const QString &f : listName) {
                ExactSum v; // text that is no number gives 0
                if (!org.IsEmpty())
                    v.add(org, fieldIndexOrThrow(org, f, tableName, o.Name));
                writeSum(ds, report, f, v);
            }
            ds.Post();
        }

        // The summed cells are read straight from each record's bytes, at
        // places found once for each layout of the organisations' tables.
        const QVector<store::FieldDef> &orgDefs = org.FieldDefs();
        if (orgDefs.constData() != places.layout.constData()) {
            for (int c = 0; c < cols.size(); ++c) {
                const std::size_t ci = std::size_t(c);
                places.index[ci] = fieldIndexOrThrow(org, colName[c], tableName, o.Name);
                places.offset[ci] = org.FieldOffset(places.index[ci]);
            }
            places.layout = orgDefs;
        }
        const std::vector<int> &orgCol = places.index;
        const std::vector<int> &orgOffset = places.offset;
        // A table with fewer rows than the blank adds nothing to the rows it lacks.
        const int readRows = std::min(sumRows, org.RecordCount());
        int row = 0;
        for (org.First(); row < readRows && !org.Eof(); org.Next(), ++row) {
            ExactSum *rowSums = sums.data() + std::size_t(row) * std::size_t(cols.size());
            const char *rec = org.RecordBytes();
            for (int c = 0; c < cols.size(); ++c) {
                const std::size_t ci = std::size_t(c);
                if (rowSums[c].add(orgDefs[orgCol[ci]], rec + orgOffset[ci]) ==
                    ExactSum::Reading::NotNumber)
                    noteBadCell(r, o, row + 1, colName[c], org.Fields(orgCol[ci]));
            }
        }
    });

    if (p.Mode == 2) {
        ds.Append();
        ds.FieldByName(QStringLiteral("KODSTR"))
            .SetAsString(QString::number(r.OrgWithData + r.OrgWithoutData + 1));
        ds.FieldByName(QStringLiteral("NAME")).SetAsString(QStringLiteral("И Т О Г О"));
        ds.Post();
    } else if (ds.RecordCount() == 1) {
        ds.First();
        ds.Edit();
        ds.FieldByName(QStringLiteral("NAME")).SetAsString(QStringLiteral("И Т О Г О"));
        ds.Post();
    }

    const bool f1Column = (report.Group == 4 || report.Group == 5) && cols.contains(1);
    ExactSum denominator;
    if (f1Column)
        denominator.add(countF1Denominator(ctx, report.Fail, p.SetNumber));
    auto writeRow = [&](int sumRow) {
        ds.Edit();
        const ExactSum *rowSums = sums.data() + std::size_t(sumRow) * std::size_t(cols.size());
        for (int c = 0; c < cols.size(); ++c)
            writeSum(ds, report, colName[c], f1Column && cols[c] == 1 ? denominator : rowSums[c]);
        writePercentages(ds, report);
        ds.Post();
    };
    if (p.Mode == 2) {
        ds.Last();
        writeRow(0);
    } else {
        for (int row = 0; row < sumRows; ++row) {
            ds.setRecNo(row + 1);
            writeRow(row);
        }
    }
    place();
    if (!p.Quiet)
        r.Notice = noticeText(QStringLiteral("Нет следующих отчетов: "), r);
    return r;
}

} // namespace svod::detail
