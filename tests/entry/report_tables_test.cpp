#include "entry/ReportTables.h"
#include "shell/UnitConsts.h"

#include "shell/DataSetModel.h"
#include "shell/MultilineGrid_Old.h"
#include "shell/Paths.h"
#include "shell/UnitDM.h"
#include "support/MessageRecorder.h"
#include "support/TableBuilder.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QTemporaryDir>

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

using store::FieldDef;

const QStringList kRowNames = {QStringLiteral("Число общеобразовательных учреждений"),
                               QStringLiteral("  в них учащихся: всего"),
                               QStringLiteral("из них девочек (ёЁ)")};

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// A report blank: the four leading fields, three data columns and rows with
// Cyrillic indicator names, data cells empty.
void makeBlank(const QString &path, int rows = 3) {
    store::DbfFile::create(path, {FieldDef{"KODSTR", 'C', 5, 0}, FieldDef{"NAME", 'C', 60, 0},
                                  FieldDef{"KODN", 'N', 4, 0}, FieldDef{"KODPOKAZ", 'N', 6, 0},
                                  FieldDef{"N1", 'N', 8, 0}, FieldDef{"N2", 'N', 8, 0},
                                  FieldDef{"N3", 'N', 8, 2}});
    QList<testsupport::Record> records;
    for (int i = 0; i < rows; ++i)
        records.append({{"KODSTR", QString::number(i + 1).rightJustified(2, '0')},
                        {"NAME", kRowNames[i % kRowNames.size()]},
                        {"KODN", i + 1}});
    const QFileInfo fi(path);
    testsupport::appendRecords(fi.absolutePath(), fi.completeBaseName(), records);
}

// ---------------------------------------------------------------- names

TEST(ReportNames, BaseNameTableNameAndFiles) {
    EXPECT_EQ(ReportBaseName("F4S.DBF"), std::optional<QString>("F4S"));
    EXPECT_EQ(ReportTableName("F4S", 2016), "F4S2016");
    EXPECT_EQ(ReportFileName("F4S", 2016), "F4S2016.DBF");
    EXPECT_EQ(BlankFileName("F4S"), "F4S.DBF");
    EXPECT_EQ(ReportFileName(*ReportBaseName("F4A2.DBF"), 2016), "F4A22016.DBF");
    EXPECT_EQ(BaseNameOfTableName("F4A22016"), "F4A2");
    EXPECT_EQ(ReportBlankPath("/inst/WED/", "F4S"), "/inst/WED/F4S.DBF");
    EXPECT_EQ(ReportTablePath("/inst/DBF/D17/", "F1", 2016), "/inst/DBF/D17/F12016.DBF");
}

TEST(ReportNames, RefusesAFailThatIsNoPlainBaseNameWithDbf) {
    for (const char *bad : {"", ".DBF", "F1", "F1.dbf", "F1.DBF.BAK", "F1.X.DBF", "../F1.DBF",
                            "..\\F1.DBF", "SUB/F1.DBF", "SUB\\F1.DBF", "C:F1.DBF", "/etc/F1.DBF",
                            "...DBF", "F 1.DBF", " F1.DBF", "F1*.DBF", "F1?.DBF", "F1\t.DBF"})
        EXPECT_FALSE(ReportBaseName(QString::fromUtf8(bad)).has_value()) << bad;
    EXPECT_EQ(ReportBaseName(QStringLiteral("Ф1.DBF")), std::optional<QString>("Ф1"));

    MessageRecorder rec;
    EXPECT_FALSE(CheckedReportBaseName("..\\..\\PUTI.DBF").has_value());
    ASSERT_EQ(rec.messages.size(), 1);
    EXPECT_EQ(rec.messages[0].title, "Ошибка");
    EXPECT_EQ(rec.messages[0].icon, msg::Icon::Warning);
    EXPECT_TRUE(rec.messages[0].text.contains("..\\..\\PUTI.DBF"));
    EXPECT_EQ(CheckedReportBaseName("F1.DBF"), std::optional<QString>("F1"));
    EXPECT_EQ(rec.messages.size(), 1);
}

TEST(ReportNames, OrganisationFolderHasNoLeadingZeros) {
    paths::setProgramDirForTests("/inst");
    EXPECT_EQ(OrgDataDir(7), "/inst/DBF/D7/");
    EXPECT_EQ(OrgDataDir(17), "/inst/DBF/D17/");
    paths::setProgramDirForTests(QString());
}

// ---------------------------------------------------------------- creating

struct Installation : ::testing::Test {
    QTemporaryDir dir;
    QString wed, dbf;
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir(dir.path()).mkpath("WED");
        QDir(dir.path()).mkpath("DBF");
        wed = dir.filePath("WED/");
        dbf = dir.filePath("DBF/");
        paths::setProgramDirForTests(dir.path());
    }
    void TearDown() override { paths::setProgramDirForTests(QString()); }
};

