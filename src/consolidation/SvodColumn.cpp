// By-column consolidation: one data column of every organisation of a set
// side by side, with a total, in an in-memory table.

#include "consolidation/SvodGridLayout.h"
#include "consolidation/SvodInternal.h"
#include "entry/ReportTables.h"
#include "store/FolderTable.h"

#include <memory>
#include <vector>

namespace svod::detail {

using store::FieldDef;
using store::TADODataSet;

namespace {

constexpr int kTextWidth = 15;

} // namespace

SvodResult buildColumn(const SvodParams &p, RunContext &ctx) {
    SvodResult r;
    r.Kind = SvodKind::Column;
    const CatalogueReport &report = p.Report;
    const QString wed = wedDir(ctx.ProgramDir);
    r.TargetFolder = wed.chopped(1);
    r.TargetTable = QStringLiteral("TEMPSVOD");
    r.TargetFile = wed + QStringLiteral("TEMPSVOD.DBF");
    const QString blankFile = existingBlank(blankPathOf(p, ctx.ProgramDir));
    if (blankFile.isEmpty())
        return r;
    const QString column = nField(p.Column);
    for (const Organisation &o : ctx.organisations())
        if (OrganisationInSet(o, p.SetNumber, ctx.ProgramKind)) {
            r.OrgNames << o.Name;
            r.OrgCodes << o.Kod;
        }
    const int n = int(r.OrgCodes.size());

    // The scratch copy of the blank that the window removes when it closes,
    // held from its making until it has been read.
    auto scratch = std::make_unique<ScratchTable>(r.TargetFile, blankFile);
    buildStep(BuildStep::ScratchMade, r.TargetFile);

    // The blank's rows.
    store::FolderTable blankTable(r.TargetFolder, r.TargetTable);
    TADODataSet &b = blankTable.ds;
    const int rows = b.RecordCount();
    QStringList kodstr, names;
    QVector<long long> kodn;
    const int bKodstr = b.FieldIndex(QStringLiteral("KODSTR"));
    const int bKodn = b.FieldIndex(QStringLiteral("KODN"));
    const int bName = b.FieldIndex(QStringLiteral("NAME"));
    for (b.First(); !b.Eof(); b.Next()) {
        kodstr << (bKodstr < 0 ? QString() : b.Fields(bKodstr).AsString());
        kodn << (bKodn < 0 ? 0 : b.Fields(bKodn).AsInteger());
        names << (bName < 0 ? QString() : b.Fields(bName).AsString());
    }
    const QVector<FieldDef> blankDefs = b.FieldDefs();
    blankTable.ds.Close();
    blankTable.con.Close();
    scratch.reset();

    // Values by organisation, then row: each organisation's table read once.
    std::vector<ExactSum> values(std::size_t(n) * std::size_t(rows));
    const QString tableName = report.BaseName() + QString::number(ctx.Year);
    for (int k = 0; k < n; ++k) {
        if (p.Progress)
            p.Progress->Step(k, n);
        Organisation o;
        o.Kod = r.OrgCodes[k];
        o.Name = r.OrgNames[k];
        TADODataSet org;
        if (!ctx.openOrgTable(o, tableName, org)) {
            ++r.OrgWithoutData;
            r.MissingOrganisations << o.Name;
            continue;
        }
        const int f = org.FieldIndex(column);
        if (f < 0)
            throw SvodError(
                reportPrefix(report) +
                QStringLiteral("в таблице %1 (%2) нет поля %3.").arg(tableName, o.Name, column));
        ++r.OrgWithData;
        ExactSum *col = values.data() + std::size_t(k) * std::size_t(rows);
        // Rows the organisation's table lacks stay 0.
        int row = 0;
        for (org.First(); row < rows && !org.Eof(); org.Next(), ++row)
            if (col[row].add(org, f) == ExactSum::Reading::NotNumber)
                noteBadCell(r, o, row + 1, column, org.Fields(f));
    }
    if (p.Progress)
        p.Progress->Step(n, n);

    auto table = std::make_shared<TADODataSet>();
    for (const FieldDef &d : blankDefs) {
        table->AddFieldDef(d);
        if (d.name.compare(column, Qt::CaseInsensitive) == 0)
            r.ColumnDecimals = d.decimals;
    }
    table->AddFieldDef({QStringLiteral("TOTAL"), 'C', kTextWidth, 0});
    for (int k = 1; k <= n; ++k)
        table->AddFieldDef({QStringLiteral("NNN%1").arg(k), 'C', kTextWidth, 0});
    table->CreateDataSet();
    const int tTotal = table->FieldIndex(QStringLiteral("TOTAL"));
    // The column as the consolidation window names it.
    const QString shownColumn =
        ColumnInMessage(CaptionText(report.ColumnCaption(p.Column)), column);
    const int tFirst = tTotal + 1;
    auto fit = [&](const ExactSum &v, int row, const QString &what) {
        const QString text = v.tooLarge() ? QStringLiteral("...") : v.text();
        if (v.tooLarge() || text.size() > kTextWidth)
            throw SvodError(reportPrefix(report) +
                            QStringLiteral("строка %1, %2: число %3 длиннее %4 знаков.")
                                .arg(row)
                                .arg(what, text)
                                .arg(kTextWidth));
        return text;
    };
    for (int row = 0; row < rows; ++row) {
        table->Append();
        if (bKodstr >= 0)
            table->Fields(bKodstr).SetAsString(kodstr[row]);
        if (bKodn >= 0)
            table->Fields(bKodn).SetAsInteger(kodn[row]);
        if (bName >= 0)
            table->Fields(bName).SetAsString(names[row]);
        ExactSum total;
        for (int k = 0; k < n; ++k) {
            const ExactSum &v = values[std::size_t(k) * std::size_t(rows) + std::size_t(row)];
            total.add(v);
            table->Fields(tFirst + k)
                .SetAsString(
                    fit(v, row + 1, QStringLiteral("\"%1\" (%2)").arg(r.OrgNames[k], shownColumn)));
        }
        table->Fields(tTotal).SetAsString(
            fit(total, row + 1, QStringLiteral("итог (%1)").arg(shownColumn)));
        table->Post();
    }
    table->First();
    r.ColumnTable = std::move(table);
    r.Built = true;
    if (!p.Quiet)
        r.Notice = noticeText(QStringLiteral("Нет следующих отчетов:"), r);
    return r;
}

} // namespace svod::detail
