// Printing from report entry on the demo installation, with its templates
// made by the demo generator: "Печать" and "Печать титульника" pressed in
// the window, the question answered, and the pages read back from what the
// real print queue made of them.

#include "demo/DemoData.h"
#include "demo/DemoReports.h"
#include "demo/DemoTemplates.h"
#include "entry/EditReportUnit.h"
#include "printing/PrintAskUnit.h"
#include "printing/PrintEngine.h"
#include "printing/PrintUnit.h"
#include "printing/SheetFill.h"
#include "shell/AppState.h"
#include "shell/DataSetModel.h"
#include "shell/MultilineGrid_Old.h"
#include "shell/Paths.h"
#include "support/DemoProgram.h"
#include "support/MessageRecorder.h"
#include "support/PrintQueueOutput.h"
#include "support/TableBuilder.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace {

class DemoPrintTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString problem = testsupport::printQueueProblem();
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        demo::WriteDemoTemplates(program.programDir + QStringLiteral("WED/BLANK"));
        appState().WorkYear = 2017;
        appState().WorkDate = testsupport::DemoProgram::workingDate();
        recorder.onDialog = [this](QDialog &d) {
            if (auto *ask = qobject_cast<TPrintAskForm *>(&d)) {
                ++questions;
                ask->findChild<QPushButton *>(QStringLiteral("ButtonPrint"))->click();
                return ask->result();
            }
            return int(QDialog::Rejected);
        };
        entry = new TEditReportForm;
        entry->resize(1000, 700);
        entry->show();
    }
    void TearDown() override {
        if (entry) {
            entry->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        printing::EndPrintEngine();
    }

    QString currentText(const QString &field) {
        DataSetModel *model = entry->GridModel();
        const int row = entry->DBGrid1->currentIndex().row();
        return model->data(model->index(row, model->columnOfField(field))).toString().trimmed();
    }
    bool walkTo(const QString &field, const QString &value) {
        const int rows = entry->GridModel()->rowCount();
        for (int step = 0; step < 2 * rows; ++step) {
            if (currentText(field) == value)
                return true;
            QTest::keyClick(entry->DBGrid1, step < rows ? Qt::Key_Down : Qt::Key_Up);
        }
        return currentText(field) == value;
    }

    testsupport::DemoProgram program;
    MessageRecorder &recorder = *program.recorder;
    QPointer<TEditReportForm> entry;
    int questions = 0;
};

TEST_F(DemoPrintTest, EveryReportAndPageHasItsTemplate) {
    QStringList names = {QStringLiteral("BFFF.XLS"), QStringLiteral("BFFFF.XLS"),
                         QStringLiteral("BFSVOD.XLS"), QStringLiteral("BORG.XLS")};
    for (const demo::ReportSpec &report : demo::Reports())
        names << report.failText();
    for (const QString &name : names)
        EXPECT_TRUE(QFileInfo::exists(paths::GetBlankDir() + name)) << name.toStdString();
    // Each opens as a spreadsheet with its header cell.
    auto book = printing::PrintEngine().open(paths::GetBlankDir() + demo::Reports()[0].failText());
    EXPECT_TRUE(book->text(1, 1).endsWith(u';')) << book->text(1, 1).toStdString();
}

