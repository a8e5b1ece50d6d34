#include "books/ServiceRoutines.h"

#include "entry/ReportTables.h"
#include "shell/Paths.h"
#include "shell/UnitConsts.h"
#include "store/Dataset.h"
#include "store/ExceptionText.h"
#include "store/FolderTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QVector>

#include <memory>
#include <optional>

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

// The codes of SCHOOL in stored order (codes below 1 name no data folder).
QVector<int> organisationCodes() {
    OpenTable school(paths::GetProgramDir(), QStringLiteral("SCHOOL"));
    QVector<int> codes;
    const int kod = school.ds.FieldIndex(QStringLiteral("KOD"));
    if (kod < 0)
        return codes;
    for (school.ds.First(); !school.ds.Eof(); school.ds.Next()) {
        const int code = school.ds.Fields(kod).AsInteger();
        if (code > 0)
            codes.append(code);
    }
    return codes;
}

bool holdsData(const store::TField &f) {
    return !f.IsNull() && !f.AsString().trimmed().isEmpty();
}

// Moves a file, replacing nothing: the destination must not exist.
void moveFile(const QString &from, const QString &to) {
    QDir().mkpath(QFileInfo(to).absolutePath());
    QFile::remove(to);
    if (!QFile::rename(from, to))
        throw FileError(QStringLiteral("Не удалось переименовать файл ") +
                        QDir::toNativeSeparators(from) + QStringLiteral(" в ") +
                        QDir::toNativeSeparators(to));
}

// One report whose blank has a restructure blank in WED.
struct Report {
    QString fail;      // F1.DBF
    QString base;      // F1
    QString blankPath; // WED\F1.DBF (may be missing)
    QString newBlank;  // WED\OF1.DBF
    QVector<store::FieldDef> newFields;
};

// One organisation table to rebuild.
struct Job {
    int code = 0;
    const Report *report = nullptr;
    QString oldPath;  // DBF\D<code>\F12016.DBF as found
    QString tempPath; // DBF\D<code>\OF12016.DBF
    QString backupPath;
};