TEST_F(Installation, BlankCopiedIntoANewOrganisationFolderKeepsItsRows) {
    makeBlank(wed + "F1.DBF");
    const QString org = OrgDataDir(7);
    ASSERT_EQ(org, dbf + "D7/");
    ASSERT_FALSE(QFileInfo::exists(org));

    MessageRecorder rec;
    EXPECT_EQ(CreateReportTable(wed, org, "F1", 2016), CreateReportResult::Created);
    EXPECT_TRUE(rec.messages.isEmpty());
    EXPECT_TRUE(QFileInfo(dbf + "D7").isDir());
    EXPECT_FALSE(QFileInfo::exists(dbf + "D07"));
    const QString table = org + "F12016.DBF";
    ASSERT_TRUE(QFileInfo::exists(table));
    EXPECT_EQ(readAll(table), readAll(wed + "F1.DBF"));

    store::TADODataSet ds;
    ASSERT_TRUE(OpenReportTable(ds, org, ReportTableName("F1", 2016)));
    ASSERT_EQ(ds.RecordCount(), 3);
    for (int r = 1; r <= 3; ++r) {
        ds.setRecNo(r);
        EXPECT_EQ(ds.FieldByName("NAME").AsString(), kRowNames[r - 1]) << r;
        EXPECT_TRUE(ds.FieldByName("N1").IsNull());
    }
    ds.Close();
    DM().ADOConDBF.Close();
}

TEST_F(Installation, MissingBlankCreatesNothing) {
    const QString org = OrgDataDir(3);
    MessageRecorder rec;
    EXPECT_EQ(CreateReportTable(wed, org, "F9", 2016), CreateReportResult::BlankMissing);
    ASSERT_EQ(rec.messages.size(), 1);
    EXPECT_EQ(rec.messages[0].text, "Отсутствует файл шаблона " + wed + "F9.DBF");
    EXPECT_EQ(rec.messages[0].title, "Ошибка");
    EXPECT_EQ(rec.messages[0].icon, msg::Icon::Warning);
    EXPECT_FALSE(QFileInfo::exists(org + "F92016.DBF"));
}

TEST_F(Installation, OrganisationFolderIsMadeOneLevelOnly) {
    makeBlank(wed + "F1.DBF");
    QDir(dbf).removeRecursively();
    MessageRecorder rec;
    // Left to the application's default handler, which shows it titled "KVR".
    EXPECT_THROW(CreateReportTable(wed, OrgDataDir(4), "F1", 2016), FileError);
    EXPECT_TRUE(rec.messages.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dbf));
}

TEST_F(Installation, FailedCopyLeavesNoReportTable) {
    makeBlank(wed + "F1.DBF", 400); // well over the size limit below
    ASSERT_GT(QFileInfo(wed + "F1.DBF").size(), 16 * 1024);
    const QString org = OrgDataDir(5);

    // Writing beyond 8 KiB fails with "file too large" for this process.
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 8 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    MessageRecorder rec;
    const CreateReportResult result = CreateReportTable(wed, org, "F1", 2016);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(result, CreateReportResult::CopyFailed);
    ASSERT_EQ(rec.messages.size(), 1);
    EXPECT_EQ(rec.messages[0].title, "Ошибка");
    EXPECT_FALSE(QFileInfo::exists(org + "F12016.DBF"));
    EXPECT_TRUE(QDir(org).entryList(QDir::Files | QDir::Hidden).isEmpty())
        << QDir(org).entryList(QDir::Files | QDir::Hidden).join(",").toStdString();
}

TEST_F(Installation, OpeningAMissingTableSaysSo) {
    QDir(dbf).mkdir("D2");
    store::TADODataSet ds;
    MessageRecorder rec;
    EXPECT_FALSE(OpenReportTable(ds, OrgDataDir(2), "F12016"));
    ASSERT_EQ(rec.messages.size(), 1);
    EXPECT_EQ(rec.messages[0].text, "Не найдена директория БД!");
    EXPECT_EQ(rec.messages[0].title, "Сообщение");
    EXPECT_FALSE(ds.Active());
}

TEST_F(Installation, DeletingRemovesOnlyThatReport) {
    makeBlank(wed + "F1.DBF");
    makeBlank(wed + "F2.DBF");
    const QString org = OrgDataDir(8);
    MessageRecorder rec;
    ASSERT_EQ(CreateReportTable(wed, org, "F1", 2016), CreateReportResult::Created);
    ASSERT_EQ(CreateReportTable(wed, org, "F2", 2016), CreateReportResult::Created);
    EXPECT_TRUE(DeleteReportFile(org, "F12016"));
    EXPECT_FALSE(ReportTableExists(org, "F1", 2016));
    EXPECT_TRUE(ReportTableExists(org, "F2", 2016));
    EXPECT_FALSE(DeleteReportFile(org, "F12016"));
}