TEST_F(DemoPrintTest, ReportAndTitlePagesComeOutOfTheQueue) {
    ASSERT_EQ(entry->Level(), 2);
    const int kod = demo::OrganisationsWithData(2017).front();
    const QString name = demo::FindOrganisation(kod)->name;
    ASSERT_TRUE(walkTo(QStringLiteral("KOD"), QString::number(kod)));
    QTest::keyClick(entry->DBGrid1, Qt::Key_Return);
    ASSERT_EQ(entry->Level(), 3);
    ASSERT_TRUE(walkTo(QStringLiteral("KOD"), QString::number(demo::ReportCode("F7"))));
    QTest::keyClick(entry->DBGrid1, Qt::Key_Return);
    ASSERT_EQ(entry->Level(), 4);
    ASSERT_EQ(entry->TableName(), QStringLiteral("F72017"));
    entry->DS_TAB.First();
    const QString rowName = entry->DS_TAB.FieldByName(QStringLiteral("NAME")).AsString().trimmed();
    const QString figure = entry->DS_TAB.FieldByName(QStringLiteral("N1")).AsString().trimmed();
    entry->DS_TAB.Last();

    testsupport::PrintJobRecorder jobs;
    entry->ButtonPrint->click();
    EXPECT_EQ(questions, 1);
    EXPECT_TRUE(recorder.messages.isEmpty()) << recorder.texts().join(u'|').toStdString();
    ASSERT_EQ(jobs.jobs.size(), 1u);
    const QString page = testsupport::printedText(jobs.jobs[0]);
    EXPECT_TRUE(page.contains(QStringLiteral("Учреждение: ") + name)) << page.toStdString();
    EXPECT_TRUE(page.contains(demo::FindReport("F7")->name));
    EXPECT_TRUE(page.contains(QStringLiteral("на 2016/2017 учебный год")));
    EXPECT_TRUE(page.contains(rowName.left(20))) << rowName.toStdString();
    EXPECT_TRUE(page.contains(figure));
    EXPECT_FALSE(page.contains(QStringLiteral("#A")));
    EXPECT_EQ(entry->DS_TAB.RecNo(), 1);

    entry->ButtonPrintTitle->click();
    EXPECT_EQ(questions, 2); // one question for both pages
    ASSERT_EQ(jobs.jobs.size(), 3u);
    const testsupport::PrintedPdf first = testsupport::printedPdf(jobs.jobs[1]);
    EXPECT_EQ(first.pages, 1);
    EXPECT_TRUE(first.text.contains(QStringLiteral("СВЕДЕНИЯ ОБ ОБЩЕОБРАЗОВАТЕЛЬНОМ УЧРЕЖДЕНИИ")))
        << first.text.toStdString();
    EXPECT_TRUE(first.text.contains(QStringLiteral("на начало 2016/2017 учебного года")));
    EXPECT_TRUE(first.text.contains(name));
    EXPECT_TRUE(first.text.contains(demo::OwnRequisites().rykorg));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("Дата заполнения:\\s+14\\.11\\.2016"))
                    .match(first.text)
                    .hasMatch());
    const testsupport::PrintedPdf second = testsupport::printedPdf(jobs.jobs[2]);
    EXPECT_TRUE(second.text.contains(QStringLiteral("Учебный год: 2016/2017")))
        << second.text.toStdString();
    EXPECT_TRUE(second.text.contains(QStringLiteral("осенью 2017 года")));
    // Each figure of F1 where its label says: first classes, then 2 to 4.
    testsupport::OpenTable f1(paths::GetOrgDataDir(QString::number(kod)), QStringLiteral("F12017"));
    for (const auto &[label, field] : {std::pair{QStringLiteral("из них в 1 классах"), "N2"},
                                       std::pair{QStringLiteral("во 2-4 классах"), "N3"}})
        EXPECT_TRUE(QRegularExpression(QRegularExpression::escape(label) + QStringLiteral("\\s+") +
                                       f1.text(1, QString::fromLatin1(field)).trimmed() +
                                       QStringLiteral("\\s+чел\\."))
                        .match(second.text)
                        .hasMatch())
            << label.toStdString();
    EXPECT_TRUE(recorder.messages.isEmpty()) << recorder.texts().join(u'|').toStdString();
}

