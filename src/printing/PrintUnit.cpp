#include "printing/PrintUnit.h"

#include "printing/PrintAskUnit.h"
#include "printing/PrintEngine.h"
#include "printing/SheetFill.h"
#include "printing/TemplateFill.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "shell/Paths.h"
#include "shell/UnitConsts.h"
#include "shell/WaitCursor.h"
#include "store/ExceptionText.h"
#include "store/SaveFile.h"
#include "store/SystemError.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <memory>

namespace {

std::function<ColumnSvodInfo()> &columnSvodNames() {
    static std::function<ColumnSvodInfo()> source;
    return source;
}

const QString kPrintTitle = QStringLiteral("Печать");

void showPrintError() {
    msg::show(QString(), QStringLiteral("Ошибка печати!\rВозможно не подключен принтер."));
}

// A print that failed for a reason other than the printer, said as it is.
void showNotPrinted(const QString &why) {
    msg::show(kPrintTitle, QStringLiteral("Печать не выполнена:\r") + why, msg::Icon::Warning);
}

// The spreadsheet program ended (it crashed, or was ended) while it made
// the print: a failure, though not of the printer.
void showEnded(const QString &why) {
    msg::show(QStringLiteral("Ошибка"), QStringLiteral("Печать не выполнена:\r") + why,
              msg::Icon::Warning);
}

// The default printer took the job but is stopped: the job waits.
void showWaiting(const sheet::PrintedJob &job, const QString &title) {
    msg::show(kPrintTitle,
              QStringLiteral("Принтер \"%1\" остановлен.\rЗадание \"%2\" ждет в его очереди и "
                             "будет напечатано, когда принтер снова включат.")
                  .arg(job.printer, title),
              msg::Icon::Information);
}

// The title of a print job: what is printed, and for whom.
QString jobTitle(const QString &what, const QString &title) {
    const QString whom = title.trimmed();
    return whom.isEmpty() ? what : what + QStringLiteral(" — ") + whom;
}

// Removes the working copies "BTEMP-<process>-<letters>.XLS" that a copy of
// the program killed while printing left in the folder, with the lock files
// ".~lock.BTEMP-<process>-<letters>.XLS#" that its office left beside them:
// those whose process no longer runs. Copies and lock files of running
// processes, this one's included, and any other file stay.
void removeLeftWorkingCopies(const QString &folder) {
    // A working copy, or a lock file (".~lock." before the name, "#" after it).
    static const QRegularExpression own(
        QStringLiteral("^(\\.~lock\\.)?BTEMP-([1-9][0-9]{0,8})-[^/#]*\\.XLS(#?)$"),
        QRegularExpression::CaseInsensitiveOption);
    const QStringList names = QDir(folder).entryList(
        {QStringLiteral("BTEMP-*"), QStringLiteral(".~lock.BTEMP-*")}, QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        const QRegularExpressionMatch m = own.match(name);
        if (!m.hasMatch() || m.hasCaptured(1) != (m.capturedLength(3) > 0))
            continue;
        if (!store::processRuns(m.capturedView(2).toLongLong()))
            QFile::remove(QDir(folder).filePath(name));
    }
}

// A new empty file of its own in the folder, named after the pattern with
// XXXXXX replaced, for the caller to fill and remove.
QString ownFile(const QString &folder, const QString &pattern) {
    QByteArray name = QFile::encodeName(folder + pattern);
    const int suffix = int(name.size() - name.lastIndexOf("XXXXXX") - 6);
    const int fd = ::mkstemps(name.data(), suffix);
    if (fd < 0)
        throw FileError(QStringLiteral("Не удалось создать файл в папке \"%1\": %2")
                            .arg(QDir::toNativeSeparators(folder), store::systemErrorText(errno)));
    ::close(fd);
    return QFile::decodeName(name);
}

// The template in WED\BLANK, in whatever letter case it is stored; empty
// (after saying so) when there is none.
QString findTemplate(const QString &name, const QString &what) {
    const QString folder = paths::GetBlankDir();
    if (name.isEmpty()) {
        msg::show(kPrintTitle,
                  QStringLiteral("Для %1 в каталоге отчетов не указан шаблон печати.").arg(what),
                  msg::Icon::Warning);
        return {};
    }
    const QString found = store::findFileCaseInsensitive(folder, name);
    if (found.isEmpty())
        msg::show(kPrintTitle,
                  QStringLiteral("Не найден шаблон печати\r%1")
                      .arg(QDir::toNativeSeparators(folder + name)),
                  msg::Icon::Warning);
    return found;
}

// The message with the working copy's path, as given or made absolute,
// replaced by the template's.
QString namingTemplate(QString message, const QString &working, const QString &templatePath) {
    const QString shown = QDir::toNativeSeparators(templatePath);
    for (const QString &path : {QFileInfo(working).absoluteFilePath(), working})
        message.replace(path, shown).replace(QDir::toNativeSeparators(path), shown);
    return message;
}

void returnToFirst(store::TADODataSet &DataSet) noexcept {
    try {
        if (DataSet.Active())
            DataSet.First();
    } catch (...) {
    }
}

// How a failure of the fill is shown: as the print error (a fault of the
// template or its data), or said as it is.
enum class FillFailure { PrintError, Said };

// One print on a working copy of a template: a copy of its own in
// WED\BLANK (BTEMP-<process>-<letters>.XLS, so that prints of two copies of
// the program never share one) is made, opened in the print engine, filled and
// printed under the job title; whatever happens, the workbook is closed, the
// copy deleted and the dataset put back on its first record. A failure of
// the print itself is shown as the print error, one of the fill as
// fillFailure says, an office that did not answer or that ended as such
// (the latter as a failure, "Ошибка"); a working copy that does not open is
// said by the template's name (the copy is gone by the time the user reads
// it); a failure before the copy is opened (the copy cannot be made, the
// office does not start) is thrown. After any failure the engine is ended,
// so that the next print starts with a fresh one. A job that waits on a
// stopped printer is said.
void printOnCopy(store::TADODataSet &DataSet, const QString &templatePath, const QString &title,
                 FillFailure fillFailure, const std::function<void(sheet::Workbook &)> &fill) {
    std::function<void()> tell; // shown once the print is cleaned up
    {
        WaitCursor waitCursor;
        QString working;
        std::unique_ptr<sheet::Workbook> book;
        bool failed = true;
        const auto cleanup = qScopeGuard([&] {
            if (book) {
                try {
                    book->close();
                } catch (...) {
                }
                book.reset();
            }
            if (failed)
                printing::EndPrintEngine();
            if (!working.isEmpty())
                QFile::remove(working);
            returnToFirst(DataSet);
        });

        removeLeftWorkingCopies(paths::GetBlankDir());
        working =
            ownFile(paths::GetBlankDir(),
                    QStringLiteral("BTEMP-%1-XXXXXX.XLS").arg(QCoreApplication::applicationPid()));
        CopyFileByStream(working, templatePath);
        sheet::Engine &engine = printing::PrintEngine();
        enum class Step { Open, Fill, Print };
        auto step = [&](Step kind, const std::function<void()> &run) {
            try {
                run();
                return true;
            } catch (const sheet::TimeoutError &e) {
                tell = [why = e.message()] { showNotPrinted(why); };
            } catch (const sheet::EndedError &e) {
                tell = [why = e.message()] { showEnded(why); };
            } catch (const std::exception &e) {
                if (kind == Step::Print ||
                    (kind == Step::Fill && fillFailure == FillFailure::PrintError))
                    tell = showPrintError;
                else
                    tell = [why = ExceptionText(e)] { showNotPrinted(why); };
            }
            return false;
        };
        // What the office says of the working copy it was given is said of
        // the template the copy was made from.
        const auto ofTemplate = [&](const std::function<void()> &run) {
            return [&, run] {
                try {
                    run();
                } catch (const sheet::TimeoutError &e) {
                    throw sheet::TimeoutError(namingTemplate(e.message(), working, templatePath));
                } catch (const sheet::EndedError &e) {
                    throw sheet::EndedError(namingTemplate(e.message(), working, templatePath));
                } catch (const sheet::Error &e) {
                    throw sheet::Error(namingTemplate(e.message(), working, templatePath));
                }
            };
        };
        sheet::PrintedJob job;
        if (step(Step::Open, ofTemplate([&] { book = engine.open(working); })) &&
            step(Step::Fill, [&] { fill(*book); }) &&
            step(Step::Print, [&] { job = book->print(title); })) {
            failed = false;
            if (job.printerStopped)
                tell = [job, title] { showWaiting(job, title); };
        }
    }
    if (tell)
        tell();
}

} // namespace