// ---------------------------------------------------------------- cells

TEST_F(Installation, CellsAreAddressedByTableFieldAndRecordNumber) {
    EXPECT_EQ(MakeCellAddress("F0", "N1", 9), (CellAddress{"F0", "N1", "9"}));
    for (const char *bad : {"", "0", "09", "-1", "1a", " 1", "1234567890"})
        EXPECT_FALSE(CellRecordNumber({"F0", "N1", bad}).has_value()) << bad;
    EXPECT_EQ(CellRecordNumber({"F0", "N1", "12"}), std::optional<int>(12));

    makeBlank(wed + "F1.DBF");
    testsupport::OpenTable f1(wed, "F1");
    store::TADODataSet &ds = f1.ds;
    auto cell = CellField(ds, MakeCellAddress("F1", "NAME", 2));
    ASSERT_TRUE(cell.has_value());
    EXPECT_EQ(ds.RecNo(), 2);
    EXPECT_EQ(cell->AsString(), kRowNames[1]);
    EXPECT_FALSE(CellField(ds, MakeCellAddress("F1", "NAME", 4)).has_value());
    EXPECT_FALSE(CellField(ds, MakeCellAddress("F1", "N99", 1)).has_value());
}

// ---------------------------------------------------------------- columns

QFont gridFont() {
    static const QString family = [] {
        const int id = QFontDatabase::addApplicationFont(
            "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf");
        const QStringList f = QFontDatabase::applicationFontFamilies(id);
        return f.isEmpty() ? QString() : f.first();
    }();
    EXPECT_FALSE(family.isEmpty());
    QFont f(family);
    f.setPixelSize(12);
    return f;
}

QStringList reportFields(int dataColumns) {
    QStringList f{"KODSTR", "NAME", "KODN", "KODPOKAZ"};
    for (int i = 1; i <= dataColumns; ++i)
        f << QStringLiteral("N%1").arg(i);
    return f;
}

CatalogueColumns catalogue(int kolStolb) {
    CatalogueColumns c;
    c.KolStolb = kolStolb;
    for (int i = 1; i <= kCatalogueCaptionCount; ++i) {
        c.Nam << QStringLiteral("Графа;%1").arg(i);
        c.Vkl << "1";
    }
    return c;
}

QStringList shownFields(const QVector<ReportColumn> &cols) {
    QStringList out;
    for (const ReportColumn &c : cols)
        if (c.Visible)
            out << c.Field;
    return out;
}

TEST(ReportColumns, KolStolbFiveWithVkl2OffShowsN1AndN3ToN6) {
    CatalogueColumns cat = catalogue(5);
    cat.Vkl[1] = "0";
    const auto cols = ReportColumnLayout(reportFields(9), cat, gridFont());
    EXPECT_EQ(shownFields(cols), (QStringList{"KODSTR", "NAME", "N1", "N3", "N4", "N5", "N6"}));
    for (const ReportColumn &c : cols) {
        const bool data = c.Field.startsWith('N') && c.Field != "NAME";
        EXPECT_EQ(c.Editable, data && c.Visible) << c.Field.toStdString();
        if (data) {
            EXPECT_EQ(c.DataNumber, c.Field.mid(1).toInt());
        }
    }
}

TEST(ReportColumns, SwitchesThatAreEmptyLowOrNoNumberHide) {
    CatalogueColumns cat = catalogue(28);
    cat.Vkl[0] = "";
    cat.Vkl[1] = "0.5";
    cat.Vkl[2] = "да";
    cat.Vkl[3] = "-1";
    cat.Vkl[4] = "2";
    cat.Vkl[5] = "1.0";
    const auto cols = ReportColumnLayout(reportFields(6), cat, gridFont());
    EXPECT_EQ(shownFields(cols), (QStringList{"KODSTR", "NAME", "N5", "N6"}));
}

TEST(ReportColumns, ColumnsBeyondKolStolbStayHiddenAndSoDoUndescribedOnes) {
    CatalogueColumns cat = catalogue(40);
    const auto cols = ReportColumnLayout(reportFields(30), cat, gridFont());
    QStringList shown = shownFields(cols);
    EXPECT_EQ(shown.size(), 2 + 28); // N29 and N30 have no switch in the catalogue
    EXPECT_FALSE(shown.contains("N29"));
    EXPECT_FALSE(CatalogueColumns{}.KolStolb);
    const auto none = ReportColumnLayout(reportFields(3), CatalogueColumns{}, gridFont());
    EXPECT_EQ(shownFields(none), (QStringList{"KODSTR", "NAME"}));
}

