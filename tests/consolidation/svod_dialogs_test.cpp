// The three questions of the consolidation window (the set, how to collect,
// the column) and the small routines of its grid: titles, widths and the
// look-up of a report's number.

#include "consolidation/ChoseClnmUnit.h"
#include "consolidation/HowCollectUnit.h"
#include "consolidation/SvodGridLayout.h"
#include "consolidation/SvodListUnit.h"
#include "shell/MultilineGrid_Old.h"
#include "shell/Paths.h"
#include "support/DataModuleConnections.h"
#include "support/MessageRecorder.h"
#include "support/TableBuilder.h"

#include <QComboBox>
#include <QDir>
#include <QFontMetrics>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using testsupport::Record;

namespace {

class SvodDialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        programDir = dir.path() + QLatin1Char('/');
        wedDir = programDir + QStringLiteral("WED/");
        QDir().mkpath(wedDir);
        paths::setProgramDirForTests(programDir);
        testsupport::closeDataModuleConnections();
        recorder = std::make_unique<MessageRecorder>();
    }
    void TearDown() override {
        testsupport::closeDataModuleConnections();
        recorder.reset();
        paths::setProgramDirForTests(QString());
    }

    void writeSvod(int year, const QStringList &names) {
        QList<Record> rows;
        for (int i = 0; i < names.size(); ++i)
            rows.append({{QStringLiteral("KOD"), i + 1}, {QStringLiteral("NAME"), names[i]}});
        testsupport::writeTable(wedDir, QStringLiteral("SVOD") + QString::number(year),
                                {{QStringLiteral("KOD"), 'N', 3, 0},
                                 {QStringLiteral("NAME"), 'C', 60, 0},
                                 {QStringLiteral("FORMA"), 'C', 40, 0}},
                                rows);
    }

    // A catalogue OTHE<year> whose records have KOLSTOLB and the captions
    // NAM1..NAM<namFields> (and as many VKL).
    void writeCatalogue(int year, int namFields, const QList<Record> &rows) {
        QVector<store::FieldDef> fields = {{QStringLiteral("KOD"), 'N', 3, 0},
                                           {QStringLiteral("NAME"), 'C', 80, 0},
                                           {QStringLiteral("GRUPPA"), 'N', 3, 0},
                                           {QStringLiteral("KOLSTOLB"), 'N', 3, 0}};
        for (int i = 1; i <= namFields; ++i)
            fields.append({QStringLiteral("NAM") + QString::number(i), 'C', 40, 0});
        for (int i = 1; i <= namFields; ++i)
            fields.append({QStringLiteral("VKL") + QString::number(i), 'N', 1, 0});
        testsupport::writeTable(wedDir, QStringLiteral("OTHE") + QString::number(year), fields,
                                rows);
    }

    QTemporaryDir dir;
    QString programDir, wedDir;
    std::unique_ptr<MessageRecorder> recorder;
};

// ---------------------------------------------------------------- the set

TEST_F(SvodDialogsTest, TheSetIsItsPositionInSvodAndCancelKeepsTheLastChoice) {
    const QStringList names = {"Все учреждения", "Районы",  "Города",  "Республика", "Пятый",
                               "Шестой",         "Седьмой", "Восьмой", "Девятый"};
    writeSvod(2016, names);
    TSvodListForm form;
    EXPECT_EQ(form.SetIndex, 1);
    form.Year = 2016;

    struct Case {
        int pick; // 0 cancels
        int setIndex;
        QString setName;
    };
    const Case cases[] = {
        {3, 3, "Города"}, {0, 3, "Города"}, {9, 9, "Девятый"}, {1, 1, "Все учреждения"}};
    for (const Case &c : cases) {
        recorder->onDialog = [&](QDialog &) {
            EXPECT_EQ(form.CB_SvodList->count(), names.size());
            EXPECT_EQ(form.CB_SvodList->currentIndex(), 0); // the first selected
            EXPECT_FALSE(form.Confirmed);
            if (c.pick == 0) {
                form.ButtonCancel->click();
            } else {
                form.CB_SvodList->setCurrentIndex(c.pick - 1);
                form.ButtonOK->click();
            }
            return form.result();
        };
        EXPECT_EQ(form.Choose(), c.pick != 0) << c.pick;
        EXPECT_EQ(form.SetIndex, c.setIndex);
        EXPECT_EQ(form.SetName, c.setName);
        EXPECT_FALSE(form.DS1.Active());
    }
    EXPECT_EQ(form.NameOfSet(1), names[0]);
    EXPECT_EQ(form.NameOfSet(10), QString());
    EXPECT_TRUE(recorder->messages.isEmpty());
}