// Copies the values of Old into the table at NewPath (a copy of the new
// blank), record by record: one edit and one post for each record.
void copyValues(const QString &oldPath, const QString &newPath) {
    const QFileInfo oldInfo(oldPath), newInfo(newPath);
    OpenTable src(oldInfo.absolutePath(), oldInfo.fileName());
    OpenTable dst(newInfo.absolutePath(), newInfo.fileName());

    struct Pair {
        int from, to;
        bool sameType;
    };
    QVector<Pair> pairs;
    const auto &srcDefs = src.ds.FieldDefs();
    for (int i = 0; i < srcDefs.size(); ++i) {
        const int j = dst.ds.FieldIndex(srcDefs[i].name);
        if (j >= 0)
            pairs.append({i, j, srcDefs[i].type == dst.ds.FieldDefs()[j].type});
    }

    const int newCount = dst.ds.RecordCount();
    int n = 0;
    for (src.ds.First(); !src.ds.Eof(); src.ds.Next()) {
        ++n;
        if (n <= newCount) {
            dst.ds.setRecNo(n);
            dst.ds.Edit();
        } else {
            dst.ds.Append();
        }
        for (const Pair &p : pairs) {
            store::TField from = src.ds.Fields(p.from);
            store::TField to = dst.ds.Fields(p.to);
            if (from.IsNull())
                to.Clear();
            else if (p.sameType)
                to.SetAsVariant(from.AsVariant());
            else
                to.SetAsString(from.AsString());
        }
        dst.ds.Post();
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
    const QVector<int> codes = organisationCodes();
    const QString archive = paths::GetArchiveDir() + QLatin1Char('/');
    for (int code : codes) {
        const QString orgDir = OrgDataDir(code);
        for (const QString &fail : fails) {
            const QString base = *ReportBaseName(fail);
            if (!ReportTableExists(orgDir, base, Year))
                continue;
            const QString target = archive + QStringLiteral("D") + QString::number(code);
            if (!QDir().mkpath(target))
                throw FileError(QStringLiteral("Не удалось создать папку ") +
                                QDir::toNativeSeparators(target));
            CopyFileByStream(target + QLatin1Char('/') + ReportFileName(base, Year),
                             ReportTablePath(orgDir, base, Year));
            ++result.copied;
        }
    }
    result.ok = true;
    result.message = QStringLiteral("Сохранение баз в архив выполнено.");
    return result;
}

QString RebuildResult::summary() const {
    if (!ok)
        return QStringLiteral("Обслуживание БД не выполнено, таблицы и бланки не изменены:\r") +
               problems.join(QLatin1Char('\r'));
    QString text = QStringLiteral("Обслуживание БД выполнено.\rПерестроено таблиц: ") +
                   QString::number(tablesRebuilt) + QStringLiteral(" (организаций: ") +
                   QString::number(organisations) + QStringLiteral(").\r");
    if (blanksReplaced.isEmpty())
        text += QStringLiteral("Новых бланков нет, бланки не заменены.");
    else
        text += QStringLiteral("Заменены бланки: ") + blanksReplaced.join(QStringLiteral(", ")) +
                QLatin1Char('.');
    return text;
}

RebuildResult RebuildReportTables(int Year) {
    RebuildResult result;
    const QString wed = paths::GetWedDir();
    if (!store::fileExistsCaseInsensitive(wed, catalogueFile(Year)))
        return result; // nothing to rebuild, nothing to say
    result.ran = true;

    // The reports that have a restructure blank, with its fields.
    std::vector<std::unique_ptr<Report>> reports;
    try {
        for (const QString &fail : catalogueFails(Year, &result.problems)) {
            const QString newBlank =
                store::findFileCaseInsensitive(wed, QStringLiteral("O") + fail);
            if (newBlank.isEmpty())
                continue;
            auto r = std::make_unique<Report>();
            r->fail = fail;
            r->base = *ReportBaseName(fail);
            r->blankPath = ReportBlankPath(wed, r->base);
            r->newBlank = newBlank;
            r->newFields = store::DbfFile::fieldsOf(newBlank);
            reports.push_back(std::move(r));
        }
    } catch (const std::exception &e) {
        result.problems.append(ExceptionText(e));
    }
    if (!result.problems.isEmpty())
        return result;

    // Check every table first: it opens, and every field of it that holds
    // data has its place in the new blank.
    QVector<Job> jobs;
    QVector<int> codes;
    if (store::fileExistsCaseInsensitive(paths::GetProgramDir(), kSchoolFile)) {
        try {
            codes = organisationCodes();
        } catch (const std::exception &e) {
            result.problems.append(ExceptionText(e));
            return result;
        }
    }
    const QString backup = RebuildBackupDir(Year);
    for (int code : codes) {
        const QString orgDir = OrgDataDir(code);
        for (const auto &r : reports) {
            if (!ReportTableExists(orgDir, r->base, Year))
                continue;
            Job job;
            job.code = code;
            job.report = r.get();
            job.oldPath = ReportTablePath(orgDir, r->base, Year);
            job.tempPath = orgDir + QStringLiteral("O") + ReportFileName(r->base, Year);
            job.backupPath = backup + QStringLiteral("D") + QString::number(code) +
                             QLatin1Char('/') + QFileInfo(job.oldPath).fileName();
            try {
                const QFileInfo info(job.oldPath);
                OpenTable old(info.absolutePath(), info.fileName());
                QSet<QString> kept;
                for (const store::FieldDef &f : r->newFields)
                    kept.insert(f.name.toUpper());
                QStringList lost;
                for (int i = 0; i < old.ds.FieldCount(); ++i) {
                    const QString name = old.ds.FieldDefs()[i].name;
                    if (kept.contains(name.toUpper()))
                        continue;
                    for (old.ds.First(); !old.ds.Eof(); old.ds.Next()) {
                        if (holdsData(old.ds.Fields(i))) {
                            lost.append(name);
                            break;
                        }
                    }
                }
                for (const QString &name : lost)
                    result.problems.append(QStringLiteral("Таблица ") +
                                           QDir::toNativeSeparators(job.oldPath) +
                                           QStringLiteral(": поля ") + name +
                                           QStringLiteral(" с данными нет в бланке ") +
                                           QFileInfo(r->newBlank).fileName());
            } catch (const std::exception &e) {
                result.problems.append(QStringLiteral("Таблица ") +
                                       QDir::toNativeSeparators(job.oldPath) +
                                       QStringLiteral(" не открывается: ") + ExceptionText(e));
            }
            jobs.append(job);
        }
    }
    if (!result.problems.isEmpty())
        return result;

    // Build every new table aside, under its "O" name beside the old one.
    QStringList made;
    auto removeMade = [&made] {
        for (const QString &path : made)
            QFile::remove(path);
    };
    for (const Job &job : jobs) {
        try {
            CopyFileByStream(job.tempPath, job.report->newBlank);
            made.append(job.tempPath);
            copyValues(job.oldPath, job.tempPath);
        } catch (const std::exception &e) {
            removeMade();
            result.problems.append(QStringLiteral("Таблица ") +
                                   QDir::toNativeSeparators(job.oldPath) + QStringLiteral(": ") +
                                   ExceptionText(e));
            return result;
        }
    }

    // Swap the files: each old table and blank goes to the backup folder and
    // its replacement takes its name. On any failure every move is undone.
    struct Move {
        QString from, to;
    };
    QVector<Move> done;
    auto undo = [&] {
        for (auto it = done.crbegin(); it != done.crend(); ++it) {
            QFile::remove(it->from);
            QFile::rename(it->to, it->from);
        }
    };
    auto move = [&done](const QString &from, const QString &to) {
        moveFile(from, to);
        done.append({from, to});
    };
    try {
        for (const Job &job : jobs) {
            move(job.oldPath, job.backupPath);
            move(job.tempPath, job.oldPath);
        }
        for (const auto &r : reports) {
            const QString blank = store::findFileCaseInsensitive(wed, r->fail);
            const QString target = blank.isEmpty() ? wed + r->fail : blank;
            if (!blank.isEmpty())
                move(blank, backup + QFileInfo(blank).fileName());
            move(r->newBlank, target);
            result.blanksReplaced.append(r->fail);
        }
    } catch (const std::exception &e) {
        undo();
        removeMade();
        result.blanksReplaced.clear();
        result.problems.append(ExceptionText(e));
        return result;
    }
    QDir(backup).removeRecursively();

    QSet<int> orgs;
    for (const Job &job : jobs)
        orgs.insert(job.code);
    result.tablesRebuilt = jobs.size();
    result.organisations = orgs.size();
    result.ok = true;
    return result;
}

} // namespace service