TEST(ReportColumns, CaptionsWithAndWithoutSemicolon) {
    CatalogueColumns cat = catalogue(3);
    cat.Nam[0] = "Учащихся;всего";
    cat.Nam[1] = "Итого";
    cat.Nam[2] = "";
    const QFont font = gridFont();
    const auto cols = ReportColumnLayout(reportFields(3), cat, font);
    ASSERT_EQ(cols.size(), 7);
    QFont bold = font;
    bold.setBold(true);
    const ReportColumn &n1 = cols[4];
    ASSERT_EQ(n1.Field, "N1");
    EXPECT_EQ(n1.Title, "УЧАЩИХСЯ ВСЕГО");
    EXPECT_EQ(n1.Width, QFontMetrics(bold).horizontalAdvance("Учащихся; "));
    EXPECT_EQ(cols[5].Title, " ИТОГО");
    EXPECT_EQ(cols[5].Width, -1);
    EXPECT_EQ(cols[6].Title, " ");

    // The titled leading fields come first and in upper case; the codes hide.
    EXPECT_EQ(cols[0].Field, "KODSTR");
    EXPECT_EQ(cols[0].Title, "N N СТРОКИ");
    EXPECT_TRUE(cols[0].WindowColour);
    EXPECT_FALSE(cols[0].Editable);
    EXPECT_EQ(cols[1].Title, "НАИМЕНОВАНИЕ ПОКАЗАТЕЛЯ");
    EXPECT_FALSE(cols[1].Editable);
    EXPECT_FALSE(cols[2].Visible);
    EXPECT_FALSE(cols[3].Visible);
}

TEST(ReportColumns, EveryTitleLineFitsItsColumn) {
    CatalogueColumns cat = catalogue(3);
    cat.Nam[0] = "Язык;башкирский"; // the part after ";" is the longer one
    cat.Nam[1] = "Всего;учащихся";
    cat.Nam[2] = "1;кл";
    const QFont font = gridFont();
    const QFontMetrics fm(font);
    QFont bold = font;
    bold.setBold(true);
    const auto cols = ReportColumnLayout(reportFields(3), cat, font);
    const QStringList expected[] = {{"ЯЗЫК", "БАШКИРСКИЙ"}, {"ВСЕГО", "УЧАЩИХСЯ"}, {"1", "КЛ"}};
    for (int i = 0; i < 3; ++i) {
        const ReportColumn &c = cols[4 + i];
        EXPECT_GE(c.Width, QFontMetrics(bold).horizontalAdvance(
                               cat.Nam[i].left(cat.Nam[i].indexOf(';') + 1) + " "));
        // Wrapped as the grid wraps it: each line no wider than the column allows.
        const QStringList lines = WrapCaptionLines(fm, c.Width - 4, c.Title);
        EXPECT_EQ(lines, expected[i]) << i;
        for (const QString &line : lines)
            EXPECT_LE(fm.horizontalAdvance(line), c.Width - 4) << line.toStdString();
    }
    EXPECT_EQ(cols[4].Width, fm.horizontalAdvance("БАШКИРСКИЙ") + 4);
}

TEST(ReportColumns, NomformIsNoDataColumn) {
    QStringList fields = reportFields(2);
    fields << "NOMFORM";
    const auto cols = ReportColumnLayout(fields, catalogue(5), gridFont());
    EXPECT_EQ(shownFields(cols), (QStringList{"KODSTR", "NAME", "N1", "N2"}));
}

TEST_F(Installation, LayoutAppliedToAReportTableInTheModel) {
    makeBlank(wed + "F1.DBF");
    testsupport::OpenTable f1(wed, "F1");
    store::TADODataSet &ds = f1.ds;
    DataSetModel model;
    model.setDataSet(&ds);
    CatalogueColumns cat = catalogue(2);
    cat.Vkl[0] = "0";
    QStringList fields;
    for (const FieldDef &d : ds.FieldDefs())
        fields << d.name;
    ApplyReportColumns(model, ReportColumnLayout(fields, cat, gridFont()));

    ASSERT_EQ(model.columnCount(), 7);
    EXPECT_EQ(model.fieldOfColumn(0), "KODSTR");
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "НАИМЕНОВАНИЕ ПОКАЗАТЕЛЯ");
    EXPECT_EQ(model.headerData(5, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>(),
              Qt::AlignHCenter);
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model.flags(model.index(0, model.columnOfField("N1"))) & Qt::ItemIsEditable);
    EXPECT_TRUE(model.flags(model.index(0, model.columnOfField("N2"))) & Qt::ItemIsEditable);
    EXPECT_FALSE(model.columns()[model.columnOfField("N1")].visible);
    EXPECT_TRUE(model.columns()[model.columnOfField("N3")].visible);
    EXPECT_EQ(model.data(model.index(1, 1)).toString(), kRowNames[1]);
}

} // namespace
