#include "consolidation/SvodEngine.h"

#include "consolidation/SvodInternal.h"
#include "entry/EditReportUnit_Zap.h"
#include "shell/Paths.h"
#include "shell/UnitConsts.h"
#include "store/ExceptionText.h"
#include "store/FolderTable.h"

#include <QDir>
#include <QFileInfo>

namespace svod {

using store::TADODataSet;

// ---------------------------------------------------------------- catalogue

QString CatalogueReport::BaseName() const {
    return Fail.section(QLatin1Char('.'), 0, 0);
}

bool CatalogueReport::ColumnEnabled(int k) const {
    return k >= 1 && k <= ColumnSwitches.size() && ColumnSwitches[k - 1] >= 1;
}

QString CatalogueReport::ColumnCaption(int k) const {
    return k >= 1 && k <= ColumnCaptions.size() ? ColumnCaptions[k - 1] : QString();
}

namespace {

int intField(TADODataSet &ds, const QString &name) {
    const int i = ds.FieldIndex(name);
    return i < 0 ? 0 : ds.Fields(i).AsInteger();
}

QString textField(TADODataSet &ds, const QString &name) {
    const int i = ds.FieldIndex(name);
    return i < 0 ? QString() : ds.Fields(i).AsString();
}

constexpr int kCatalogueColumns = 28;

} // namespace

CatalogueReport ReadCatalogueReport(TADODataSet &Catalogue) {
    CatalogueReport r;
    r.RecNo = Catalogue.RecNo();
    r.Kod = intField(Catalogue, QStringLiteral("KOD"));
    r.Name = textField(Catalogue, QStringLiteral("NAME"));
    r.Fail = textField(Catalogue, QStringLiteral("FAIL")).trimmed();
    r.Group = intField(Catalogue, QStringLiteral("GRUPPA"));
    r.ColumnCount = intField(Catalogue, QStringLiteral("KOLSTOLB"));
    for (int k = 1; k <= kCatalogueColumns; ++k) {
        r.ColumnCaptions << textField(Catalogue, QStringLiteral("NAM%1").arg(k));
        r.ColumnSwitches << intField(Catalogue, QStringLiteral("VKL%1").arg(k));
    }
    return r;
}

QVector<CatalogueReport> ReadCatalogue(const QString &WedDir, int Year) {
    const QString file = QStringLiteral("OTHE%1.DBF").arg(Year);
    if (detail::existingFile(WedDir, file).isEmpty())
        throw SvodError(QStringLiteral("Нет БД ") + file);
    store::FolderTable catalogue(WedDir, QStringLiteral("OTHE%1").arg(Year));
    TADODataSet &ds = catalogue.ds;
    QVector<CatalogueReport> out;
    for (ds.First(); !ds.Eof(); ds.Next())
        out << ReadCatalogueReport(ds);
    return out;
}

// ---------------------------------------------------------------- organisations and sets

QVector<Organisation> ReadOrganisations(const QString &ProgramDir) {
    const QString dir = detail::programDirOf(ProgramDir);
    if (detail::existingFile(dir, QStringLiteral("SCHOOL.DBF")).isEmpty())
        throw SvodError(QStringLiteral("Нет таблицы организаций SCHOOL.DBF в папке программы."));
    store::FolderTable school(dir, QStringLiteral("SCHOOL"));
    TADODataSet &ds = school.ds;
    const int iKod = ds.FieldIndex(QStringLiteral("KOD"));
    const int iName = ds.FieldIndex(QStringLiteral("NAME"));
    const int iCity = ds.FieldIndex(QStringLiteral("KODCITY"));
    int iSign[4];
    for (int s = 0; s < 4; ++s)
        iSign[s] = ds.FieldIndex(QStringLiteral("KOD%1").arg(s + 1));
    auto num = [&](int i) { return i < 0 ? 0 : ds.Fields(i).AsInteger(); };
    QVector<Organisation> out;
    out.reserve(ds.RecordCount());
    for (ds.First(); !ds.Eof(); ds.Next()) {
        Organisation o;
        o.Kod = num(iKod);
        o.Name = iName < 0 ? QString() : ds.Fields(iName).AsString();
        o.KodCity = num(iCity);
        o.Kod1 = num(iSign[0]);
        o.Kod2 = num(iSign[1]);
        o.Kod3 = num(iSign[2]);
        o.Kod4 = num(iSign[3]);
        out << o;
    }
    return out;
}

bool OrganisationInSet(const Organisation &Org, int SetNumber, int ProgramKind) {
    const bool k105 = ProgramKind == 105;
    switch (SetNumber) {
    case 1:
        return true;
    case 2:
        return Org.KodCity == 1;
    case 3:
        return Org.KodCity == 2;
    case 4:
        return Org.KodCity == 3;
    case 5:
        return k105 ? Org.KodCity == 4 : Org.Kod1 == 1;
    case 6:
        return k105 ? Org.Kod1 == 1 : Org.Kod2 == 1;
    case 7:
        return k105 ? Org.Kod2 == 1 : Org.Kod3 == 1;
    case 8:
        return k105 ? Org.Kod3 == 1 : Org.Kod4 == 1;
    default:
        return false;
    }
}

bool OrganisationInSet(TADODataSet &School, int SetNumber, int ProgramKind) {
    Organisation o;
    o.KodCity = intField(School, QStringLiteral("KODCITY"));
    o.Kod1 = intField(School, QStringLiteral("KOD1"));
    o.Kod2 = intField(School, QStringLiteral("KOD2"));
    o.Kod3 = intField(School, QStringLiteral("KOD3"));
    o.Kod4 = intField(School, QStringLiteral("KOD4"));
    return OrganisationInSet(o, SetNumber, ProgramKind);
}

bool IsColumnSvodGroup(int Group) {
    return Group == 1 || (Group >= 8 && Group <= 38) || Group == 47 || Group == 51;
}

bool IsColumnSvodGroup(TADODataSet &Catalogue) {
    return IsColumnSvodGroup(intField(Catalogue, QStringLiteral("GRUPPA")));
}

IncludedOrganisations ListIncludedOrganisations(const QString &ProgramDir, int SetNumber,
                                                int ProgramKind) {
    IncludedOrganisations out;
    for (const Organisation &o : ReadOrganisations(ProgramDir))
        if (OrganisationInSet(o, SetNumber, ProgramKind)) {
            out.Names << o.Name;
            out.Codes << o.Kod;
        }
    return out;
}

QString DescribeBadCell(const BadCell &Cell, bool WithReport) {
    QString text = Cell.Organisation;
    text += WithReport ? QStringLiteral(", отчет \"%1\", ").arg(Cell.Report) : QStringLiteral(": ");
    return text +
           QStringLiteral("строка %1, графа %2: \"%3\"").arg(Cell.Row).arg(Cell.Field, Cell.Text);
}

// ---------------------------------------------------------------- shared pieces

namespace {
BuildStepHook &stepHook() {
    static BuildStepHook hook;
    return hook;
}
} // namespace

void SetBuildStepHook(BuildStepHook Hook) {
    stepHook() = std::move(Hook);
}

namespace detail {

void buildStep(BuildStep Step, const QString &File) {
    if (const BuildStepHook &hook = stepHook())
        hook(Step, File);
}

QString nField(int k) {
    static const QStringList names = [] {
        QStringList n;
        for (int i = 0; i <= 255; ++i) // a dBASE table has at most 255 fields
            n << QStringLiteral("N%1").arg(i);
        return n;
    }();
    return k >= 0 && k < names.size() ? names[k] : QStringLiteral("N%1").arg(k);
}

QString withSlash(const QString &Folder) {
    if (Folder.isEmpty() || Folder.endsWith(QLatin1Char('/')) || Folder.endsWith(QLatin1Char('\\')))
        return Folder;
    return Folder + QLatin1Char('/');
}

QString programDirOf(const QString &ProgramDir) {
    return withSlash(ProgramDir.isEmpty() ? paths::GetProgramDir() : ProgramDir);
}

QString wedDir(const QString &ProgramDir) {
    return ProgramDir + QStringLiteral("WED/");
}

QString svodDir(const QString &ProgramDir, int Year, int SetNumber) {
    return ProgramDir + QStringLiteral("DBF/S%1%2").arg(Year).arg(SetNumber);
}

QString existingFile(const QString &Folder, const QString &FileName) {
    return store::findFileCaseInsensitive(Folder, FileName);
}

QString blankPathOf(const SvodParams &Params, const QString &ProgramDir) {
    if (!Params.BlankPath.isEmpty())
        return Params.BlankPath;
    return wedDir(ProgramDir) + Params.Report.Fail;
}

QString existingBlank(const QString &BlankPath) {
    const QFileInfo info(BlankPath);
    return existingFile(info.absolutePath(), info.fileName());
}

void forEachOrganisationTable(
    const SvodParams &Params, RunContext &Ctx, SvodResult &Result, const QString &TableName,
    const std::function<void(const Organisation &, store::TADODataSet &)> &Visit) {
    const QVector<Organisation> &orgs = Ctx.organisations();
    const int count = int(orgs.size());
    store::TADODataSet ds; // one for the walk: each table is closed as the next one opens
    for (int idx = 0; idx < count; ++idx) {
        if (Params.Progress)
            Params.Progress->Step(idx, count);
        const Organisation &o = orgs[idx];
        if (o.Name.isEmpty() || !OrganisationInSet(o, Params.SetNumber, Ctx.ProgramKind))
            continue;
        if (!Ctx.openOrgTable(o, TableName, ds)) {
            ++Result.OrgWithoutData;
            Result.MissingOrganisations << o.Name;
            continue;
        }
        ++Result.OrgWithData;
        Visit(o, ds);
    }
    if (Params.Progress)
        Params.Progress->Step(count, count);
}

const QVector<Organisation> &RunContext::organisations() {
    if (!Orgs)
        Orgs = ReadOrganisations(ProgramDir);
    return *Orgs;
}

namespace {
// The integer readings of N1, N2, ... of a table's first record.
QVector<long long> firstRowIntegers(store::TADODataSet &ds) {
    QVector<long long> row;
    if (ds.IsEmpty())
        return row;
    ds.First();
    for (int k = 1;; ++k) {
        const int i = ds.FieldIndex(nField(k));
        if (i < 0)
            break;
        row << integerOf(ds, i);
    }
    return row;
}
} // namespace

bool RunContext::isF1Table(const QString &Table) const {
    return Table.compare(QStringLiteral("F1%1").arg(Year), Qt::CaseInsensitive) == 0;
}

void RunContext::noteF1Row(int OrgCode, store::TADODataSet &F1) {
    if (!F1Rows.contains(OrgCode))
        F1Rows.insert(OrgCode, firstRowIntegers(F1));
}

const QVector<long long> &RunContext::f1Row(const Organisation &Org) {
    auto it = F1Rows.find(Org.Kod);
    if (it != F1Rows.end())
        return *it;
    QVector<long long> row;
    store::TADODataSet ds;
    if (openOrgTable(Org, QStringLiteral("F1%1").arg(Year), ds))
        row = firstRowIntegers(ds);
    return *F1Rows.insert(Org.Kod, row);
}

bool RunContext::openOrgTable(const Organisation &Org, const QString &Table,
                              store::TADODataSet &Ds) {
    auto it = Connections.find(Org.Kod);
    try {
        if (it == Connections.end()) {
            const QString folder = OrgRoot + QString::number(Org.Kod);
            auto con = std::make_unique<store::TADOConnection>();
            con->setFolder(folder);
            con->setKeepFolderOpen(true);
            try {
                con->Open();
            } catch (const store::StoreError &) {
                if (QFileInfo(folder).isDir())
                    throw;
                con.reset(); // no data folder: no tables
            }
            it = Connections.emplace(Org.Kod, std::move(con)).first;
        }
        if (!it->second) {
            Ds.Close();
            return false;
        }
        Ds.setConnection(it->second.get());
        Ds.setCommandText(QStringLiteral("select * from ") + Table);
        try {
            Ds.Open();
        } catch (const store::StoreError &) {
            if (it->second->findFile(Table + QStringLiteral(".DBF")).isEmpty())
                return false;
            throw;
        }
        return true;
    } catch (const store::StoreError &e) {
        const QString folder = OrgRoot + QString::number(Org.Kod);
        throw FileError(QStringLiteral("таблица организации %1 \"%2\" в папке %3 не читается: %4")
                            .arg(Org.Kod)
                            .arg(Org.Name, QDir::toNativeSeparators(folder), e.message()));
    }
}

QString noticeText(const QString &Lead, const SvodResult &Result) {
    QString text;
    if (!Result.MissingOrganisations.isEmpty()) {
        text = Lead + QStringLiteral("\r\r");
        for (const QString &name : Result.MissingOrganisations)
            text += name + QStringLiteral("  ");
    }
    if (Result.BadCellCount > 0) {
        if (!text.isEmpty())
            text += QStringLiteral("\r\r");
        // Appended rows carry such text over where they can; sums never do.
        const bool copies = Result.Kind == SvodKind::Keyed;
        text += copies ? QStringLiteral("Ячеек, в которых записано не число: %1 (перенесены в "
                                        "свод как текст, где графа свода его вмещает).")
                             .arg(Result.BadCellCount)
                       : QStringLiteral("Ячеек, в которых записано не число (в свод не вошли): %1.")
                             .arg(Result.BadCellCount);
        for (const BadCell &c : Result.FirstBadCells) {
            text += QLatin1Char('\r') + DescribeBadCell(c, false);
            if (copies)
                text +=
                    c.Kept ? QStringLiteral(" - перенесено") : QStringLiteral(" - не перенесено");
        }
        if (Result.BadCellCount > Result.FirstBadCells.size())
            text += QStringLiteral("\r...");
    }
    return text;
}

void noteBadCell(SvodResult &Result, const Organisation &Org, int Row, const QString &Field,
                 store::TField Cell, bool Kept) {
    ++Result.BadCellCount;
    if (Result.FirstBadCells.size() < kBadCellsNamed)
        Result.FirstBadCells.push_back(
            {Org.Name, Org.Kod, Row, Field, Cell.StoredText(), QString(), Kept});
}

QString reportPrefix(const CatalogueReport &Report) {
    return QStringLiteral("Отчет \"%1\": ").arg(Report.Name);
}

long long countF1Denominator(RunContext &Ctx, const QString &Fail, int SetNumber) {
    const std::optional<AutoFillF1Figure> figure = SectionF1FigureByFile(Fail);
    if (!figure)
        return 0;
    // The figure's fields are N fields: their numbers index the cached row.
    auto number = [](std::string_view f) {
        return f.size() > 1 && f[0] == 'N'
                   ? QString::fromLatin1(f.data() + 1, qsizetype(f.size() - 1)).toInt()
                   : 0;
    };
    const int f1 = number(figure->Field1);
    const int f2 = figure->Factor != 0 ? number(figure->Field2) : 0;
    auto at = [](const QVector<long long> &row, int k) {
        return k >= 1 && k <= row.size() ? row[k - 1] : 0;
    };
    ExactSum total;
    for (const Organisation &o : Ctx.organisations()) {
        if (o.Name.isEmpty() || !OrganisationInSet(o, SetNumber, Ctx.ProgramKind))
            continue;
        const QVector<long long> &row = Ctx.f1Row(o);
        if (row.isEmpty())
            continue;
        total.add(at(row, f1));
        if (f2 > 0)
            total.add(static_cast<long long>(figure->Factor) * at(row, f2));
    }
    return total.rounded();
}

} // namespace detail

// ---------------------------------------------------------------- entry points

namespace {

detail::RunContext contextFor(const QString &ProgramDir, int Year, int ProgramKind) {
    detail::RunContext ctx;
    ctx.ProgramDir = detail::programDirOf(ProgramDir);
    // Made absolute once: a relative path would be resolved again at every
    // table of every organisation.
    QString dbf = ctx.ProgramDir + QStringLiteral("DBF");
    dbf.replace(QLatin1Char('\\'), QLatin1Char('/')); // a folder given in the Windows form
    ctx.OrgRoot = QFileInfo(dbf).absoluteFilePath() + QStringLiteral("/D");
    ctx.Year = Year;
    ctx.ProgramKind = ProgramKind;
    return ctx;
}

// One build with a run context of its own.
SvodResult runAlone(const SvodParams &p,
                    SvodResult (*build)(const SvodParams &, detail::RunContext &)) {
    detail::RunContext ctx = contextFor(p.ProgramDir, p.Year, p.ProgramKind);
    return build(p, ctx);
}

enum class Route { General, Column, Keyed, SchoolCount };

Route routeOf(const SvodParams &p) {
    if (p.Report.Group == 1)
        return Route::SchoolCount;
    if (p.Report.Group == 46 || p.Report.Group == 48)
        return Route::Keyed;
    if (p.Mode == 2 && IsColumnSvodGroup(p.Report.Group))
        return Route::Column;
    return Route::General;
}

SvodResult runRoute(Route route, const SvodParams &p, detail::RunContext &ctx) {
    switch (route) {
    case Route::SchoolCount:
        return detail::buildSchoolCount(p, ctx);
    case Route::Keyed:
        return detail::buildKeyed(p, ctx);
    case Route::Column:
        return detail::buildColumn(p, ctx);
    case Route::General:
        break;
    }
    return detail::buildGeneral(p, ctx);
}

// The text of any failure, naming the report when the failure does not.
QString failureText(const CatalogueReport &report, const std::exception &e) {
    if (dynamic_cast<const SvodError *>(&e))
        return ExceptionText(e);
    return detail::reportPrefix(report) + ExceptionText(e);
}

} // namespace

SvodResult BuildSvod(const SvodParams &Params) {
    try {
        detail::RunContext ctx = contextFor(Params.ProgramDir, Params.Year, Params.ProgramKind);
        return runRoute(routeOf(Params), Params, ctx);
    } catch (const std::exception &e) {
        SvodResult r;
        r.Ok = false;
        r.Error = failureText(Params.Report, e);
        return r;
    }
}

SvodResult BuildGeneralSvod(const SvodParams &Params) {
    return runAlone(Params, [](const SvodParams &p, detail::RunContext &ctx) {
        return detail::buildGeneral(p, ctx);
    });
}

SvodResult BuildColumnSvod(const SvodParams &Params) {
    return runAlone(Params, detail::buildColumn);
}

SvodResult BuildKeyedSvod(const SvodParams &Params) {
    return runAlone(Params, detail::buildKeyed);
}

SvodResult BuildSchoolCountSvod(const SvodParams &Params) {
    return runAlone(Params, detail::buildSchoolCount);
}

long long CountF1Denominator(const QString &ProgramDir, int Year, const QString &Fail,
                             int SetNumber, int ProgramKind) {
    detail::RunContext ctx = contextFor(ProgramDir, Year, ProgramKind);
    return detail::countF1Denominator(ctx, Fail, SetNumber);
}

SaveAllResult SaveAllSvods(const SaveAllParams &Params) {
    SaveAllResult result;
    detail::RunContext ctx = contextFor(Params.ProgramDir, Params.Year, Params.ProgramKind);
    QVector<CatalogueReport> catalogue; // a copy: the builds never walk the table itself
    try {
        catalogue = ReadCatalogue(detail::wedDir(ctx.ProgramDir), Params.Year);
    } catch (const std::exception &e) {
        result.Error = ExceptionText(e);
        return result;
    }
    result.ReportCount = int(catalogue.size());
    for (int i = 0; i < catalogue.size(); ++i) {
        const CatalogueReport &report = catalogue[i];
        if (Params.Progress)
            Params.Progress->Step(i, result.ReportCount);
        SvodParams p;
        p.ProgramDir = ctx.ProgramDir;
        p.Year = Params.Year;
        p.Report = report;
        p.SetNumber = 1;
        p.Mode = 1;
        p.ProgramKind = Params.ProgramKind;
        p.Quiet = true;
        try {
            // F1, when the school counts have just built it from the same blank.
            const Route route = routeOf(p);
            const std::optional<detail::RunContext::PlacedF1> &f1 = ctx.F1Placed;
            const bool built =
                route == Route::General && f1 && f1->CatalogueRecNo == report.RecNo &&
                f1->Blank == detail::existingBlank(detail::blankPathOf(p, ctx.ProgramDir));
            const SvodResult r = built ? f1->Result : runRoute(route, p, ctx);
            if (!r.Built)
                throw SvodError(detail::reportPrefix(report) + QStringLiteral("нет файла бланка ") +
                                detail::blankPathOf(p, ctx.ProgramDir));
            result.TargetFiles << r.TargetFile;
            // The school counts' cells are F1's, which is built on its own too.
            if (r.Kind != SvodKind::SchoolCount) {
                result.BadCellCount += r.BadCellCount;
                for (BadCell c : r.FirstBadCells)
                    if (result.FirstBadCells.size() < kBadCellsNamed) {
                        c.Report = report.Name;
                        result.FirstBadCells << c;
                    }
            }
        } catch (const std::exception &e) {
            result.FailedReport = report.Name;
            result.Error = failureText(report, e);
            return result;
        }
    }
    result.Ok = true;
    return result;
}

} // namespace svod