void SetColumnSvodNameSource(std::function<ColumnSvodInfo()> Source) {
    columnSvodNames() = std::move(Source);
}

void PrintReport(store::TADODataSet &DataSet, int PageKind, int YearOrColumns,
                 const QString &Title) {
    if (PageKind >= 0)
        PrintAskForm().Ask();
    if (!PrintAskForm().DoPrint)
        return;
    if (PageKind == 1111) {
        const ColumnSvodInfo info = columnSvodNames() ? columnSvodNames()() : ColumnSvodInfo();
        PrintColumnSvod(DataSet, YearOrColumns, Title, info.OrgNames, info.SetName, info.Decimals);
    } else
        PrintByTemplate(DataSet, PageKind, YearOrColumns, Title);
}

void PrintByTemplate(store::TADODataSet &DataSet, int PageKind, int YY, const QString &Title) {
    const QString name = ResolveReportFile(1, PageKind, YY);
    const QString templatePath =
        findTemplate(name, QStringLiteral("отчета с кодом %1").arg(PageKind));
    if (templatePath.isEmpty())
        return;
    const printing::FillContext context{Title, PageKind, YY, appState().WorkDate};
    QString what = PageKind == 0    ? QStringLiteral("Титульный лист 1")
                   : PageKind == -1 ? QStringLiteral("Титульный лист 2")
                                    : ReportName(PageKind, YY);
    if (what.isEmpty())
        what = QStringLiteral("Отчет с кодом %1").arg(PageKind);
    printOnCopy(DataSet, templatePath, jobTitle(what, Title), FillFailure::PrintError,
                [&](sheet::Workbook &book) { FillTemplate(DataSet, book, context); });
}