// Every report of an organisation on paper as a form: landscape on the
// paper of its catalogue record (A3 for FORM 2), without the office's header
// and footer, on one sheet, the names of its rows whole, its row codes one
// under the other, titled with the report and the organisation.
TEST_F(DemoPrintTest, EveryReportPrintsOnOneSheetAcross) {
    const int kod = demo::OrganisationsWithData(2017).front();
    const QString organisation = demo::FindOrganisation(kod)->name;
    for (const demo::ReportSpec &report : demo::Reports()) {
        SCOPED_TRACE(report.base.toStdString());
        testsupport::OpenTable table(paths::GetOrgDataDir(QString::number(kod)),
                                     report.base + QStringLiteral("2017"));
        // A single record's row is named by the title (the organisation).
        QStringList names = {organisation};
        for (int row = 1; row <= table.ds.RecordCount() && table.ds.RecordCount() > 1; ++row)
            names << table.text(row, QStringLiteral("NAME")).simplified();
        testsupport::PrintJobRecorder jobs;
        PrintByTemplate(table.ds, demo::ReportCode(report.base), 17, organisation);
        ASSERT_EQ(jobs.jobs.size(), 1u);
        const testsupport::PrintedPdf pdf = testsupport::printedPdf(jobs.jobs.front());
        EXPECT_EQ(pdf.pages, 1);
        EXPECT_EQ(pdf.pageSize, report.form == 2 ? QSize(1191, 842) : QSize(842, 595));
        EXPECT_EQ(pdf.queueTitle, report.name + QStringLiteral(" — ") + organisation);
        EXPECT_FALSE(pdf.text.contains(QStringLiteral("Sheet")));
        EXPECT_FALSE(pdf.text.contains(QStringLiteral("Page")));
        const QString words = pdf.text.simplified();
        for (const QString &row : names)
            EXPECT_TRUE(words.contains(row)) << row.toStdString();
        // A row printed once per record starts with its code: "01" to "14"
        // all stand where the first one does.
        if (report.group == 1 || report.group == 47 || report.group == 51 ||
            report.rows.front().kodstr.size() != 2)
            continue;
        std::set<qsizetype> codeColumns;
        for (const demo::RowSpec &row : report.rows) {
            const auto m = QRegularExpression(QStringLiteral("^( *)") + row.kodstr + u' ',
                                              QRegularExpression::MultilineOption)
                               .match(pdf.text);
            EXPECT_TRUE(m.hasMatch()) << row.kodstr.toStdString();
            codeColumns.insert(m.capturedLength(1));
        }
        EXPECT_EQ(codeColumns.size(), 1u);
    }
    EXPECT_TRUE(recorder.messages.isEmpty()) << recorder.texts().join(u'|').toStdString();
}

// A consolidation of a report printed one row per record, which holds a
// single record, prints its title (the own organisation and the set) in the
// row's name cell: the whole title stands inside the cell, however long the
// set's name.
TEST_F(DemoPrintTest, TitleInTheNameCellOfASingleRecordPrintsWhole) {
    const demo::ReportSpec &report = *demo::FindReport(QStringLiteral("F7A"));
    testsupport::Record row = {{"KODSTR", QStringLiteral("01")},
                               {"NAME", QStringLiteral("Всего по учреждению")}};
    for (int c = 1; c <= report.columns.size(); ++c)
        row << qMakePair(QStringLiteral("N%1").arg(c), QVariant(1000 + c));
    QTemporaryDir svod;
    testsupport::writeTable(svod.path(), QStringLiteral("F7A2017"), demo::BlankFields(report),
                            {row});
    testsupport::OpenTable table(svod.path(), QStringLiteral("F7A2017"));
    QString set; // the longest name of the demo's sets
    for (const demo::SvodSet &s : demo::SvodSets())
        set = s.name.size() > set.size() ? s.name : set;
    const QString title = demo::OwnRequisites().bank + QStringLiteral(" (") + set + u')';
    testsupport::PrintJobRecorder jobs;
    PrintByTemplate(table.ds, demo::ReportCode(report.base), 17, title);
    ASSERT_EQ(jobs.jobs.size(), 1u);
    const testsupport::PrintedPdf pdf = testsupport::printedPdf(jobs.jobs.front());
    EXPECT_EQ(pdf.pages, 1);
    QStringList words;
    for (const testsupport::PdfWord &w : pdf.words)
        words << w.text;
    // Once in the heading ("Учреждение: ..."), once in the row.
    for (const QString &word : title.split(u' '))
        EXPECT_GE(words.count(word), 2) << word.toStdString() << "\n" << pdf.text.toStdString();
    EXPECT_EQ(testsupport::wordsRunningIntoTheNext(pdf), QStringList());
    EXPECT_TRUE(recorder.messages.isEmpty()) << recorder.texts().join(u'|').toStdString();
}

