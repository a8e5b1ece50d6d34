// Consolidations that do not add cells up: the filled rows of list reports
// gathered one after another, and the school counts of the group-1 report.

#include "consolidation/SvodGridLayout.h"
#include "consolidation/SvodInternal.h"
#include "entry/ReportTables.h"
#include "shell/UnitConsts.h"
#include "store/FolderTable.h"

#include <QFileInfo>

#include <array>
#include <functional>
#include <memory>

namespace svod::detail {

using store::TADODataSet;
using store::TField;

namespace {

// The window's layout of the consolidation table being written.
using Layout = std::function<QVector<DataSetModel::Column>()>;

// Runs a write of the value into the field; a value that does not fit stops
// the build, naming the report, the row and the column as the window shows
// it in the table's layout.
template <typename F>
void writeCell(const CatalogueReport &report, const Layout &layout, int row, const TField &field,
               const QString &value, F &&write) {
    try {
        write();
    } catch (const store::StoreError &) {
        const store::FieldDef &def = field.Def();
        throw SvodError(reportPrefix(report) +
                        QStringLiteral("строка %1, %2: значение %3 не помещается")
                            .arg(row)
                            .arg(LayoutColumnInMessage(layout(), def.name), value) +
                        (def.type == 'C' ? QStringLiteral(" (не более %1 знаков).").arg(def.length)
                                         : FieldWidthLimit(def)));
    }
}

bool isCharacter(const TField &f) {
    return f.Def().type == 'C';
}

bool isNumeric(const TField &f) {
    return f.Def().type == 'N' || f.Def().type == 'F';
}

// Copies one value of an organisation's row into the consolidation, as it
// is. Text that is no number where either side keeps numbers is counted and
// named: it is copied as stored when the target field holds text and is wide
// enough, and left empty otherwise.
void copyValue(SvodResult &r, const CatalogueReport &report, const Layout &layout,
               const Organisation &o, int orgRow, int row, const TField &src, TField dst) {
    double v = 0;
    const TField::NumberReading reading = src.ReadNumber(v);
    if (reading == TField::NumberReading::NotNumber && (isNumeric(src) || isNumeric(dst))) {
        bool kept = false;
        if (isCharacter(dst)) {
            try {
                dst.SetAsString(src.StoredText());
                kept = true;
            } catch (const store::StoreError &) {
                // too wide, or not in the table's code page
            }
        }
        if (!kept)
            dst.Clear();
        noteBadCell(r, o, orgRow, dst.FieldName(), src, kept);
        return;
    }
    writeCell(report, layout, row, dst, src.AsString().trimmed(), [&] { dst.SetFrom(src); });
}

} // namespace

SvodResult buildKeyed(const SvodParams &p, RunContext &ctx) {
    SvodResult r;
    r.Kind = SvodKind::Keyed;
    const CatalogueReport &report = p.Report;
    const QString tableName = report.BaseName() + QString::number(ctx.Year);
    r.TargetFolder = svodDir(ctx.ProgramDir, ctx.Year, p.SetNumber);
    r.TargetTable = tableName;
    r.TargetFile = r.TargetFolder + QLatin1Char('/') + tableName + QStringLiteral(".DBF");
    const QString blankFile = existingBlank(blankPathOf(p, ctx.ProgramDir));
    if (blankFile.isEmpty())
        return r;

    TargetWriter writer(ctx, r.TargetFolder, tableName, blankFile);
    TADODataSet &ds = writer.table();
    const Layout layout = [&] { return ReportSvodColumns(TableFieldNames(ds), report, QFont()); };
    const int tKodn = ds.FieldIndex(QStringLiteral("KODN"));
    const int tKodstr = ds.FieldIndex(QStringLiteral("KODSTR"));
    const int tName = ds.FieldIndex(QStringLiteral("NAME"));
    if (tKodn < 0 || tKodstr < 0 || tName < 0)
        throw SvodError(reportPrefix(report) +
                        QStringLiteral("в бланке нет поля KODN, KODSTR или NAME."));

    int n = 0;
    forEachOrganisationTable(p, ctx, r, tableName, [&](const Organisation &o, TADODataSet &org) {
        const int oN1 = org.FieldIndex(QStringLiteral("N1"));
        const int oName = org.FieldIndex(QStringLiteral("NAME"));
        if (oN1 < 0 || oName < 0)
            throw SvodError(reportPrefix(report) +
                            QStringLiteral("в таблице %1 (%2) нет поля %3.")
                                .arg(tableName, o.Name,
                                     oN1 < 0 ? QStringLiteral("N1") : QStringLiteral("NAME")));
        // The data fields that both tables have, N1 to N + KOLSTOLB.
        QVector<std::pair<int, int>> copy; // target field, organisation field
        for (int k = 1; k <= report.ColumnCount; ++k) {
            const QString f = nField(k);
            const int ti = ds.FieldIndex(f), oi = org.FieldIndex(f);
            if (ti >= 0 && oi >= 0)
                copy.push_back({ti, oi});
        }
        for (org.First(); !org.Eof(); org.Next()) {
            // Filled: N1 holds anything, a number or not.
            if (org.Fields(oN1).StoredText().isEmpty())
                continue;
            ++n;
            if (n <= ds.RecordCount()) {
                ds.setRecNo(n);
                ds.Edit();
            } else {
                ds.Append();
            }
            const QString code = n < 10 ? QStringLiteral("0%1").arg(n) : QString::number(n);
            try {
                ds.Fields(tKodstr).SetAsString(code);
                ds.Fields(tKodn).SetAsInteger(n);
            } catch (const store::StoreError &) {
                throw SvodError(reportPrefix(report) +
                                QStringLiteral("номер строки %1 не помещается в поле KODSTR "
                                               "или KODN.")
                                    .arg(n));
            }
            // A name longer than the consolidation's NAME is cut, as report
            // entry and the per-organisation build do.
            const QString text = org.Fields(oName).AsString();
            writeCell(report, layout, n, ds.Fields(tName), text, [&] {
                TField name = ds.Fields(tName);
                if (name.Def().type == 'C' && text.size() > name.Def().length)
                    name.SetAsString(text.left(name.Def().length));
                else
                    name.SetFrom(org.Fields(oName));
            });
            for (const auto &[ti, oi] : copy)
                copyValue(r, report, layout, o, org.RecNo(), n, org.Fields(oi), ds.Fields(ti));
            ds.Post();
        }
    });
    writer.Commit();
    r.Built = true;
    if (!p.Quiet)
        r.Notice = noticeText(QStringLiteral("Нет следующих отчетов: "), r);
    return r;
}

SvodResult buildSchoolCount(const SvodParams &p, RunContext &ctx) {
    SvodResult r;
    r.Kind = SvodKind::SchoolCount;
    const CatalogueReport &report = p.Report;
    const QString tableName = report.BaseName() + QString::number(ctx.Year);
    r.TargetFolder = svodDir(ctx.ProgramDir, ctx.Year, 1);
    r.TargetTable = tableName;
    r.TargetFile = r.TargetFolder + QLatin1Char('/') + tableName + QStringLiteral(".DBF");
    const QString blank = blankPathOf(p, ctx.ProgramDir);
    const QString blankFile = existingBlank(blank);
    if (blankFile.isEmpty())
        return r;

    // F1 over all organisations first, when the catalogue has it and its
    // blank stands beside this one. It is built aside and put in place
    // together with this table, only when both are complete.
    std::optional<SvodResult> f1;
    std::unique_ptr<TargetWriter> f1Writer;
    int f1Record = 0;
    QString f1Blank;
    const QVector<CatalogueReport> catalogue = ReadCatalogue(wedDir(ctx.ProgramDir), ctx.Year);
    for (const CatalogueReport &c : catalogue) {
        if (c.Fail.compare(QLatin1String("F1.DBF"), Qt::CaseInsensitive) != 0)
            continue;
        f1Blank = existingFile(QFileInfo(blankFile).absolutePath(), QStringLiteral("F1.DBF"));
        if (f1Blank.isEmpty())
            break;
        SvodParams fp = p;
        fp.Report = c;
        fp.BlankPath = f1Blank;
        fp.SetNumber = 1;
        fp.Mode = 1;
        f1 = buildGeneral(fp, ctx, &f1Writer);
        f1Record = c.RecNo;
        break;
    }
    if (f1) {
        r.OrgWithData = f1->OrgWithData;
        r.OrgWithoutData = f1->OrgWithoutData;
        r.MissingOrganisations = f1->MissingOrganisations;
        r.BadCellCount = f1->BadCellCount;
        r.FirstBadCells = f1->FirstBadCells;
        r.Notice = f1->Notice;
    }

    TargetWriter writer(ctx, r.TargetFolder, tableName, blankFile);
    TADODataSet &ds = writer.table();
    const Layout layout = [&] { return SchoolCountColumns(TableFieldNames(ds)); };
    constexpr int kRows = 24;
    if (ds.RecordCount() < kRows)
        throw SvodError(reportPrefix(report) +
                        QStringLiteral("в бланке %1 строк, а свод по числу школ заполняет %2.")
                            .arg(ds.RecordCount())
                            .arg(kRows));
    const int n1 = ds.FieldIndex(QStringLiteral("N1"));
    const int n2 = ds.FieldIndex(QStringLiteral("N2"));
    if (n1 < 0 || n2 < 0)
        throw SvodError(reportPrefix(report) + QStringLiteral("в бланке нет поля N1 или N2."));
    auto setN1 = [&](int rec, long long v) {
        ds.setRecNo(rec);
        ds.Edit();
        writeCell(report, layout, rec, ds.Fields(n1), QString::number(v),
                  [&] { ds.Fields(n1).SetAsInteger(v); });
        ds.Post();
    };

    if (f1 && f1->Built) {
        // The finished F1 consolidation, read where it waits to be placed.
        const QFileInfo f1Aside(f1Writer->tableFile());
        store::FolderTable t(f1Aside.absolutePath(), f1->TargetTable);
        if (!t.ds.IsEmpty()) {
            t.ds.First();
            for (int k = 1; k <= 16; ++k)
                setN1(k + 8, integerOf(t.ds, t.ds.FieldByName(nField(k)).Index()));
        }
    }

    // Record 9: the sum of records 10 to 24.
    ExactSum sum;
    for (int rec = 10; rec <= kRows; ++rec) {
        ds.setRecNo(rec);
        if (!ds.Fields(n1).AsString().isEmpty())
            sum.add(integerOf(ds, n1));
    }
    setN1(9, sum.rounded());

    // Shares of record 9, cut to two decimals.
    ds.setRecNo(9);
    const long long base = ds.Fields(n1).AsString().isEmpty() ? 1 : integerOf(ds, n1);
    if (base >= 1)
        for (int rec = 10; rec <= kRows; ++rec) {
            ds.setRecNo(rec);
            if (ds.Fields(n1).AsString().isEmpty())
                continue;
            const double share = TruncTo2Decimals(100.0 * ds.Fields(n1).AsFloat() / double(base));
            ds.Edit();
            writeCell(report, layout, rec, ds.Fields(n2), QString::number(share, 'f', 2),
                      [&] { ds.Fields(n2).SetAsFloat(share); });
            ds.Post();
        }

    // Organisations by school kind (KOD3 1..3) and legal status (KOD4 1..2).
    std::array<std::array<long long, 2>, 3> counts{};
    for (const Organisation &o : ctx.organisations())
        if (o.Kod3 >= 1 && o.Kod3 <= 3 && o.Kod4 >= 1 && o.Kod4 <= 2)
            ++counts[std::size_t(o.Kod3 - 1)][std::size_t(o.Kod4 - 1)];
    for (int kind = 0; kind < 3; ++kind)
        for (int status = 0; status < 2; ++status)
            setN1(3 + kind * 2 + status, counts[std::size_t(kind)][std::size_t(status)]);
    setN1(1, counts[0][0] + counts[1][0] + counts[2][0]);
    setN1(2, counts[0][1] + counts[1][1] + counts[2][1]);

    if (f1Writer)
        TargetWriter::CommitTogether({f1Writer.get(), &writer});
    else
        writer.Commit();
    if (f1Writer)
        ctx.F1Placed = RunContext::PlacedF1{f1Record, f1Blank, *f1};
    r.Built = true;
    return r;
}

} // namespace svod::detail