void PrintColumnSvod(store::TADODataSet &DataSet, int Count, const QString &Title,
                     const QStringList &OrgNames, const QString &SetName, int Decimals) {
    const QString templatePath =
        findTemplate(QStringLiteral("BFSVOD.XLS"), QStringLiteral("сводной по столбцу"));
    if (templatePath.isEmpty())
        return;
    // The sheet's own title names the report and column; the job's also
    // names the set, as the other consolidations' jobs do.
    const QString job = jobTitle(jobTitle(QStringLiteral("Сводная по столбцу"), Title), SetName);
    printOnCopy(DataSet, templatePath, job, FillFailure::Said, [&](sheet::Workbook &book) {
        FillColumnSvodSheet(DataSet, book, Count, Title, OrgNames, Decimals);
    });
}

void PrintOrganisationList(store::TADODataSet &DataSet) {
    const QString templatePath =
        findTemplate(QStringLiteral("BORG.XLS"), QStringLiteral("списка организаций"));
    if (templatePath.isEmpty())
        return;
    // A file of its own for every list shown, which the user may keep open.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::TempLocation) +
                           QStringLiteral("/kvr-lists/");
    QDir().mkpath(folder);
    const QString path = ownFile(folder, QStringLiteral("Организации-XXXXXX.xls"));
    bool opened = false;
    {
        bool shown = false;
        WaitCursor waitCursor;
        const auto cleanup = qScopeGuard([&] {
            if (!shown) {
                printing::EndPrintEngine();
                QFile::remove(path);
            }
            returnToFirst(DataSet);
        });
        CopyFileByStream(path, templatePath);
        auto book = printing::PrintEngine().open(path);
        FillOrganisationSheet(*book, DataSet, QDate::currentDate());
        book->saveAs(path);
        opened = book->showToUser();
        shown = true;
    }
    // Without a spreadsheet program the list stays in its file, for the
    // user to take elsewhere.
    if (!opened)
        msg::show(QStringLiteral("Список организаций"),
                  QStringLiteral("Нет программы для просмотра электронных таблиц.\rСписок "
                                 "организаций сохранён в файле\r%1")
                      .arg(QDir::toNativeSeparators(path)),
                  msg::Icon::Information);
}