TEST_F(SvodDialogsTest, OkWithoutASetAsksForOneAndAPeriodWithoutSvodIsNotOpened) {
    writeSvod(2016, {"Все учреждения", "Районы"});
    TSvodListForm form;
    form.Year = 2016;
    form.SetName = QStringLiteral("прежний");
    // A typed text that is no set, then an empty list: OK asks and the
    // dialog stays open with its fields as they were.
    recorder->onDialog = [&](QDialog &) {
        form.CB_SvodList->setEditText(QStringLiteral("Села"));
        form.ButtonOK->click();
        EXPECT_EQ(form.result(), 0);
        form.CB_SvodList->clear();
        form.ButtonOK->click();
        form.ButtonCancel->click();
        return form.result();
    };
    EXPECT_FALSE(form.Choose());
    ASSERT_EQ(recorder->messages.size(), 2);
    for (const msg::Request &r : recorder->messages) {
        EXPECT_EQ(r.title, QStringLiteral("KVR"));
        EXPECT_EQ(r.text, QStringLiteral("Выберете признак!"));
    }
    EXPECT_EQ(form.SetIndex, 1);
    EXPECT_EQ(form.SetName, QStringLiteral("прежний"));

    // No SVOD2017: said at once, no dialog, nothing confirmed.
    recorder->messages.clear();
    recorder->dialogs.clear();
    form.Year = 2017;
    form.Confirmed = true;
    EXPECT_FALSE(form.Choose());
    EXPECT_FALSE(form.Confirmed);
    EXPECT_TRUE(recorder->dialogs.isEmpty());
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_EQ(recorder->messages[0].title, QStringLiteral("Сообщение"));
    EXPECT_EQ(recorder->messages[0].text,
              QStringLiteral("Нет БД SVOD2017.DBF\r\rНе открыт период!\r\rСделайте: \"Начало "
                             "нового периода.\""));
}

// ---------------------------------------------------------------- how to collect

TEST_F(SvodDialogsTest, TheReportGroupFixesTheModeTheUserConfirms) {
    THowCollectForm form;
    EXPECT_EQ(form.CollectMode, 0);
    struct Case {
        int group;
        int mode;
    };
    const Case cases[] = {{47, 1}, {12, 2}, {1, 1}, {51, 1}, {2, 2}, {8, 2}, {46, 2}, {39, 2}};
    for (const Case &c : cases) {
        form.ReportGroup = c.group;
        recorder->onDialog = [&](QDialog &) {
            EXPECT_FALSE(form.Confirmed);
            EXPECT_EQ(form.RB1->isEnabled(), c.mode == 1) << c.group;
            EXPECT_EQ(form.RB1->isChecked(), c.mode == 1) << c.group;
            EXPECT_EQ(form.RB2->isEnabled(), c.mode == 2) << c.group;
            EXPECT_EQ(form.RB2->isChecked(), c.mode == 2) << c.group;
            form.ButtonOK->click();
            return form.result();
        };
        EXPECT_TRUE(form.Ask());
        EXPECT_EQ(form.CollectMode, c.mode);
    }
    // Cancel keeps the last confirmed mode; OK with neither button asks.
    form.ReportGroup = 47;
    recorder->onDialog = [&](QDialog &) {
        form.setResult(0); // as a showing starts
        form.RB1->setAutoExclusive(false);
        form.RB1->setChecked(false);
        form.ButtonOK->click();
        EXPECT_EQ(form.result(), 0);
        form.ButtonCancel->click();
        return form.result();
    };
    EXPECT_FALSE(form.Ask());
    EXPECT_EQ(form.CollectMode, 2);
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_EQ(recorder->messages[0].title, QStringLiteral("Сообщение"));
    EXPECT_EQ(recorder->messages[0].text, QStringLiteral("Выберете как собирать отчеты."));
}

// ---------------------------------------------------------------- the column