// A consolidation that gathers many organisations' rows runs over several
// pages: each page carries the column headings.
TEST_F(DemoPrintTest, LongListConsolidationsRepeatTheirHeadingsOnEveryPage) {
    for (const char *base : {"F46", "F48"}) {
        SCOPED_TRACE(base);
        const demo::ReportSpec &report = *demo::FindReport(QString::fromLatin1(base));
        QList<testsupport::Record> rows;
        for (int k = 1; k <= 29; ++k) {
            testsupport::Record r = {{"KODSTR", QString::number(k)},
                                     {"NAME", QStringLiteral("Организация %1").arg(k)}};
            for (int c = 1; c <= report.columns.size(); ++c)
                r << qMakePair(QStringLiteral("N%1").arg(c), QVariant(k + c));
            rows << r;
        }
        QTemporaryDir svod;
        testsupport::writeTable(svod.path(), report.base + QStringLiteral("2017"),
                                demo::BlankFields(report), rows);
        testsupport::OpenTable table(svod.path(), report.base + QStringLiteral("2017"));
        testsupport::PrintJobRecorder jobs;
        PrintByTemplate(table.ds, demo::ReportCode(report.base), 17,
                        QStringLiteral("Управление образования"));
        ASSERT_EQ(jobs.jobs.size(), 1u);
        const testsupport::PrintedPdf pdf = testsupport::printedPdf(jobs.jobs.front());
        EXPECT_GE(pdf.pages, 2); // more rows than one page holds
        QStringList pages = pdf.text.split(u'\f');
        pages.removeAll(QString());
        ASSERT_EQ(pages.size(), pdf.pages);
        for (int page = 0; page < pages.size(); ++page)
            EXPECT_TRUE(pages[page].contains(QStringLiteral("Наименование показателя")))
                << "page " << page + 1 << "\n"
                << pages[page].toStdString();
        EXPECT_TRUE(pdf.text.simplified().contains(QStringLiteral("Организация 29")));
    }
    EXPECT_TRUE(recorder.messages.isEmpty()) << recorder.texts().join(u'|').toStdString();
}

