#include "books/ServiceRoutines.h"

#include "books/RebuildFiles.h"
#include "entry/ReportTables.h"
#include "shell/Paths.h"
#include "shell/UnitConsts.h"
#include "store/Dataset.h"
#include "store/ExceptionText.h"
#include "store/FolderTable.h"
#include "store/RecordCopy.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QVector>

#include <memory>
#include <optional>
#include <utility>

namespace service {

namespace {

const QString kSchoolFile = QStringLiteral("SCHOOL.DBF");

using OpenTable = store::FolderTable;

QString catalogueFile(int Year) {
    return QStringLiteral("OTHE") + QString::number(Year) + QStringLiteral(".DBF");
}

QString periodNotOpenedMessage(const QString &file) {
    return QStringLiteral("Нет БД ") + file +
           QStringLiteral(". Не открыт период. Сделайте 'Начало нового периода'.");
}

// The catalogue's FAIL values of the year in record order, empty ones left
// out. A FAIL that is no plain file name is named in Problems and left out.
QStringList catalogueFails(int Year, QStringList *Problems) {
    OpenTable cat(paths::GetWedDir(), catalogueFile(Year));
    QStringList fails;
    const int failField = cat.ds.FieldIndex(QStringLiteral("FAIL"));
    if (failField < 0)
        return fails;
    for (cat.ds.First(); !cat.ds.Eof(); cat.ds.Next()) {
        const QString fail = cat.ds.Fields(failField).AsString().trimmed();
        if (fail.isEmpty())
            continue;
        if (!ReportBaseName(fail)) {
            if (Problems)
                Problems->append(InvalidFailMessage(fail));
            continue;
        }
        fails.append(fail);
    }
    return fails;
}

struct Organisation {
    int code = 0;
    QString name;
};

// The organisations of SCHOOL in stored order, each code once (codes below 1
// name no data folder).
QVector<Organisation> organisations() {
    OpenTable school(paths::GetProgramDir(), QStringLiteral("SCHOOL"));
    QVector<Organisation> orgs;
    QSet<int> seen;
    const int kod = school.ds.FieldIndex(QStringLiteral("KOD"));
    const int name = school.ds.FieldIndex(QStringLiteral("NAME"));
    if (kod < 0)
        return orgs;
    for (school.ds.First(); !school.ds.Eof(); school.ds.Next()) {
        const int code = school.ds.Fields(kod).AsInteger();
        if (code > 0 && !seen.contains(code)) {
            seen.insert(code);
            orgs.append({code, name < 0 ? QString() : school.ds.Fields(name).AsString().trimmed()});
        }
    }
    return orgs;
}

QString native(const QString &path) {
    return QDir::toNativeSeparators(path);
}

bool isTableFile(const QString &name) {
    return name.endsWith(QStringLiteral(".DBF"), Qt::CaseInsensitive);
}

// In the backup folder: the mark of a run that has put every table and blank
// in place, and the folder that keeps the restructure blank of a report that
// had no blank.
const QString kDoneMark = QStringLiteral("DONE");
const QString kKeptNewBlanks = QStringLiteral("NEW/");

// The files of a folder found by name in any letter case, as the store finds
// them (findFileCaseInsensitive): the name as written when it is there, else
// the first in name order. One listing for every name asked.
class FolderFiles {
public:
    explicit FolderFiles(const QString &folder) {
        for (const QString &f :
             QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name)) {
            m_exact.insert(f);
            if (const QString key = f.toUpper(); !m_folded.contains(key))
                m_folded.insert(key, f);
        }
    }
    QString find(const QString &name) const {
        return m_exact.contains(name) ? name : m_folded.value(name.toUpper());
    }

private:
    QSet<QString> m_exact;
    QHash<QString, QString> m_folded; // upper case -> the first in name order
};

// What the rebuild works on: the year's catalogue and the organisations.
struct Installation {
    int year = 0;
    QString wed, backup;
    QStringList fails;          // each FAIL once, in any letter case
    QVector<Organisation> orgs; // each code once
    QSet<QString> failsFolded;  // the FAILs upper case
};

// A new table built aside would carry the name O + a report table's name;
// when that is a report of the catalogue too, it is that report's table.
bool namesAReport(const Installation &inst, const QString &fail) {
    return inst.failsFolded.contains(QStringLiteral("O") + fail.toUpper());
}

struct Recovered {
    bool found = false;    // a backup folder or a new table built aside was there
    bool finished = false; // the interrupted run had put everything in place
    int tables = 0, blanks = 0, unfinished = 0;
};

// Removes a backup folder: its files, its subfolders, and the mark last, so
// that a removal cut short is still taken for a finished run.
void removeBackupFolder(const QString &backup) {
    const QString mark = backup + kDoneMark;
    QDirIterator it(backup, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        if (const QString f = it.next(); f != mark)
            files::remove(f);
    for (const QString &sub : QDir(backup).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        files::removeFolder(backup + sub);
    if (QFileInfo::exists(mark))
        files::remove(mark);
    files::removeFolder(backup);
}

// Recovery of an interrupted rebuild (and the undoing of one that failed).
// The one rule: a run is undone unless it had put every table and blank in
// place, which the mark DONE in its backup folder WED\REBUILD<year>\ says;
// then only that folder is removed. Undoing goes by the folder's layout:
//  - REBUILD<year>\D<code>\<table> goes back over the table of that name in
//    DBF\D<code>\ (the new table there, or another name of itself);
//  - REBUILD<year>\NEW\O<blank>, kept for a report that had no blank, goes
//    back to WED; when WED had lost it, WED\<blank> is that restructure
//    blank under the blank's name and is removed first;
//  - REBUILD<year>\<blank> goes back over WED\<blank>; when WED has lost the
//    restructure blank O<blank>, WED\<blank> is it under the blank's name,
//    and gets its O name back first;
//  - every new table built aside (O<table> in an organisation's folder) is
//    removed;
//  - what is then left in the folder can only be copies cut short, and the
//    folder is removed with them; a table left in it stops the recovery.
// Every step is one rename, link or removal, each leaving a state that the
// same rule recovers, so a table's name never stands empty and a recovery
// cut short is finished by the next run.
Recovered recover(const Installation &inst) {
    Recovered r;
    const QString backup = inst.backup;
    QSet<int> codes;
    for (const Organisation &o : inst.orgs)
        codes.insert(o.code);
    if (QFileInfo(backup).isDir()) {
        r.found = true;
        if (QFileInfo::exists(backup + kDoneMark)) {
            removeBackupFolder(backup);
            r.finished = true;
            return r;
        }
        for (const QString &sub :
             QDir(backup).entryList({QStringLiteral("D*")}, QDir::Dirs | QDir::NoDotAndDotDot)) {
            bool number = false;
            const int code = sub.mid(1).toInt(&number);
            if (!number || code <= 0 || QString::number(code) != sub.mid(1))
                continue;
            codes.insert(code);
            for (const QString &f : QDir(backup + sub).entryList(QDir::Files))
                if (isTableFile(f)) {
                    files::putBack(backup + sub + QLatin1Char('/') + f, OrgDataDir(code) + f);
                    ++r.tables;
                }
        }
        const FolderFiles oldBlanks(backup);
        for (const QString &o : QDir(backup + kKeptNewBlanks).entryList(QDir::Files)) {
            if (!isTableFile(o))
                continue;
            if (oldBlanks.find(o.mid(1)).isEmpty() &&
                !store::fileExistsCaseInsensitive(inst.wed, o))
                if (const QString b = store::findFileCaseInsensitive(inst.wed, o.mid(1));
                    !b.isEmpty())
                    files::remove(b);
            files::putBack(backup + kKeptNewBlanks + o, inst.wed + o);
            ++r.blanks;
        }
        for (const QString &b : QDir(backup).entryList(QDir::Files)) {
            if (!isTableFile(b))
                continue;
            const QString newName = QStringLiteral("O") + b;
            if (!store::fileExistsCaseInsensitive(inst.wed, newName) &&
                QFileInfo::exists(inst.wed + b))
                files::keepCopy(inst.wed + b, inst.wed + newName);
            files::putBack(backup + b, inst.wed + b);
            ++r.blanks;
        }
    }
    for (int code : codes) {
        const QString dir = OrgDataDir(code);
        const FolderFiles there(dir);
        for (const QString &fail : inst.fails) {
            if (namesAReport(inst, fail))
                continue;
            const QString made =
                there.find(QStringLiteral("O") + ReportFileName(*ReportBaseName(fail), inst.year));
            if (made.isEmpty())
                continue;
            files::remove(dir + made);
            r.found = true;
            ++r.unfinished;
        }
    }
    if (QFileInfo(backup).isDir()) {
        QStringList kept;
        QDirIterator it(backup, QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            if (const QString f = it.next(); isTableFile(f))
                kept.append(native(f));
        if (!kept.isEmpty())
            throw FileError(QStringLiteral("В папке ") + native(backup) +
                            QStringLiteral(" остались таблицы, место которых неизвестно: ") +
                            kept.join(QStringLiteral(", ")));
        removeBackupFolder(backup);
    }
    return r;
}

QString recoveryMessage(const Installation &inst, const Recovered &r) {
    if (!r.found)
        return QString();
    const QString head =
        QStringLiteral("Предыдущее обслуживание БД за %1 год было прервано").arg(inst.year);
    if (r.finished)
        return head + QStringLiteral(" после того, как все таблицы и бланки были заменены. Копии "
                                     "прежних таблиц из папки %1 удалены.")
                          .arg(native(inst.backup));
    return head + QStringLiteral(" и отменено: возвращено прежних таблиц: %1, бланков: %2; "
                                 "удалено недостроенных таблиц: %3.")
                      .arg(r.tables)
                      .arg(r.blanks)
                      .arg(r.unfinished);
}

// One report whose blank has a restructure blank in WED.
struct Report {
    QString fail;     // F1.DBF
    QString base;     // F1
    QString blank;    // WED\F1.DBF as found; empty when there is none
    QString newBlank; // WED\OF1.DBF as found
    QByteArray newBlankBytes;
    std::unique_ptr<store::RecordCopy> copy;
};

// One organisation table to rebuild.
struct Job {
    const Organisation *org = nullptr;
    const Report *report = nullptr;
    QString oldPath;  // DBF\D<code>\F12026.DBF as found
    QString tempPath; // DBF\D<code>\OF12026.DBF
    QString backupPath;
};

const QString kNotANumber = QStringLiteral("это не число");

QString fieldLabel(const store::FieldDef &d) {
    return d.type == 'N' || d.type == 'F'
               ? QStringLiteral("%1 (%2 %3,%4)")
                     .arg(d.name, QString(QChar(d.type)))
                     .arg(d.length)
                     .arg(d.decimals)
               : QStringLiteral("%1 (%2 %3)").arg(d.name, QString(QChar(d.type))).arg(d.length);
}

QString tableLabel(const Job &job) {
    QString org = QStringLiteral("Организация ") + QString::number(job.org->code);
    if (!job.org->name.isEmpty())
        org += QStringLiteral(" «") + job.org->name + QStringLiteral("»");
    return org + QStringLiteral(", таблица ") + QFileInfo(job.oldPath).fileName();
}

QString valueProblem(const Job &job, int row, const QString &field, const QString &value,
                     const QString &reason) {
    return tableLabel(job) +
           QStringLiteral(", строка %1, поле %2, значение \"%3\": ").arg(row).arg(field, value) +
           reason;
}

QString carryProblem(const Job &job, const store::CarryProblem &p) {
    using Kind = store::CarryProblem::Kind;
    const QString blank = QFileInfo(job.report->newBlank).fileName();
    const QString target = fieldLabel(p.target) + QStringLiteral(" бланка ") + blank;
    QString reason;
    switch (p.kind) {
    case Kind::NoField:
        reason = QStringLiteral("такого поля нет в бланке ") + blank;
        break;
    case Kind::TooWide:
        reason = QStringLiteral("не помещается в поле ") + target;
        break;
    case Kind::Decimals:
        reason = QStringLiteral("в поле ") + target +
                 QStringLiteral(" меньше знаков после запятой, значение было бы округлено");
        break;
    case Kind::NotNumber:
        reason = kNotANumber;
        break;
    case Kind::NotInCodePage:
        reason = QStringLiteral("в кодировке бланка ") + blank +
                 QStringLiteral(" нет одного из его символов");
        break;
    }
    return valueProblem(job, p.row, p.field, p.value, reason);
}

// A table whose new structure changes a field's kind (text, number, date,
// logical) goes through the datasets' own conversions: the blank is written
// aside and each value set by field name, the changes held in memory and
// written to the file at once. Values that would change are named instead.
void carryThroughDatasets(const Job &job, QStringList &problems) {
    files::writeNew(job.tempPath, job.report->newBlankBytes);
    const QFileInfo oldInfo(job.oldPath), newInfo(job.tempPath);
    OpenTable src(oldInfo.absolutePath(), oldInfo.fileName());
    store::TADOConnection con;
    con.setFolder(newInfo.absolutePath());
    con.Open();
    con.setHoldWrites(true);
    store::TADODataSet dst;
    dst.setConnection(&con);
    dst.setCommandText(QStringLiteral("select * from ") + newInfo.fileName());
    dst.Open();

    struct Pair {
        int from, to;
        bool sameType;
    };
    QVector<Pair> pairs;
    for (int i = 0; i < src.ds.FieldCount(); ++i)
        if (const int j = dst.FieldIndex(src.ds.FieldDefs()[i].name); j >= 0)
            pairs.append({i, j, src.ds.FieldDefs()[i].type == dst.FieldDefs()[j].type});
    QSet<int> named;
    const int newCount = dst.RecordCount();
    int n = 0;
    for (src.ds.First(); !src.ds.Eof(); src.ds.Next()) {
        if (++n <= newCount) {
            dst.setRecNo(n);
            dst.Edit();
        } else {
            dst.Append();
        }
        for (const Pair &p : pairs) {
            store::TField from = src.ds.Fields(p.from);
            store::TField to = dst.Fields(p.to);
            auto problem = [&](const QString &reason) {
                if (!named.contains(p.from))
                    problems.append(
                        valueProblem(job, n, from.FieldName(), from.StoredText(), reason));
                named.insert(p.from);
            };
            const char type = to.Def().type;
            const bool numeric = type == 'N' || type == 'F';
            const char fromType = from.Def().type;
            try {
                if ((fromType == 'N' || fromType == 'F') && from.IsNull() &&
                    !from.StoredText().isEmpty())
                    problem(kNotANumber);
                else if (from.IsNull())
                    to.Clear();
                else if (p.sameType)
                    to.SetAsVariant(from.AsVariant());
                else
                    to.SetAsString(from.AsString());
                double was = 0, now = 0;
                if (numeric && from.ReadNumber(was) == store::TField::NumberReading::Number &&
                    to.ReadNumber(now) == store::TField::NumberReading::Number && was != now)
                    problem(QStringLiteral("в поле ") + fieldLabel(to.Def()) +
                            QStringLiteral(" значение было бы округлено"));
            } catch (const store::StoreError &e) {
                problem(e.message());
            }
        }
        dst.Post();
    }
    if (named.isEmpty()) {
        con.Flush();
        files::sync(job.tempPath);
    }
}

} // namespace

int RebuildYear(const QDate &Today) {
    return Today.year() - 1 + (Today.month() >= 9 ? 1 : 0);
}

QString RebuildBackupDir(int Year) {
    return paths::GetWedDir() + QStringLiteral("REBUILD") + QString::number(Year) +
           QLatin1Char('/');
}

ArchiveResult ArchiveReports(int Year) {
    ArchiveResult result;
    if (!store::fileExistsCaseInsensitive(paths::GetProgramDir(), kSchoolFile)) {
        result.message = QStringLiteral("Файл 'SCHOOL.DBF' не найден!");
        return result;
    }
    if (!store::fileExistsCaseInsensitive(paths::GetWedDir(), catalogueFile(Year))) {
        result.message = periodNotOpenedMessage(catalogueFile(Year));
        return result;
    }
    const QStringList fails = catalogueFails(Year, nullptr);
    const QString archive = paths::GetArchiveDir() + QLatin1Char('/');
    for (const Organisation &org : organisations()) {
        const int code = org.code;
        const QString orgDir = OrgDataDir(code);
        for (const QString &fail : fails) {
            const QString base = *ReportBaseName(fail);
            if (!ReportTableExists(orgDir, base, Year))
                continue;
            const QString target = archive + QStringLiteral("D") + QString::number(code);
            if (!QDir().mkpath(target))
                throw FileError(QStringLiteral("Не удалось создать папку ") +
                                QDir::toNativeSeparators(target));
            files::copyOver(target + QLatin1Char('/') + ReportFileName(base, Year),
                            ReportTablePath(orgDir, base, Year));
            ++result.copied;
        }
    }
    result.ok = true;
    result.message = QStringLiteral("Сохранение баз в архив выполнено.");
    return result;
}

QString RebuildResult::summary() const {
    const QString head = QStringLiteral("Обслуживание БД");
    if (!ok) {
        QString text = head + QStringLiteral(" за %1 год не выполнено").arg(year) +
                       (unchanged ? QStringLiteral(", таблицы и бланки не изменены:\r")
                                  : QStringLiteral(":\r")) +
                       problems.join(QLatin1Char('\r'));
        if (!unchanged)
            text += QStringLiteral("\rПрежние таблицы и бланки остаются в папке ") +
                    native(RebuildBackupDir(year)) +
                    QStringLiteral(" и будут возвращены на место при следующем обслуживании БД.");
        return text;
    }
    QString text = head + QStringLiteral(" выполнено за %1 год.\rПерестроено таблиц: ").arg(year) +
                   QString::number(tablesRebuilt) + QStringLiteral(" (организаций: ") +
                   QString::number(organisations) + QStringLiteral(").\r");
    if (blanksReplaced.isEmpty())
        text += QStringLiteral("Новых бланков нет, бланки не заменены.");
    else
        text += QStringLiteral("Заменены бланки: ") + blanksReplaced.join(QStringLiteral(", ")) +
                QLatin1Char('.');
    if (!leftover.isEmpty())
        text += QStringLiteral("\rПапку ") + native(RebuildBackupDir(year)) +
                QStringLiteral(" удалить не удалось (") + leftover +
                QStringLiteral("); она будет удалена при следующем обслуживании БД.");
    return text;
}

namespace {

// The reports of the catalogue that have a restructure blank in WED, with
// what their tables are rebuilt from.
std::vector<std::unique_ptr<Report>> reportsToRebuild(const Installation &inst,
                                                      QStringList &problems) {
    std::vector<std::unique_ptr<Report>> reports;
    const FolderFiles wed(inst.wed);
    for (const QString &fail : inst.fails) {
        const QString newBlank = wed.find(QStringLiteral("O") + fail);
        if (newBlank.isEmpty())
            continue;
        if (namesAReport(inst, fail)) {
            problems.append(QStringLiteral("Новый бланк ") + newBlank + QStringLiteral(" отчета ") +
                            fail + QStringLiteral(" является бланком другого отчета каталога."));
            continue;
        }
        auto r = std::make_unique<Report>();
        r->fail = fail;
        r->base = *ReportBaseName(fail);
        if (const QString blank = wed.find(fail); !blank.isEmpty())
            r->blank = inst.wed + blank;
        r->newBlank = inst.wed + newBlank;
        r->newBlankBytes = files::readWhole(r->newBlank);
        r->copy = std::make_unique<store::RecordCopy>(r->newBlankBytes, r->newBlank);
        reports.push_back(std::move(r));
    }
    return reports;
}

// Reads and checks every table and writes its new version aside. Once a value
// has stopped the rebuild, only what the remaining checks need is written.
void buildAside(const QVector<Job> &jobs, const QDate &Today, QStringList &problems) {
    for (const Job &job : jobs) {
        store::RecordCopy::Result made;
        try {
            made = job.report->copy->carry(files::readWhole(job.oldPath), job.oldPath, Today);
        } catch (const std::exception &e) {
            problems.append(tableLabel(job) + QStringLiteral(" не открывается: ") +
                            ExceptionText(e));
            continue;
        }
        for (const store::CarryProblem &p : made.problems)
            problems.append(carryProblem(job, p));
        if (!made.carried && made.problems.isEmpty())
            carryThroughDatasets(job, problems);
        else if (problems.isEmpty())
            files::writeNew(job.tempPath, made.table);
    }
}

// Puts every new table and blank in the place of the old one, keeping the
// old ones in the backup folder, and marks the run done.
void swapIn(const Installation &inst, const QVector<Job> &jobs,
            const std::vector<std::unique_ptr<Report>> &reports, QStringList &blanksReplaced) {
    files::makeFolder(inst.backup);
    int folderOf = 0;
    for (const Job &job : jobs) {
        if (job.org->code != folderOf) {
            folderOf = job.org->code;
            files::makeFolder(QFileInfo(job.backupPath).absolutePath());
        }
        files::keepCopy(job.oldPath, job.backupPath);
        files::replace(job.tempPath, job.oldPath);
    }
    bool keptFolder = false;
    for (const auto &r : reports) {
        QString target = r->blank;
        if (target.isEmpty()) {
            if (!std::exchange(keptFolder, true))
                files::makeFolder(inst.backup + kKeptNewBlanks);
            files::keepCopy(r->newBlank,
                            inst.backup + kKeptNewBlanks + QFileInfo(r->newBlank).fileName());
            target = inst.wed + r->fail;
        } else {
            files::keepCopy(r->blank, inst.backup + QFileInfo(r->blank).fileName());
        }
        files::replace(r->newBlank, target);
        blanksReplaced.append(r->fail);
    }
    files::writeNew(inst.backup + kDoneMark, QByteArray());
}

// After a failure: every file back as it was.
void undoFailedRun(const Installation &inst, RebuildResult &result) {
    try {
        recover(inst);
    } catch (const std::exception &e) {
        result.unchanged = false;
        result.problems.append(ExceptionText(e));
    }
}

} // namespace

RebuildResult RebuildReportTables(const QDate &Today) {
    RebuildResult result;
    Installation inst;
    inst.year = result.year = RebuildYear(Today);
    inst.wed = paths::GetWedDir();
    inst.backup = RebuildBackupDir(inst.year);
    if (!store::fileExistsCaseInsensitive(inst.wed, catalogueFile(inst.year)))
        return result; // nothing to rebuild, nothing to say
    result.ran = true;

    try {
        // One job per file: names met twice, in any letter case, count once.
        for (const QString &fail : catalogueFails(inst.year, &result.problems))
            if (!inst.failsFolded.contains(fail.toUpper())) {
                inst.failsFolded.insert(fail.toUpper());
                inst.fails.append(fail);
            }
        if (store::fileExistsCaseInsensitive(paths::GetProgramDir(), kSchoolFile))
            inst.orgs = organisations();
    } catch (const std::exception &e) {
        result.problems.append(ExceptionText(e));
        return result;
    }

    try {
        result.recovered = recoveryMessage(inst, recover(inst));
    } catch (const std::exception &e) {
        result.unchanged = false;
        result.problems.append(QStringLiteral("Не удалось восстановить таблицы после прерванного "
                                              "обслуживания БД: ") +
                               ExceptionText(e));
        return result;
    }
    if (!result.problems.isEmpty())
        return result;

    std::vector<std::unique_ptr<Report>> reports;
    try {
        reports = reportsToRebuild(inst, result.problems);
    } catch (const std::exception &e) {
        result.problems.append(ExceptionText(e));
    }
    if (!result.problems.isEmpty())
        return result;

    QVector<Job> jobs;
    for (const Organisation &org : inst.orgs) {
        const QString dir = OrgDataDir(org.code);
        const FolderFiles there(dir);
        for (const auto &r : reports) {
            const QString file = there.find(ReportFileName(r->base, inst.year));
            if (file.isEmpty())
                continue;
            Job job;
            job.org = &org;
            job.report = r.get();
            job.oldPath = dir + file;
            job.tempPath = dir + QStringLiteral("O") + ReportFileName(r->base, inst.year);
            job.backupPath = inst.backup + QStringLiteral("D") + QString::number(org.code) +
                             QLatin1Char('/') + file;
            jobs.append(job);
        }
    }

    try {
        buildAside(jobs, Today, result.problems);
        if (result.problems.isEmpty())
            swapIn(inst, jobs, reports, result.blanksReplaced);
    } catch (const std::exception &e) {
        result.problems.append(ExceptionText(e));
    }
    if (!result.problems.isEmpty()) {
        result.blanksReplaced.clear();
        undoFailedRun(inst, result);
        return result;
    }
    try {
        removeBackupFolder(inst.backup);
    } catch (const std::exception &e) {
        result.leftover = ExceptionText(e);
    }

    QSet<int> orgs;
    for (const Job &job : jobs)
        orgs.insert(job.org->code);
    result.tablesRebuilt = jobs.size();
    result.organisations = orgs.size();
    result.ok = true;
    return result;
}

} // namespace service
