#include "books/ServiceRoutines.h"

#include "books/RebuildFiles.h"
#include "entry/ReportTables.h"
#include "shell/InstallationLock.h"
#include "shell/Paths.h"
#include "shell/UnitConsts.h"
#include "store/Dataset.h"
#include "store/ExceptionText.h"
#include "store/FolderTable.h"
#include "store/RecordCopy.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QVector>

#include <sys/stat.h>

#include <algorithm>
#include <functional>
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

// The backup folder's own names: the list of the files of a run under way,
// the same list once the run has put every table and blank in place, and the
// folder that keeps the restructure blank of a report that had no blank.
const QString kListFile = QStringLiteral("FILES.TXT");
const QString kDoneFile = QStringLiteral("DONE.TXT");
// What each new table and blank is (its digest), written once they are all
// built and before the first of them takes an old one's name: undoing puts
// an old table back only over the very file its run wrote.
const QString kSumsFile = QStringLiteral("SUMS.TXT");
const QString kKeptNewBlanks = QStringLiteral("NEW");

// The files of a folder found by name in any letter case, as the store finds
// them (findFileCaseInsensitive): the name as written when it is there, else
// the first in name order. One listing for every name asked; a folder that
// cannot be read throws FileError.
class FolderFiles {
public:
    explicit FolderFiles(const QString &folder) {
        for (const files::Entry &e : files::listFolder(folder)) {
            if (e.folder)
                continue;
            m_exact.insert(e.name);
            if (const QString key = e.name.toUpper(); !m_folded.contains(key))
                m_folded.insert(key, e.name);
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

// What a run changes, as its list of files says: all that undoing or
// finishing it needs, whatever the catalogue and the book say by then.
struct Plan {
    // DBF\D<code>\<file>, rebuilt as DBF\D<code>\<made> and kept as
    // REBUILD<year>\D<code>\<file>.
    struct Table {
        int code = 0;
        QString file, made;
        QByteArray sum; // of the new table (SUMS.TXT); empty when unknown
    };
    // WED\<newBlank> in the place of WED\<blank>, which is kept as
    // REBUILD<year>\<blank>; without a blank (empty), it takes the name
    // <fail> and is kept as REBUILD<year>\NEW\<newBlank>.
    struct Blank {
        QString blank, newBlank, fail;
        QByteArray sum; // of the new blank (SUMS.TXT); empty when unknown
    };
    QVector<Table> tables;
    QVector<Blank> blanks;
};

QByteArray listHead(int year) {
    return "KVR REBUILD " + QByteArray::number(year) + '\n';
}

// The list: the head, a line for each table and blank, "END" last.
QByteArray listText(int year, const Plan &plan) {
    QByteArray text = listHead(year);
    for (const Plan::Table &t : plan.tables)
        text += "TABLE\t" + QByteArray::number(t.code) + '\t' + t.file.toUtf8() + '\t' +
                t.made.toUtf8() + '\n';
    for (const Plan::Blank &b : plan.blanks)
        text += "BLANK\t" + b.blank.toUtf8() + '\t' + b.newBlank.toUtf8() + '\t' + b.fail.toUtf8() +
                '\n';
    return text + "END\n";
}

QByteArray digest(const QByteArray &bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
}

QByteArray sumsHead(int year) {
    return "KVR SUMS " + QByteArray::number(year) + '\n';
}

// The digests: the head, a line for each table and blank of the list, "END"
// last.
QByteArray sumsText(int year, const Plan &plan) {
    QByteArray text = sumsHead(year);
    for (const Plan::Table &t : plan.tables)
        text +=
            "TABLE\t" + QByteArray::number(t.code) + '\t' + t.file.toUtf8() + '\t' + t.sum + '\n';
    for (const Plan::Blank &b : plan.blanks)
        text += "BLANK\t" + b.fail.toUtf8() + '\t' + b.sum + '\n';
    return text + "END\n";
}

// Takes the digests into the plan read from the list. False when they are
// not whole (the run stopped while it wrote them, before any swap) or do
// not fit the list: then the plan keeps none.
bool readSums(const QByteArray &bytes, int year, Plan &plan) {
    Plan withSums = plan;
    QByteArray expected = sumsHead(year);
    if (!bytes.startsWith(expected) || !bytes.endsWith("\nEND\n"))
        return false;
    const QList<QByteArray> lines = bytes.mid(expected.size()).chopped(1).split('\n');
    if (lines.size() != plan.tables.size() + plan.blanks.size() + 1)
        return false;
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{40}$"));
    int i = 0;
    for (Plan::Table &t : withSums.tables) {
        const QList<QByteArray> f = lines[i++].split('\t');
        if (f.size() != 4 || f[0] != "TABLE" || f[1] != QByteArray::number(t.code) ||
            f[2] != t.file.toUtf8() || !hex.match(QString::fromLatin1(f[3])).hasMatch())
            return false;
        t.sum = f[3];
    }
    for (Plan::Blank &b : withSums.blanks) {
        const QList<QByteArray> f = lines[i++].split('\t');
        if (f.size() != 3 || f[0] != "BLANK" || f[1] != b.fail.toUtf8() ||
            !hex.match(QString::fromLatin1(f[2])).hasMatch())
            return false;
        b.sum = f[2];
    }
    plan = withSums;
    return true;
}

// A file name with no folder in it.
bool plainName(const QString &name) {
    static const QRegularExpression bad(QStringLiteral("[/\\\\\\t\\r\\n\\x{0}]"));
    return !name.isEmpty() && name != QStringLiteral(".") && name != QStringLiteral("..") &&
           !name.contains(bad);
}

enum class ListState { Whole, CutShort, NotOurs };

// Reads a list of the year: whole, cut short while it was written (its head
// or a part of it, and no end), or no list of this program.
ListState readList(const QByteArray &bytes, int year, Plan &plan) {
    const QByteArray head = listHead(year);
    if (!bytes.startsWith(head))
        return head.startsWith(bytes) ? ListState::CutShort : ListState::NotOurs;
    if (!bytes.endsWith("\nEND\n"))
        return ListState::CutShort;
    const QList<QByteArray> lines = bytes.mid(head.size()).chopped(1).split('\n');
    for (int i = 0; i + 1 < lines.size(); ++i) {
        const QStringList f = QString::fromUtf8(lines[i]).split(QLatin1Char('\t'));
        bool number = false;
        if (f.size() == 4 && f[0] == QStringLiteral("TABLE")) {
            const int code = f[1].toInt(&number);
            if (!number || code <= 0 || QString::number(code) != f[1] || !plainName(f[2]) ||
                !plainName(f[3]))
                return ListState::NotOurs;
            plan.tables.append({code, f[2], f[3], {}});
        } else if (f.size() == 4 && f[0] == QStringLiteral("BLANK")) {
            if ((!f[1].isEmpty() && !plainName(f[1])) || !plainName(f[2]) || !plainName(f[3]))
                return ListState::NotOurs;
            plan.blanks.append({f[1], f[2], f[3], {}});
        } else {
            return ListState::NotOurs;
        }
    }
    return ListState::Whole;
}

QString tableFolder(int code) {
    return QStringLiteral("D") + QString::number(code);
}

// Whether both names stand for one file.
bool sameFile(const QString &a, const QString &b) {
    struct stat sa, sb;
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// The temporary file that a copy into the backup folder cut short left
// beside the name it was writing (store/SaveFile.h).
bool copyLeftOf(const QString &name, const QString &of) {
    static const QRegularExpression tail(QStringLiteral("^\\.kvr\\d+-\\d+\\.tmp$"));
    return name.startsWith(of) && tail.match(QStringView(name).mid(of.size())).hasMatch();
}

// What a backup folder holds besides what its run may have written there
// (folders named by themselves, with all they hold), in name order; and the
// leftovers of copies cut short.
struct Contents {
    QStringList strangers;
    QStringList copyLeftovers; // full paths
};

Contents contents(const QString &backup, const QString &list, const Plan &plan) {
    QHash<QString, QStringList> expected; // folder below backup ("" for itself) -> file names
    expected[QString()].append(list);
    expected[QString()].append(kSumsFile);
    for (const Plan::Table &t : plan.tables)
        expected[tableFolder(t.code)].append(t.file);
    for (const Plan::Blank &b : plan.blanks) {
        if (b.blank.isEmpty())
            expected[kKeptNewBlanks].append(b.newBlank);
        else
            expected[QString()].append(b.blank);
    }
    Contents c;
    const std::function<void(const QString &)> walk = [&](const QString &sub) {
        const QString prefix = sub.isEmpty() ? QString() : sub + QLatin1Char('/');
        const QStringList names = expected.value(sub);
        for (const files::Entry &e : files::listFolder(backup + prefix)) {
            const QString relative = prefix + e.name;
            if (e.folder) {
                if (sub.isEmpty() && e.name != QString() && expected.contains(e.name))
                    walk(e.name);
                else
                    c.strangers.append(native(relative));
                continue;
            }
            if (names.contains(e.name))
                continue;
            if (std::any_of(names.begin(), names.end(),
                            [&](const QString &n) { return copyLeftOf(e.name, n); }))
                c.copyLeftovers.append(backup + relative);
            else
                c.strangers.append(native(relative));
        }
    };
    walk(QString());
    return c;
}

// Everything below a folder that no list accounts for, for the message.
QStringList everything(const QString &folder, const QString &prefix = QString()) {
    QStringList all;
    for (const files::Entry &e : files::listFolder(folder + prefix)) {
        const QString relative = prefix + e.name;
        const QStringList below =
            e.folder ? everything(folder, relative + QLatin1Char('/')) : QStringList();
        if (below.isEmpty())
            all.append(native(relative));
        all += below;
    }
    return all;
}

// What putting right one backup folder came to.
struct Outcome {
    enum class Kind { Nothing, NotOurs, Done, Stopped } kind = Kind::Nothing;
    QString text;         // Done: what was put right; NotOurs, Stopped: why it was left as it is
    bool half = false;    // Stopped on a run that had not put every table in place
    bool changed = false; // Done: a table or blank was put back or a kept copy removed
    // Stopped by an error of the system: the next start of the program tries
    // again (rather than something there for the user to move first).
    bool retry = false;
};

QString cleanedUpMessage(int year, const QString &backup) {
    return QStringLiteral("Удалена папка %1, оставшаяся от прерванного обслуживания БД за %2 год; "
                          "возвращать на место ничего не потребовалось.")
        .arg(native(backup))
        .arg(year);
}

// Removes a backup folder whose tables and blanks have gone: the leftovers
// of copies cut short, the emptied folders in it, its list last.
void removeBackupFolder(const QString &backup, const QString &list, const Contents &c) {
    for (const QString &f : c.copyLeftovers)
        files::remove(f);
    for (const files::Entry &e : files::listFolder(backup))
        if (e.folder)
            files::removeFolder(backup + e.name);
    files::remove(backup + kSumsFile);
    files::remove(backup + list);
    files::removeFolder(backup);
}

// Puts each folder's names on the disk, every folder once.
void syncFolders(const QStringList &folders) {
    QSet<QString> done;
    for (const QString &folder : folders)
        if (!done.contains(folder)) {
            done.insert(folder);
            files::sync(folder);
        }
}

// Whether the file under a table's or blank's name is one its run may have
// left there: none, the old one (kept under a second name, or a copy of
// it), or the new one the run wrote, by its digest. Anything else came
// after the run (a later rebuild, say, while the backup folder came back
// from an old copy of WED) and must not be replaced by the old one.
bool leftByTheRun(const QString &current, const QString &kept, const QByteArray &sum) {
    if (!files::exists(current) || sameFile(kept, current))
        return true;
    const QByteArray bytes = files::readWhole(current);
    return (!sum.isEmpty() && digest(bytes) == sum) || bytes == files::readWhole(kept);
}

// The tables and blanks that undoing the run would replace or remove but
// that are not what the run left there, by full path.
QStringList changedSince(const QString &wed, const QString &backup, const Plan &plan) {
    QStringList changed;
    for (const Plan::Table &t : plan.tables) {
        const QString dir = OrgDataDir(t.code);
        const QString kept = backup + tableFolder(t.code) + QLatin1Char('/') + t.file;
        if (files::exists(kept) && !leftByTheRun(dir + t.file, kept, t.sum))
            changed.append(native(dir + t.file));
        // A new table still aside is the run's own; once the digests are
        // written, it is the one they name.
        if (!t.sum.isEmpty() && files::exists(dir + t.made) &&
            digest(files::readWhole(dir + t.made)) != t.sum)
            changed.append(native(dir + t.made));
    }
    for (const Plan::Blank &b : plan.blanks) {
        if (!b.blank.isEmpty()) {
            const QString kept = backup + b.blank;
            if (files::exists(kept) && !leftByTheRun(wed + b.blank, kept, b.sum))
                changed.append(native(wed + b.blank));
        } else {
            const QString kept = backup + kKeptNewBlanks + QLatin1Char('/') + b.newBlank;
            if (files::exists(kept) && !files::exists(wed + b.newBlank) &&
                !leftByTheRun(wed + b.fail, kept, b.sum))
                changed.append(native(wed + b.fail));
        }
    }
    return changed;
}

// Undoes a run from its list: every old table and blank back under its name,
// every new table built aside removed, and all that on the disk before the
// list goes. Each step is one rename, link or removal that leaves a state the
// same steps finish, so that an undoing cut short is finished by the next
// one; a table's name never stands empty.
QString undo(int year, const QString &wed, const QString &backup, const Plan &plan,
             const Contents &c, bool &changed) {
    int tables = 0, blanks = 0, unfinished = 0;
    QStringList touched;
    for (const Plan::Table &t : plan.tables) {
        const QString dir = OrgDataDir(t.code);
        const QString kept = backup + tableFolder(t.code) + QLatin1Char('/') + t.file;
        if (files::exists(kept)) {
            tables += sameFile(kept, dir + t.file) ? 0 : 1;
            files::putBack(kept, dir + t.file);
            touched.append(dir);
        }
        if (files::exists(dir + t.made)) {
            files::remove(dir + t.made);
            touched.append(dir);
            ++unfinished;
        }
    }
    for (const Plan::Blank &b : plan.blanks) {
        const QString newBlank = wed + b.newBlank;
        if (!b.blank.isEmpty()) {
            const QString kept = backup + b.blank, blank = wed + b.blank;
            if (!files::exists(kept))
                continue;
            // The restructure blank under the blank's name gets its own back.
            if (!files::exists(newBlank) && files::exists(blank))
                files::keepCopy(blank, newBlank);
            blanks += sameFile(kept, blank) ? 0 : 1;
            files::putBack(kept, blank);
        } else {
            const QString kept = backup + kKeptNewBlanks + QLatin1Char('/') + b.newBlank;
            if (!files::exists(kept))
                continue;
            if (!files::exists(newBlank)) {
                files::remove(wed + b.fail);
                ++blanks;
            }
            files::putBack(kept, newBlank);
        }
        touched.append(wed);
    }
    syncFolders(touched);
    removeBackupFolder(backup, kListFile, c);
    changed = tables + blanks + unfinished > 0;
    if (!changed)
        return cleanedUpMessage(year, backup);
    return QStringLiteral("Предыдущее обслуживание БД за %1 год было прервано и отменено: "
                          "возвращено прежних таблиц: %2, бланков: %3; удалено недостроенных "
                          "таблиц: %4.")
        .arg(year)
        .arg(tables)
        .arg(blanks)
        .arg(unfinished);
}

// Finishes a run that had put everything in place: removes what it kept,
// its list last.
QString finish(int year, const QString &backup, const Plan &plan, const Contents &c,
               bool &changed) {
    changed = false;
    auto removeKept = [&](const QString &path) {
        if (files::exists(path)) {
            files::remove(path);
            changed = true;
        }
    };
    for (const Plan::Table &t : plan.tables)
        removeKept(backup + tableFolder(t.code) + QLatin1Char('/') + t.file);
    for (const Plan::Blank &b : plan.blanks)
        removeKept(b.blank.isEmpty() ? backup + kKeptNewBlanks + QLatin1Char('/') + b.newBlank
                                     : backup + b.blank);
    removeBackupFolder(backup, kDoneFile, c);
    if (!changed)
        return cleanedUpMessage(year, backup);
    return QStringLiteral("Предыдущее обслуживание БД за %1 год было прервано после того, как все "
                          "таблицы и бланки были заменены. Копии прежних таблиц из папки %2 "
                          "удалены.")
        .arg(year)
        .arg(native(backup));
}

// How a message names the run whose backup folder it is about: one cut short
// before, or the one that has just failed.
QString cutShortRun(int year, bool ownRun) {
    return ownRun ? QStringLiteral("Это обслуживание БД за %1 год не удалось, и ").arg(year)
                  : QStringLiteral("Предыдущее обслуживание БД за %1 год было прервано, но ")
                        .arg(year);
}

// Puts right the backup folder of a year: undoes the run whose list is
// there, or finishes it when the list says it had put everything in place.
// Nothing is put back or removed unless every file in the folder is one the
// run may have written, and every table and blank it would replace is one
// the run left there. OwnRun: the run that has just failed, not one cut
// short before.
Outcome recoverFolder(int year, const QString &wed, const QString &backup, bool ownRun = false) {
    Outcome o;
    if (!files::exists(backup))
        return o;
    bool underWay = true; // unknown until the list is read: the worse is assumed
    try {
        if (!QFileInfo(backup).isDir()) {
            o.kind = Outcome::Kind::NotOurs;
            o.text = QStringLiteral("Файл %1 занимает имя папки, в которой обслуживание БД "
                                    "хранит прежние таблицы. Перенесите или переименуйте его и "
                                    "повторите обслуживание БД.")
                         .arg(native(QDir::cleanPath(backup)));
            return o;
        }
        const QVector<files::Entry> top = files::listFolder(backup);
        o.kind = Outcome::Kind::Done;
        if (top.isEmpty()) {
            files::removeFolder(backup);
            o.text = cleanedUpMessage(year, backup);
            return o;
        }
        auto has = [&](const QString &name) {
            return std::any_of(top.begin(), top.end(),
                               [&](const files::Entry &e) { return !e.folder && e.name == name; });
        };
        const QString list = has(kDoneFile) ? kDoneFile : has(kListFile) ? kListFile : QString();
        underWay = list != kDoneFile;
        Plan plan;
        const ListState state = list.isEmpty()
                                    ? ListState::NotOurs
                                    : readList(files::readWhole(backup + list), year, plan);
        if (state == ListState::CutShort && list == kListFile && top.size() == 1) {
            // Cut short while the list was written: nothing else was made.
            files::remove(backup + kListFile);
            files::removeFolder(backup);
            o.text = cleanedUpMessage(year, backup);
            return o;
        }
        if (state != ListState::Whole) {
            o.kind = Outcome::Kind::NotOurs;
            o.text = QStringLiteral("Папку %1 создала не программа: в ней нет списка файлов "
                                    "обслуживания БД (в папке: %2). Перенесите или переименуйте "
                                    "эту папку и повторите обслуживание БД.")
                         .arg(native(backup), everything(backup).join(QStringLiteral(", ")));
            return o;
        }
        if (has(kSumsFile))
            readSums(files::readWhole(backup + kSumsFile), year, plan);
        const Contents c = contents(backup, list, plan);
        if (!c.strangers.isEmpty()) {
            o.kind = Outcome::Kind::Stopped;
            o.half = underWay;
            const QString strangers = c.strangers.join(QStringLiteral(", "));
            o.text = underWay
                         ? cutShortRun(year, ownRun) +
                               QStringLiteral("отменить его нельзя: в папке %1 есть то, чего "
                                              "программа туда не записывала: %2. Ничего не "
                                              "возвращено и не удалено. Перенесите названное из "
                                              "этой папки и запустите программу снова.")
                                   .arg(native(backup), strangers)
                         : QStringLiteral("В папке %2, оставшейся от завершенного обслуживания БД "
                                          "за %1 год, есть то, чего программа туда не записывала: "
                                          "%3. Папка оставлена как есть; перенесите названное из "
                                          "нее и повторите обслуживание БД.")
                               .arg(year)
                               .arg(native(backup), strangers);
            return o;
        }
        if (underWay) {
            if (const QStringList changed = changedSince(wed, backup, plan); !changed.isEmpty()) {
                o.kind = Outcome::Kind::Stopped;
                o.half = true;
                o.text =
                    cutShortRun(year, ownRun) +
                    QStringLiteral("отменить его нельзя: после него изменены файлы: %1. Ничего не "
                                   "возвращено и не удалено. Если папка %2 вернулась из "
                                   "старой копии папки WED, перенесите ее из WED и "
                                   "запустите программу снова.")
                        .arg(changed.join(QStringLiteral(", ")), native(backup));
                return o;
            }
        }
        o.text = underWay ? undo(year, wed, backup, plan, c, o.changed)
                          : finish(year, backup, plan, c, o.changed);
    } catch (const std::exception &e) {
        o.kind = Outcome::Kind::Stopped;
        o.half = underWay;
        o.retry = true;
        o.text = underWay ? QStringLiteral("Не удалось отменить обслуживание БД за %1 год: "
                                           "%2\rПрежние таблицы и бланки остаются в папке %3.")
                                .arg(year)
                                .arg(ExceptionText(e), native(backup))
                          : QStringLiteral("Не удалось удалить папку %2, оставшуюся от "
                                           "завершенного обслуживания БД за %1 год: %3")
                                .arg(year)
                                .arg(native(backup), ExceptionText(e));
    }
    return o;
}

// Puts right the backup folder of every year in WED. Folders without a list
// are left alone; notOurs (when asked) gets their texts by year.
Recovery recoverAll(QHash<int, QString> *notOurs) {
    Recovery r;
    const QString wed = paths::GetWedDir();
    static const QRegularExpression name(QStringLiteral("^REBUILD(\\d{4})$"));
    QVector<files::Entry> entries;
    try {
        entries = files::listFolder(wed);
    } catch (const std::exception &e) {
        r.problems.append(ExceptionText(e));
        return r;
    }
    for (const files::Entry &e : entries) {
        const QRegularExpressionMatch m = name.match(e.name);
        if (!m.hasMatch())
            continue;
        const int year = m.captured(1).toInt();
        const Outcome o = recoverFolder(year, wed, wed + e.name + QLatin1Char('/'));
        switch (o.kind) {
        case Outcome::Kind::Nothing:
            break;
        case Outcome::Kind::NotOurs:
            if (notOurs)
                notOurs->insert(year, o.text);
            break;
        case Outcome::Kind::Done:
            r.done.append(o.text);
            break;
        case Outcome::Kind::Stopped:
            r.problems.append(o.text);
            r.halfRebuilt = r.halfRebuilt || o.half;
            break;
        }
    }
    return r;
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

// A value as the message shows it: a memo field's text, not the number of
// its block (when the text cannot be read, the number it is).
QString shownValue(const store::TField &f) {
    if (f.Def().type == 'M') {
        try {
            return f.AsString();
        } catch (const std::exception &) {
        }
    }
    return f.StoredText();
}

// The value a problem names, read again from the old table when it is a
// memo field's.
QString problemValue(const Job &job, const store::CarryProblem &p) {
    try {
        const QFileInfo old(job.oldPath);
        OpenTable t(old.absolutePath(), old.fileName());
        const int i = t.ds.FieldIndex(p.field);
        if (i >= 0 && t.ds.FieldDefs()[i].type == 'M') {
            t.ds.setRecNo(p.row);
            return shownValue(t.ds.Fields(i));
        }
    } catch (const std::exception &) {
    }
    return p.value;
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
    return valueProblem(job, p.row, p.field, problemValue(job, p), reason);
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
                        valueProblem(job, n, from.FieldName(), shownValue(from), reason));
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
        if (putBackAtNextStart)
            text += QStringLiteral("\rОни будут возвращены на место при следующем запуске "
                                   "программы.");
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
                QStringLiteral("); она будет удалена при следующем запуске программы.");
    return text;
}

Recovery RecoverInterruptedRebuilds() {
    return recoverAll(nullptr);
}

bool InterruptedRebuildPending() {
    static const QRegularExpression name(QStringLiteral("^REBUILD\\d{4}$"));
    const QString wed = paths::GetWedDir();
    for (const files::Entry &e : files::listFolder(wed))
        if (e.folder && name.match(e.name).hasMatch() &&
            files::exists(wed + e.name + QLatin1Char('/') + kListFile))
            return true;
    return false;
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

// The tables to rebuild, organisation by organisation. A folder that cannot
// be read throws; a new table's name that a file holds already is a problem.
QVector<Job> jobsOf(const Installation &inst, const std::vector<std::unique_ptr<Report>> &reports,
                    QStringList &problems) {
    QVector<Job> jobs;
    if (reports.empty())
        return jobs;
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
            job.backupPath = inst.backup + tableFolder(org.code) + QLatin1Char('/') + file;
            if (const QString taken = there.find(QFileInfo(job.tempPath).fileName());
                !taken.isEmpty())
                problems.append(QStringLiteral("В папке %1 уже есть файл %2, а обслуживание БД "
                                               "строит под этим именем новую таблицу. Перенесите "
                                               "этот файл из папки и повторите обслуживание БД.")
                                    .arg(native(dir), taken));
            jobs.append(job);
        }
    }
    return jobs;
}

// What the run will write: every table and blank, each blank with the
// digest of its new one (known before the run; the tables' once built aside).
Plan planOf(const QVector<Job> &jobs, const std::vector<std::unique_ptr<Report>> &reports) {
    Plan plan;
    for (const Job &job : jobs)
        plan.tables.append({job.org->code,
                            QFileInfo(job.oldPath).fileName(),
                            QFileInfo(job.tempPath).fileName(),
                            {}});
    for (const auto &r : reports)
        plan.blanks.append({r->blank.isEmpty() ? QString() : QFileInfo(r->blank).fileName(),
                            QFileInfo(r->newBlank).fileName(), r->fail, digest(r->newBlankBytes)});
    return plan;
}

// Reads and checks every table and writes its new version aside, and takes
// the digest of each into the plan. Once a value has stopped the rebuild,
// only what the remaining checks need is written.
void buildAside(const QVector<Job> &jobs, const QDate &Today, QStringList &problems, Plan &plan) {
    for (int i = 0; i < jobs.size(); ++i) {
        const Job &job = jobs[i];
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
        if (!made.carried && made.problems.isEmpty()) {
            carryThroughDatasets(job, problems);
            if (problems.isEmpty())
                plan.tables[i].sum = digest(files::readWhole(job.tempPath));
        } else if (problems.isEmpty()) {
            files::writeNew(job.tempPath, made.table);
            plan.tables[i].sum = digest(made.table);
        }
    }
}

// Puts every new table and blank in the place of the old one, keeping the
// old ones in the backup folder. First every old file gets its second name
// there, and those names go on the disk; then the new files take their
// names, and those go on the disk too: a power cut never leaves an old
// table with no name, nor the run marked done with a swap lost.
void swapIn(const Installation &inst, const QVector<Job> &jobs,
            const std::vector<std::unique_ptr<Report>> &reports, QStringList &blanksReplaced) {
    QStringList keptIn, swappedIn;
    for (const Job &job : jobs) {
        const QString folder = QFileInfo(job.backupPath).absolutePath() + QLatin1Char('/');
        if (keptIn.isEmpty() || keptIn.last() != folder) {
            files::makeFolder(folder);
            keptIn.append(folder);
        }
        files::keepCopy(job.oldPath, job.backupPath);
    }
    const QString keptNew = inst.backup + kKeptNewBlanks + QLatin1Char('/');
    for (const auto &r : reports) {
        if (!r->blank.isEmpty()) {
            files::keepCopy(r->blank, inst.backup + QFileInfo(r->blank).fileName());
            continue;
        }
        if (!keptIn.contains(keptNew)) {
            files::makeFolder(keptNew);
            keptIn.append(keptNew);
        }
        files::keepCopy(r->newBlank, keptNew + QFileInfo(r->newBlank).fileName());
    }
    keptIn.append(inst.backup);
    syncFolders(keptIn);

    for (const Job &job : jobs) {
        files::replace(job.tempPath, job.oldPath);
        swappedIn.append(QFileInfo(job.oldPath).absolutePath() + QLatin1Char('/'));
    }
    for (const auto &r : reports) {
        files::replace(r->newBlank, r->blank.isEmpty() ? inst.wed + r->fail : r->blank);
        blanksReplaced.append(r->fail);
        swappedIn.append(inst.wed);
    }
    syncFolders(swappedIn);
}

// After a failure: every file back as it was. False when the run had been
// marked done and the mark could not be taken back: then every table and
// blank is in place and the run stands.
bool undoFailedRun(const Installation &inst, RebuildResult &result) {
    if (files::exists(inst.backup + kDoneFile)) {
        try {
            files::replace(inst.backup + kDoneFile, inst.backup + kListFile);
        } catch (const std::exception &) {
            return false;
        }
    }
    result.blanksReplaced.clear();
    const Outcome o = recoverFolder(inst.year, inst.wed, inst.backup, true);
    if (o.kind == Outcome::Kind::Stopped) {
        result.unchanged = false;
        result.halfRebuilt = true;
        result.putBackAtNextStart = o.retry;
        result.problems.append(o.text);
    }
    return true;
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

    // The installation to itself: no other copy at work, none rebuilding.
    std::optional<installation::ExclusiveHold> hold;
    try {
        hold.emplace();
    } catch (const std::exception &e) {
        result.problems.append(ExceptionText(e));
        return result;
    }
    if (hold->conflict() != installation::Conflict::None) {
        result.refused = true;
        result.problems.append(hold->conflict() == installation::Conflict::OtherCopies
                                   ? QStringLiteral("С этими данными работают другие копии "
                                                    "программы. Закройте их и повторите "
                                                    "обслуживание БД.")
                                   : QStringLiteral("Другая копия программы сейчас выполняет "
                                                    "обслуживание БД."));
        return result;
    }

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

    QHash<int, QString> notOurs;
    const Recovery recovery = recoverAll(&notOurs);
    result.recovered = recovery.done.join(QLatin1Char('\r'));
    if (!recovery.problems.isEmpty()) {
        result.problems += recovery.problems;
        result.halfRebuilt = recovery.halfRebuilt;
        if (result.halfRebuilt)
            hold->keepToTheEnd(); // no copy may work on them until they are put right
        return result;
    }
    if (notOurs.contains(inst.year))
        result.problems.append(notOurs.value(inst.year));
    if (!result.problems.isEmpty())
        return result;

    std::vector<std::unique_ptr<Report>> reports;
    QVector<Job> jobs;
    try {
        reports = reportsToRebuild(inst, result.problems);
        jobs = jobsOf(inst, reports, result.problems);
    } catch (const std::exception &e) {
        result.problems.append(ExceptionText(e));
    }
    if (!result.problems.isEmpty())
        return result;

    // The list of what the run will write goes first, on the disk with its
    // folder's name, so that whatever stops the run, the next one knows
    // every file it may find.
    Plan plan = planOf(jobs, reports);
    try {
        files::makeFolder(inst.backup);
        files::writeNew(inst.backup + kListFile, listText(inst.year, plan));
        files::sync(inst.backup);
        files::sync(inst.wed);
        buildAside(jobs, Today, result.problems, plan);
        if (result.problems.isEmpty()) {
            files::writeNew(inst.backup + kSumsFile, sumsText(inst.year, plan));
            files::sync(inst.backup);
            swapIn(inst, jobs, reports, result.blanksReplaced);
            // Done: the list takes the name that says so, on the disk
            // before anything kept is removed.
            files::replace(inst.backup + kListFile, inst.backup + kDoneFile);
            files::sync(inst.backup);
        }
    } catch (const std::exception &e) {
        result.problems.append(ExceptionText(e));
    }
    if (!result.problems.isEmpty() && undoFailedRun(inst, result)) {
        if (result.halfRebuilt)
            hold->keepToTheEnd(); // no copy may work on them until they are put right
        return result;
    }
    if (!result.problems.isEmpty()) {
        result.leftover = result.problems.join(QStringLiteral("; "));
        result.problems.clear();
    } else {
        try {
            bool changed = false;
            finish(inst.year, inst.backup, plan, contents(inst.backup, kDoneFile, plan), changed);
        } catch (const std::exception &e) {
            result.leftover = ExceptionText(e);
        }
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