// A section report whose figures fill their fields, as a consolidation of
// many schools does: each prints whole on the demo's form.
TEST_F(DemoPrintTest, FiguresThatFillTheirFieldsPrintWhole) {
    const demo::ReportSpec &report = *demo::FindReport(QStringLiteral("F3V"));
    ASSERT_EQ(report.columns.size(), 14);
    QList<testsupport::Record> rows;
    const double whole[] = {9999999999.0, 1234567890.0, 7};
    const double rate[] = {999999999.99, 99999999.99, 123456789.25};
    for (int k = 0; k < 3; ++k) {
        testsupport::Record r = {{"KODSTR", report.rows[k].kodstr}, {"NAME", report.rows[k].name}};
        for (int c = 1; c <= 13; ++c)
            r << qMakePair(QStringLiteral("N%1").arg(c), QVariant(whole[k]));
        r << qMakePair(QStringLiteral("N14"), QVariant(rate[k]));
        rows << r;
    }
    QTemporaryDir svod;
    testsupport::writeTable(svod.path(), QStringLiteral("F3V2017"), demo::BlankFields(report),
                            rows);
    testsupport::OpenTable table(svod.path(), QStringLiteral("F3V2017"));
    testsupport::PrintJobRecorder jobs;
    PrintByTemplate(table.ds, demo::ReportCode(QStringLiteral("F3V")), 17,
                    QStringLiteral("Управление образования"));
    ASSERT_EQ(jobs.jobs.size(), 1u);
    const testsupport::PrintedPdf pdf = testsupport::printedPdf(jobs.jobs.front());
    EXPECT_EQ(pdf.pages, 1);
    const QString words = pdf.text.simplified();
    for (const char *figure : {"9999999999 ", "1234567890 ", "7 "})
        EXPECT_TRUE(words.contains(QString::fromLatin1(figure).repeated(13)))
            << figure << "\n"
            << pdf.text.toStdString();
    for (const char *figure : {"999999999[.,]99", "99999999[.,]99", "123456789[.,]25"})
        EXPECT_TRUE(QRegularExpression(QStringLiteral("(^|\\s)") + QString::fromLatin1(figure) +
                                       QStringLiteral("(\\s|$)"))
                        .match(words)
                        .hasMatch())
            << figure;
    EXPECT_FALSE(words.contains(QStringLiteral("E+"))) << pdf.text.toStdString();
    EXPECT_FALSE(words.contains(u'#')) << pdf.text.toStdString();
    EXPECT_TRUE(recorder.messages.isEmpty()) << recorder.texts().join(u'|').toStdString();
}

// The room that a text has after it on its line of the page, up to the
// next word there (the next column's text), as a share of its own width; -1
// when no line holds the text with a word after it.
double roomAfter(const testsupport::PrintedPdf &pdf, const QString &text) {
    std::map<std::pair<int, long>, std::vector<const testsupport::PdfWord *>> lines;
    for (const testsupport::PdfWord &w : pdf.words)
        lines[{w.page, std::lround(w.yMin)}].push_back(&w);
    const QString wanted = QString(text).remove(u' ');
    for (auto &[key, line] : lines) {
        std::sort(line.begin(), line.end(), [](auto *a, auto *b) { return a->xMin < b->xMin; });
        for (std::size_t first = 0; first < line.size(); ++first) {
            QString joined;
            for (std::size_t last = first; last + 1 < line.size(); ++last) {
                joined += line[last]->text;
                if (!wanted.startsWith(joined))
                    break;
                if (joined == wanted)
                    return (line[last + 1]->xMin - line[last]->xMax) /
                           (line[last]->xMax - line[first]->xMin);
            }
        }
    }
    return -1;
}

// The organisation list of the demo book on its template: every name,
// manager and address whole, none running under the next column's text,
// and each with room to spare in its column. The list is shown in the
// user's spreadsheet program (Gnumeric in the demo), which reckons the
// widths that the file keeps some hundredths narrower than the office does:
// a column that the longest text just fills there cuts its last letters.
TEST_F(DemoPrintTest, OrganisationListColumnsHoldTheirTexts) {
    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("list.xls"));
    ASSERT_TRUE(QFile::copy(paths::GetBlankDir() + QStringLiteral("BORG.XLS"), list));
    {
        testsupport::OpenTable school(program.programDir, QStringLiteral("SCHOOL"));
        auto book = printing::PrintEngine().open(list);
        FillOrganisationSheet(*book, school.ds, QDate(2016, 11, 14));
        book->exportPdf(dir.filePath(QStringLiteral("list.pdf")));
    }
    const testsupport::PrintedPdf pdf = testsupport::readPdf(dir.filePath("list.pdf"));
    const QString words = pdf.text.simplified();
    for (const demo::Organisation &org : demo::Organisations())
        for (const QString &text : {org.name, org.rykorg, org.rykfin, org.adres}) {
            EXPECT_TRUE(words.contains(text.simplified())) << text.toStdString();
            EXPECT_GE(roomAfter(pdf, text), 0.1) << text.toStdString();
        }
    EXPECT_EQ(testsupport::wordsRunningIntoTheNext(pdf), QStringList());
}

} // namespace
