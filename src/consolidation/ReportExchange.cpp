#include "consolidation/ReportExchange.h"

#include "shell/UnitConsts.h"
#include "store/Cp1251.h"
#include "store/Dataset.h"
#include "store/ExceptionText.h"
#include "store/FolderTable.h"
#include "store/SaveFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace exchange {

namespace {

const QString kError = QStringLiteral("Ошибка");
const QString kMessage = QStringLiteral("Сообщение");

msg::Request warning(const QString &title, const QString &text) {
    return msg::Request{title, text, msg::Icon::Warning, msg::Buttons::Ok};
}

// A folder path joined with a name: one "/" between them.
QString join(const QString &folder, const QString &name) {
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

bool isFolder(const QString &path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

// Whether two existing folders are one, also through links or "..".
bool sameFolder(const QString &a, const QString &b) {
    if (a.isEmpty() || b.isEmpty())
        return false;
    const QFileInfo fa(a), fb(b);
    if (fa.exists() && fb.exists())
        return fa.canonicalFilePath() == fb.canonicalFilePath();
    return QDir::cleanPath(fa.absoluteFilePath()) == QDir::cleanPath(fb.absoluteFilePath());
}

// Whether an existing folder lies inside another one (or is it), also
// through links or "..".
bool insideFolder(const QString &path, const QString &root) {
    const QString p = QFileInfo(path).canonicalFilePath();
    const QString r = QFileInfo(root).canonicalFilePath();
    if (p.isEmpty() || r.isEmpty())
        return false;
    return p == r || p.startsWith(r.endsWith(QLatin1Char('/')) ? r : r + QLatin1Char('/'));
}

// Whether an existing folder is, through links or not, the tree's root or
// lies in it or in one of the root's folders (each of which may be a link
// to a folder elsewhere).
bool insideTree(const QString &path, const QString &root) {
    QStringList folders{root};
    for (const QFileInfo &sub :
         QDir(root).entryInfoList(QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        folders << sub.filePath();
    return std::any_of(folders.cbegin(), folders.cend(),
                       [&](const QString &folder) { return insideFolder(path, folder); });
}

// Makes room for a new file: an entry that is a link (to anything, or to
// nothing) or no regular file is removed, so that the copy never writes
// through it. Throws FileError when it cannot be removed (a folder that
// holds files).
void clearDestination(const QString &path) {
    const QFileInfo info(path);
    if (!info.isSymLink() && (!info.exists() || info.isFile()))
        return;
    const bool removed =
        info.isDir() && !info.isSymLink() ? QDir().rmdir(path) : QFile::remove(path);
    if (!removed)
        throw FileError(QStringLiteral("%1 не является файлом и не может быть заменен.").arg(path));
}

// Removes every entry of the folder whose name is the file's in any letter
// case (a file, a link, a pipe, an empty folder), so that the file is made
// afresh and never written through a link. Throws FileError.
void clearAllNamed(const QString &folder, const QString &name) {
    const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden |
                                                       QDir::System | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        const QString path = join(folder, entry);
        const QFileInfo info(path);
        if (info.isFile() && !info.isSymLink() && !QFile::remove(path))
            throw FileError(QStringLiteral("Не удалось удалить файл %1.").arg(path));
        clearDestination(path);
    }
}

// The file of that name in the folder in any letter case, or where a new one
// goes.
QString fileIn(const QString &folder, const QString &name) {
    const QString found = store::findFileCaseInsensitive(folder, name);
    return found.isEmpty() ? join(folder, name) : found;
}

using store::FolderTable;

// The table base name of a catalogue FAIL text: the text before its first ".".
QString baseOf(const QString &fail) {
    const int dot = fail.indexOf(QLatin1Char('.'));
    return dot < 0 ? fail : fail.left(dot);
}

// Why a received table may not replace the organisation's, or empty when it
// may: it must be a regular file that opens as a dBASE table with the fields
// of its report's blank.
QString receivedFileFault(const QString &file, const QString &table, const QString &blank) {
    const QFileInfo info(file);
    if (info.isSymLink())
        return QStringLiteral("это ссылка на другой файл, а не файл отчета");
    if (!info.isFile())
        return QStringLiteral("это не файл");
    if (blank.isEmpty())
        return QStringLiteral("нет бланка отчета для сверки");
    QVector<store::FieldDef> wanted;
    try {
        wanted = store::DbfFile::fieldsOf(blank);
    } catch (const std::exception &e) {
        return QStringLiteral("бланк отчета не читается (") + ExceptionText(e) + QLatin1Char(')');
    }
    QVector<store::FieldDef> got;
    try {
        FolderTable t(info.absolutePath(), table);
        got = t.ds.FieldDefs();
    } catch (const std::exception &e) {
        return QStringLiteral("файл не является таблицей отчета (") + ExceptionText(e) +
               QLatin1Char(')');
    }
    // Names, types, widths and decimals as in the blank: a narrower column
    // would read as "*" and drop the organisation's figures from its sums.
    auto describe = [](const store::FieldDef &d) {
        return QStringLiteral("%1 (%2 %3.%4)")
            .arg(d.name, QChar::fromLatin1(d.type))
            .arg(d.length)
            .arg(d.decimals);
    };
    const QString lead = QStringLiteral("поля таблицы не совпадают с полями бланка отчета: ");
    for (qsizetype i = 0; i < std::max(got.size(), wanted.size()); ++i) {
        if (i >= wanted.size())
            return lead + QStringLiteral("лишнее поле ") + describe(got[i]);
        if (i >= got.size())
            return lead + QStringLiteral("нет поля ") + describe(wanted[i]);
        const store::FieldDef &g = got[i], &w = wanted[i];
        if (g.name.compare(w.name, Qt::CaseInsensitive) != 0 || g.type != w.type ||
            g.length != w.length || g.decimals != w.decimals)
            return lead + QStringLiteral("поле ") + describe(g) +
                   QStringLiteral(" не совпадает с полем бланка ") + describe(w);
    }
    return QString();
}

// BANK and INNO of REGIM's first record, as read; empty when they cannot be
// read.
void readRequisites(const QString &programDir, QString &bank, QString &inno) {
    bank.clear();
    inno.clear();
    try {
        FolderTable regim(programDir, QStringLiteral("REGIM"));
        regim.ds.First();
        if (!regim.ds.IsEmpty()) {
            bank = regim.ds.FieldByName(QStringLiteral("BANK")).AsString();
            inno = regim.ds.FieldByName(QStringLiteral("INNO")).AsString();
        }
    } catch (const std::exception &) {
        bank.clear();
        inno.clear();
    }
}

} // namespace

QString BadCellsQuestion(const BuildAllOutcome &Built) {
    QString text = QStringLiteral("В отчетах организаций найдены ячейки, в которых записано не "
                                  "число: %1.\rВ сводах они не учтены как числа.\r\r")
                       .arg(Built.badCellCount) +
                   Built.badCells.join(QLatin1Char('\r'));
    if (Built.badCellCount > Built.badCells.size())
        text += QStringLiteral("\r...");
    return text + QStringLiteral("\r\rПередать отчеты?");
}

// --- the identity file --------------------------------------------------------

QByteArray IdentityFileContents(const QString &Inn, const QString &Name) {
    QByteArray out;
    for (const QString &line : {Inn, Name}) {
        QByteArray bytes;
        if (!store::cp1251::encode(line, bytes))
            throw FileError(
                QStringLiteral("Текст \"%1\" нельзя записать в кодировке Windows-1251.").arg(line));
        out += bytes;
        out += "\r\n";
    }
    return out;
}

QStringList IdentityFileLines(const QByteArray &Contents) {
    QStringList lines;
    const QString text = store::cp1251::decode(Contents);
    qsizetype start = 0;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines << text.mid(start, i - start);
            if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            start = i + 1;
        }
        ++i;
    }
    if (start < n)
        lines << text.mid(start);
    return lines;
}

bool InnMatches(const QString &IdentityInn, const QString &OrganisationInn) {
    if (IdentityInn.trimmed().isEmpty() || OrganisationInn.trimmed().isEmpty())
        return false;
    return IdentityInn == OrganisationInn;
}

// --- copying ------------------------------------------------------------------

QString CopiedReportsText(const QMap<int, QString> &Copied, int RecordCount) {
    if (Copied.isEmpty())
        return QStringLiteral("Не было скопировано ни одного отчета. Нет файлов.");
    QString text = QStringLiteral("Были скопированы следующие отчеты: ");
    for (int pos = 1; pos <= RecordCount; ++pos) {
        const auto it = Copied.constFind(pos);
        if (it != Copied.constEnd())
            text += QLatin1Char(' ') + it.value() + QStringLiteral(", ");
        if (pos % 5 == 1)
            text += QLatin1Char('\r');
    }
    text.chop(2);
    text += QLatin1Char('.');
    return text;
}

CopyOutcome CopyReports(const CopyParams &Params) {
    CopyOutcome out;
    const QString year = QString::number(Params.year);
    const QString catalogue = QStringLiteral("OTHE") + year;

    // The catalogue's FAIL and FORMA, read whole before anything is copied.
    struct Entry {
        QString fail;
        QString forma;
    };
    QVector<Entry> entries;
    bool haveCatalogue = false;
    if (store::fileExistsCaseInsensitive(Params.wedDir, catalogue + QStringLiteral(".DBF"))) {
        try {
            FolderTable othe(Params.wedDir, catalogue);
            store::TADODataSet &ds = othe.ds;
            for (ds.First(); !ds.Eof(); ds.Next())
                entries.append({ds.FieldByName(QStringLiteral("FAIL")).AsString(),
                                ds.FieldByName(QStringLiteral("FORMA")).AsString()});
            haveCatalogue = true;
        } catch (const std::exception &) {
            entries.clear();
        }
    }
    if (!haveCatalogue) {
        out.catalogueRecords = -1;
        out.messages << msg::Request{kMessage, QStringLiteral("В базе нет данных за этот период!"),
                                     msg::Icon::None, msg::Buttons::Ok};
        return out;
    }
    out.catalogueRecords = static_cast<int>(entries.size());

    for (int pos = 1; pos <= out.catalogueRecords; ++pos) {
        const Entry &e = entries[pos - 1];
        if (e.fail.trimmed().isEmpty())
            continue;
        const QString base = baseOf(e.fail);
        // A table of the folder itself, never of another one.
        if (base.contains(QLatin1Char('/')) || base.contains(QLatin1Char('\\')))
            continue;
        const QString name = base + year + QStringLiteral(".DBF");
        const QString source = store::findFileCaseInsensitive(Params.source, name);
        if (source.isEmpty() && !QFileInfo(join(Params.source, name)).isSymLink())
            continue;
        const QString from = source.isEmpty() ? join(Params.source, name) : source;
        if (Params.checkReceived) {
            const QString fault =
                receivedFileFault(from, QFileInfo(from).completeBaseName(),
                                  store::findFileCaseInsensitive(Params.wedDir, e.fail));
            if (!fault.isEmpty()) {
                out.rejected << QFileInfo(from).fileName() + QStringLiteral(" - ") + fault;
                continue;
            }
        }
        const QString to = fileIn(Params.destination, name);
        try {
            clearDestination(to);
            CopyFileByStream(to, from);
        } catch (const std::exception &ex) {
            out.messages << warning(kError, QStringLiteral("Не удалось скопировать отчет ") + name +
                                                QStringLiteral("!\r\r") + ExceptionText(ex));
            out.ok = false;
            out.failed = true;
            return out;
        }
        out.copied.insert(pos, e.forma);
        out.copiedFiles << to;
    }

    if (!out.rejected.isEmpty())
        out.messages << warning(kError,
                                QStringLiteral("Следующие файлы не приняты: они повреждены или не "
                                               "являются отчетами этого периода.\r") +
                                    QStringLiteral("\r") + out.rejected.join(QStringLiteral("\r")));
    out.ok = !out.copied.isEmpty();
    out.messages << msg::Request{kMessage, CopiedReportsText(out.copied, out.catalogueRecords),
                                 msg::Icon::None, msg::Buttons::Ok};
    return out;
}

// --- sending ------------------------------------------------------------------

Outcome SendReports(const SendParams &Params) {
    Outcome out;
    const QString source = QDir::cleanPath(Params.set1Dir);

    QString bank, inno;
    readRequisites(Params.programDir, bank, inno);
    if (inno.trimmed().isEmpty() || bank.trimmed().isEmpty()) {
        out.messages << warning(
            kMessage, QStringLiteral("Не заполнены данные о Наименовании и ИНН организации!\r\r"
                                     "Зайдите в \"Настройка\" -> \"Реквизиты\" и заполните данные "
                                     "по организации."));
        return out;
    }
    if (!isFolder(Params.exchangeDir)) {
        out.messages << warning(
            kError, QStringLiteral("Директория, куда необходимо записать данные не найдена!\r\r"
                                   "Директория ") +
                        Params.exchangeDir + QStringLiteral(" не найдена."));
        return out;
    }
    // Copying the consolidations onto themselves would empty them.
    if (sameFolder(Params.exchangeDir, source)) {
        out.messages << warning(
            kError, QStringLiteral("Директория, куда необходимо записать данные, является "
                                   "директорией сводных отчетов!\r\rДиректория ") +
                        Params.exchangeDir +
                        QStringLiteral(" не может быть выбрана. Укажите другую директорию."));
        return out;
    }

    // Sending into the program's own data would replace an organisation's
    // reports, the blanks or the archived reports with consolidations: DBF,
    // WED, ARX and each folder in them, wherever a link takes it.
    const QString dbf =
        Params.dbfDir.isEmpty() ? join(Params.programDir, QStringLiteral("DBF")) : Params.dbfDir;
    const QString arx = Params.archiveDir.isEmpty() ? join(Params.programDir, QStringLiteral("ARX"))
                                                    : Params.archiveDir;
    const auto refuse = [&](const QString &where) {
        out.messages << warning(
            kError, QStringLiteral("Директория, куда необходимо записать данные, находится ") +
                        where + QStringLiteral("!\r\rДиректория ") + Params.exchangeDir +
                        QStringLiteral(" не может быть выбрана. Укажите другую директорию."));
    };
    if (insideTree(Params.exchangeDir, dbf) || insideTree(Params.exchangeDir, Params.wedDir)) {
        refuse(QStringLiteral("в папке данных программы"));
        return out;
    }
    if (insideTree(Params.exchangeDir, arx)) {
        refuse(QStringLiteral("в архиве программы"));
        return out;
    }

    if (Params.buildAll) {
        out.built = true;
        const BuildAllOutcome built = Params.buildAll();
        if (!built.ok) {
            // Stale or partial consolidations are not sent as if current.
            QString text = QStringLiteral("Не удалось подготовить сводный отчет");
            if (!built.failedReport.isEmpty())
                text += QStringLiteral(" \"") + built.failedReport + QLatin1Char('"');
            text += QStringLiteral("!");
            if (!built.error.isEmpty())
                text += QStringLiteral("\r\r") + built.error;
            text += QStringLiteral("\r\rОтчеты не переданы.");
            out.messages << warning(kError, text);
            return out;
        }
        if (built.badCellCount > 0 && Params.confirmBadCells &&
            !Params.confirmBadCells(BadCellsQuestion(built)))
            return out;
    }

    if (!isFolder(source)) {
        out.messages << warning(kError,
                                QStringLiteral("Нет отчетов за данный период!\r\rДиректория ") +
                                    source + QStringLiteral(" не найдена."));
        return out;
    }

    CopyParams copy;
    copy.year = Params.year;
    copy.wedDir = Params.wedDir;
    copy.source = source;
    copy.destination = Params.exchangeDir;
    out.copy = CopyReports(copy);
    out.messages << out.copy.messages;
    if (out.copy.failed)
        return out;

    // The identity file goes beside the tables whether or not any was copied.
    try {
        const QByteArray contents = IdentityFileContents(inno, bank);
        clearAllNamed(Params.exchangeDir, kIdentityFile);
        const QString identity = join(Params.exchangeDir, kIdentityFile);
        store::SaveFile file(identity);
        if (!file.open() || !file.write(contents) || !file.commit())
            throw FileError(QStringLiteral("Не удалось записать файл ") + identity +
                            QStringLiteral(": ") + file.errorString());
    } catch (const std::exception &e) {
        out.messages << warning(kError, ExceptionText(e));
        return out;
    }
    out.ok = out.copy.ok;
    return out;
}

// --- receiving ----------------------------------------------------------------

Outcome ReceiveReports(const ReceiveParams &Params) {
    Outcome out;
    auto fail = [&out](const QString &text) { out.messages << warning(kError, text); };

    if (Params.orgCode == 0) {
        fail(QStringLiteral("Не указана организация, в которую необходимо принять отчеты!\r\r"
                            "Нажмите \"Указать\" и выберите организацию."));
        return out;
    }
    const QString target = Params.orgDataDir;
    const QString identityPath = join(Params.exchangeDir, kIdentityFile);
    const QString identityTail =
        QStringLiteral("Нет возможности проверить ИНН организации, сдающей сводные отчеты!\r\r"
                       "Файл данных организации ") +
        identityPath;

    if (!isFolder(Params.exchangeDir)) {
        fail(QStringLiteral("Директория, откуда необходимо загрузить данные не найдена!\r\r"
                            "Директория ") +
             Params.exchangeDir + QStringLiteral(" не найдена."));
        fail(identityTail + QStringLiteral(" не найден."));
        return out;
    }
    const QString identity = store::findFileCaseInsensitive(Params.exchangeDir, kIdentityFile);
    if (identity.isEmpty() || !QFileInfo(identity).isFile()) {
        fail(identityTail + QStringLiteral(" не найден."));
        return out;
    }
    QStringList lines;
    {
        QFile file(identity);
        const bool tooLong = QFileInfo(identity).size() > kMaxIdentityFileSize;
        if (tooLong || !file.open(QIODevice::ReadOnly)) {
            fail(identityTail + QStringLiteral(" поврежден."));
            return out;
        }
        lines = IdentityFileLines(file.read(kMaxIdentityFileSize + 1));
    }
    if (lines.size() < 2) {
        fail(identityTail + QStringLiteral(" поврежден."));
        return out;
    }
    const QString inn = lines.at(0);

    // Receiving a folder into itself would empty its tables.
    if (sameFolder(Params.exchangeDir, target)) {
        fail(QStringLiteral("Директория, откуда необходимо загрузить данные, является директорией "
                            "данных этой организации!\r\rДиректория ") +
             Params.exchangeDir +
             QStringLiteral(" не может быть выбрана. Укажите другую директорию."));
        return out;
    }

    bool opened = false;
    bool found = false;
    QString orgInn;
    try {
        FolderTable school(Params.programDir, QStringLiteral("SCHOOL"));
        store::TADODataSet &ds = school.ds;
        opened = true;
        if (!ds.IsEmpty() && ds.Locate(QStringLiteral("KOD"), Params.orgCode)) {
            found = true;
            orgInn = ds.FieldByName(QStringLiteral("INN_O")).AsString();
        }
    } catch (const std::exception &) {
        // Shown below as the INN that could not be checked.
    }
    if (!opened) {
        fail(QStringLiteral("Не удалось проверить ИНН организации, предоставляющей сводные "
                            "отчеты!"));
        return out;
    }
    if (!found) {
        fail(QStringLiteral("Организация с кодом ") + QString::number(Params.orgCode) +
             QStringLiteral(" не найдена в справочнике организаций!"));
        return out;
    }
    if (!InnMatches(inn, orgInn)) {
        fail(QStringLiteral("ИНН указанной организации не соответствует ИНН организации, "
                            "предоставящей сводные отчеты!"));
        return out;
    }

    // Every check has passed: only now is the organisation's folder made.
    if (!QFileInfo(target).isDir() && !QDir().mkpath(target)) {
        fail(QStringLiteral("Директория, куда необходимо записать данные не найдена!\r\r"
                            "Директория ") +
             target + QStringLiteral(" не найдена и не может быть создана."));
        return out;
    }

    CopyParams copy;
    copy.year = Params.year;
    copy.wedDir = Params.wedDir;
    copy.source = Params.exchangeDir;
    copy.destination = target;
    copy.checkReceived = true;
    out.copy = CopyReports(copy);
    out.messages << out.copy.messages;
    out.ok = out.copy.ok;
    return out;
}

} // namespace exchange