TEST_F(SvodDialogsTest, TheColumnDialogListsEachColumnsNumberAndBothLinesOfItsCaption) {
    QList<Record> rows;
    // 1: three columns, one hidden; 2: none; 3: more columns than NAM fields.
    rows.append({{"KOD", 1},
                 {"KOLSTOLB", 3},
                 {"NAM1", " Всего ;учащихся"},
                 {"NAM2", "Итого"},
                 {"NAM3", "Скрытая;колонка"},
                 {"VKL1", 1},
                 {"VKL2", 1},
                 {"VKL3", 0}});
    rows.append({{"KOD", 2}, {"KOLSTOLB", 0}, {"NAM1", "Всего"}});
    Record wide = {{"KOD", 3}, {"KOLSTOLB", 30}};
    for (int i = 1; i <= 28; ++i)
        wide.append({QStringLiteral("NAM") + QString::number(i), QStringLiteral("К%1;x").arg(i)});
    rows.append(wide);
    writeCatalogue(2016, 28, rows);
    testsupport::OpenTable catalogue(wedDir, QStringLiteral("OTHE2016"));
    TChoseClnmForm form;
    EXPECT_FALSE(form.ButtonCancel->isVisibleTo(&form));

    struct Case {
        int record;
        QStringList lines;
        int pick; // 0 closes the dialog by its close box
        int index;
        QString caption;
    };
    QStringList wideLines;
    for (int i = 1; i <= 28; ++i)
        wideLines << QStringLiteral("%1. К%1 x").arg(i);
    const QStringList lines = {"1. Всего учащихся", "2. Итого", "3. Скрытая колонка"};
    const Case cases[] = {
        {1, lines, 1, 1, "Всего учащихся"},
        {1, lines, 3, 3, "Скрытая колонка"},
        {1, lines, 0, 3, "Скрытая колонка"},
        {3, wideLines, 28, 28, "К28 x"},
    };
    for (const Case &c : cases) {
        catalogue.ds.setRecNo(c.record);
        recorder->onDialog = [&](QDialog &) {
            EXPECT_FALSE(form.Confirmed);
            QStringList lines;
            for (int i = 0; i < form.CB_List->count(); ++i)
                lines << form.CB_List->itemText(i);
            EXPECT_EQ(lines, c.lines);
            EXPECT_EQ(form.CB_List->currentIndex(), -1); // no line chosen
            if (c.pick == 0) {
                form.reject();
            } else {
                form.CB_List->setCurrentIndex(c.pick - 1);
                form.ButtonOK->click();
            }
            return form.result();
        };
        EXPECT_EQ(form.Ask(catalogue.ds), c.pick != 0);
        EXPECT_EQ(form.ColumnIndex, c.index);
        EXPECT_EQ(form.ColumnCaption, c.caption);
    }

    // KOLSTOLB 0: an empty list; OK asks for a column and the dialog stays.
    catalogue.ds.setRecNo(2);
    recorder->onDialog = [&](QDialog &) {
        form.setResult(0); // as a showing starts
        EXPECT_EQ(form.CB_List->count(), 0);
        form.ButtonOK->click();
        EXPECT_EQ(form.result(), 0);
        form.reject();
        return form.result();
    };
    EXPECT_FALSE(form.Ask(catalogue.ds));
    ASSERT_EQ(recorder->messages.size(), 1);
    EXPECT_EQ(recorder->messages[0].title, QStringLiteral("Сообщение"));
    EXPECT_EQ(recorder->messages[0].text, QStringLiteral("Выберете колонку!"));
}

// ---------------------------------------------------------------- the grid

TEST(SvodGridLayoutTest, TheTotalTitlePutsAllAboveTheCaptionBothOfOneLength) {
    struct Case {
        QString caption;
        QString title;
    };
    const Case cases[] = {{"ab", "Всего (ab)  "},
                          {"abcdefghij", "Всего       (abcdefghij)"},
                          {"abcd", "Всего (abcd)"},
                          {"", "Всего ()    "}};
    QFont font(QStringLiteral("Courier New"), 8);
    QFont bold = font;
    bold.setBold(true);
    for (const Case &c : cases) {
        EXPECT_EQ(TotalColumnTitle(c.caption), c.title) << c.caption.toStdString();
        const QString second = c.title.mid(c.title.size() / 2);
        EXPECT_EQ(TotalColumnWidth(c.caption, font),
                  QFontMetrics(bold).horizontalAdvance(second + QLatin1Char(' ')));
    }
}

