#include "printing/PrintUnit.h"

#include "printing/PrintAskUnit.h"
#include "printing/PrintEngine.h"
#include "printing/SheetFill.h"
#include "printing/TemplateFill.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "shell/Paths.h"
#include "shell/UnitConsts.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <functional>
#include <memory>

namespace {

std::function<QStringList()> &columnSvodNames() {
    static std::function<QStringList()> source;
    return source;
}

const QString kWorkingCopy = QStringLiteral("BTEMP.XLS");

void showPrintError() {
    msg::show(QString(), QStringLiteral("Ошибка печати!\rВозможно не подключен принтер."));
}

// The template in WED\BLANK, in whatever letter case it is stored; empty
// (after saying so) when there is none.
QString findTemplate(const QString &name, const QString &what) {
    const QString folder = paths::GetBlankDir();
    if (name.isEmpty()) {
        msg::show(QStringLiteral("Печать"),
                  QStringLiteral("Для %1 в каталоге отчетов не указан шаблон печати.").arg(what),
                  msg::Icon::Warning);
        return {};
    }
    const QString found = store::findFileCaseInsensitive(folder, name);
    if (found.isEmpty())
        msg::show(QStringLiteral("Печать"),
                  QStringLiteral("Не найден шаблон печати\r%1")
                      .arg(QDir::toNativeSeparators(folder + name)),
                  msg::Icon::Warning);
    return found;
}

void returnToFirst(store::TADODataSet &DataSet) noexcept {
    try {
        if (DataSet.Active())
            DataSet.First();
    } catch (...) {
    }
}

// The window waits for a print, as it waits for any long operation.
class WaitCursor {
public:
    WaitCursor() {
        if (m_set)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~WaitCursor() {
        if (m_set)
            QApplication::restoreOverrideCursor();
    }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;

private:
    bool m_set = qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr;
};

// One print on a working copy of a template: the copy is made, opened in
// the print engine, filled and printed; whatever happens, the workbook is
// closed, the copy deleted and the dataset put back on its first record.
// A failure of the fill or the print is shown as the print error; a failure
// before it is thrown. After any failure the engine is ended, so that the
// next print starts with a fresh one.
void printOnCopy(store::TADODataSet &DataSet, const QString &templatePath,
                 const std::function<void(sheet::Workbook &)> &fill) {
    const QString working = paths::GetBlankDir() + kWorkingCopy;
    bool printFailed = false;
    {
        WaitCursor waitCursor;
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
            QFile::remove(working);
            returnToFirst(DataSet);
        });

        QFile::remove(working);
        CopyFileByStream(working, templatePath);
        book = printing::PrintEngine().open(working);
        try {
            fill(*book);
            book->print();
            failed = false;
        } catch (const std::exception &) {
            printFailed = true;
        }
    }
    if (printFailed)
        showPrintError();
}

} // namespace

void SetColumnSvodNameSource(std::function<QStringList()> Source) {
    columnSvodNames() = std::move(Source);
}

void PrintReport(store::TADODataSet &DataSet, int PageKind, int YearOrColumns,
                 const QString &Title) {
    if (PageKind >= 0)
        PrintAskForm().Ask();
    if (!PrintAskForm().DoPrint)
        return;
    if (PageKind == 1111)
        PrintColumnSvod(DataSet, YearOrColumns, Title,
                        columnSvodNames() ? columnSvodNames()() : QStringList());
    else
        PrintByTemplate(DataSet, PageKind, YearOrColumns, Title);
}

void PrintByTemplate(store::TADODataSet &DataSet, int PageKind, int YY, const QString &Title) {
    const QString name = ResolveReportFile(1, PageKind, YY);
    const QString templatePath =
        findTemplate(name, QStringLiteral("отчета с кодом %1").arg(PageKind));
    if (templatePath.isEmpty())
        return;
    const printing::FillContext context{Title, PageKind, YY, appState().WorkDate};
    printOnCopy(DataSet, templatePath,
                [&](sheet::Workbook &book) { FillTemplate(DataSet, book, context); });
}

void PrintColumnSvod(store::TADODataSet &DataSet, int Count, const QString &Title,
                     const QStringList &OrgNames) {
    const QString templatePath =
        findTemplate(QStringLiteral("BFSVOD.XLS"), QStringLiteral("сводной по столбцу"));
    if (templatePath.isEmpty())
        return;
    printOnCopy(DataSet, templatePath, [&](sheet::Workbook &book) {
        FillColumnSvodSheet(DataSet, book, Count, Title, OrgNames);
    });
}

void PrintOrganisationList(store::TADODataSet &DataSet) {
    const QString templatePath =
        findTemplate(QStringLiteral("BORG.XLS"), QStringLiteral("списка организаций"));
    if (templatePath.isEmpty())
        return;
    // A file of its own for every list shown: the user may keep it open
    // while later prints replace the working copy.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::TempLocation) +
                           QStringLiteral("/kvr-lists");
    QDir().mkpath(folder);
    QTemporaryFile file(folder + QStringLiteral("/Организации-XXXXXX.xls"));
    file.setAutoRemove(false);
    if (!file.open())
        throw FileError(
            QStringLiteral("Не удалось создать файл списка в папке \"%1\"").arg(folder));
    const QString path = file.fileName();
    file.close();
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
    book->showToUser();
    shown = true;
}