TEST(SvodGridLayoutTest, DataColumnsTakeTheCatalogueCaptionsWidthsAndSwitches) {
    svod::CatalogueReport report;
    report.ColumnCount = 2;
    report.ColumnCaptions = {"Всего;учащихся", "Скрыта", "Итого", "Лишняя"};
    report.ColumnSwitches = {1, 0, 1, 1};
    const QStringList fields = {"KODSTR", "NAME", "KODN", "KODPOKAZ", "N1", "N2", "N3", "N4"};
    const QFont font(QStringLiteral("Courier New"), 8);
    const QVector<DataSetModel::Column> cols = ReportSvodColumns(fields, report, font);
    ASSERT_EQ(cols.size(), fields.size());
    QFont bold = font;
    bold.setBold(true);
    struct Expect {
        QString field, title;
        bool visible, editable;
        int width;
    };
    const Expect expected[] = {
        {"KODSTR", "N N строки", true, false, -1},
        {"NAME", "Наименование показателя", true, true, -1},
        {"KODN", "KODN", false, false, -1},
        {"KODPOKAZ", "KODPOKAZ", false, false, -1},
        {"N1", "Всего учащихся", true, true, -2},
        {"N2", "Скрыта", false, false, -1},
        {"N3", "Итого", true, true, -1},
        {"N4", "N4", false, false, -1}, // after KOLSTOLB shown columns
    };
    for (int i = 0; i < cols.size(); ++i) {
        EXPECT_EQ(cols[i].field, expected[i].field);
        EXPECT_EQ(cols[i].title, expected[i].title) << i;
        EXPECT_EQ(cols[i].visible, expected[i].visible) << i;
        EXPECT_EQ(!cols[i].readOnly, expected[i].editable) << i;
        if (expected[i].width != -2) {
            EXPECT_EQ(cols[i].width, expected[i].width) << i;
        }
        EXPECT_EQ(cols[i].titleAlignment, Qt::AlignCenter);
    }
    // Two-line captions as the grid's header wraps them (4 pixels of room):
    // the halves apart, no line cut at the column's edges and no word lost,
    // whatever the font. Long halves may share their words out otherwise.
    const QFontMetrics titles(bold);
    const struct {
        QString caption;
        QStringList lines; // empty: any wrapping that keeps every word whole
    } twoLines[] = {{" Всего ;учащихся", {"Всего", "учащихся"}},
                    {"Численность учащихся;всего", {"Численность учащихся", "всего"}},
                    {"Специальные;(коррекц.) кл.", {}}};
    for (const auto &c : twoLines) {
        report.ColumnCaptions = {c.caption};
        const DataSetModel::Column col = ReportSvodColumns(fields, report, font).at(4);
        EXPECT_GE(col.width, titles.horizontalAdvance(c.caption.section(';', 0, 0) + ";11"));
        const QStringList got = WrapCaptionLines(titles, col.width - 4, col.title);
        if (!c.lines.isEmpty()) {
            EXPECT_EQ(got, c.lines) << c.caption.toStdString();
        }
        EXPECT_EQ(got.join(QString()).remove(u' '), QString(c.caption).remove(u';').remove(u' '));
        for (const QString &line : got)
            EXPECT_LE(titles.horizontalAdvance(line), col.width - 4) << line.toStdString();
    }
    // The row code and the name go first whatever the table's order.
    const QVector<DataSetModel::Column> moved =
        ReportSvodColumns({"KODN", "NAME", "KODSTR", "KODPOKAZ", "N1"}, report, font);
    EXPECT_EQ(moved[0].field, QStringLiteral("KODSTR"));
    EXPECT_EQ(moved[1].field, QStringLiteral("NAME"));
    EXPECT_EQ(OrganisationCountText(2, 1), QStringLiteral(" ( 2 из 3 организаций )"));
}

TEST_F(SvodDialogsTest, FindReportNumberTakesTheLastRecordOfTheName) {
    writeCatalogue(2016, 1,
                   {{{"KOD", 1}, {"NAME", "Общие"}},
                    {{"KOD", 7}, {"NAME", "Раздел"}},
                    {{"KOD", 9}, {"NAME", "Раздел"}},
                    {{"KOD", 4}, {"NAME", "Раздел 2"}}});
    struct Case {
        QString name;
        int number;
    };
    const Case cases[] = {{"Раздел", 9}, {"Раздел 2", 4}, {"Общие", 1}, {"", 1}, {"Нет такого", 1}};
    for (const Case &c : cases)
        EXPECT_EQ(FindReportNumber(2016, c.name), c.number) << c.name.toStdString();
    EXPECT_EQ(FindReportNumber(2017, QStringLiteral("Раздел")), 1); // no catalogue
}

} // namespace
