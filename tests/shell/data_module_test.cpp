#include "shell/Paths.h"
#include "shell/UnitDM.h"
#include "store/Dataset.h"
#include "support/DataModuleConnections.h"
#include "support/MessageRecorder.h"
#include "support/TableBuilder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using store::FieldDef;
using store::TADODataSet;

const QString kConnError =
    QStringLiteral("Не удалось установить соединение с БД Справочников.\r\r(Ошибка соединения с "
                   "каталогом \\WED\\)");

// A program folder with SCHOOL and one period catalogue, made in a temporary folder.
class DataModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        root = dir.path() + "/";
        paths::setProgramDirForTests(root);
        QDir().mkpath(root + "WED");
        QDir().mkpath(root + "DBF");
        store::DbfFile::create(root + "SCHOOL.DBF", {{"KOD", 'N', 5, 0}, {"NAME", 'C', 60, 0}});
        store::DbfFile::create(root + "WED/OTHE2016.DBF",
                               {{"KOD", 'N', 3, 0}, {"NAME", 'C', 80, 0}, {"FAIL", 'C', 12, 0}});
        testsupport::appendRecords(root, "SCHOOL",
                                   {{{"KOD", "1"}, {"NAME", "Школа № 1"}},
                                    {{"KOD", "2"}, {"NAME", "Гимназия"}},
                                    {{"KOD", "7"}, {"NAME", "Лицей"}}});
        testsupport::appendRecords(root + "WED", "OTHE2016",
                                   {{{"KOD", "1"}, {"NAME", "Общие сведения"}, {"FAIL", "F1.DBF"}},
                                    {{"KOD", "2"}, {"NAME", "Раздел 4"}, {"FAIL", "F4A2.DBF"}},
                                    {{"KOD", "3"}, {"NAME", "Кадры"}, {"FAIL", "F7.DBF"}}});
    }
    void TearDown() override {
        testsupport::closeDataModuleConnections();
        paths::setProgramDirForTests(QString());
    }

    static void touch(const QString &path) {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }

    QTemporaryDir dir;
    QString root;
};

TEST_F(DataModuleTest, ConnectionStringKeepsTheFolderAsGiven) {
    EXPECT_EQ(TDM::MakeConnectionString("C:\\KVR\\WED\\"),
              "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\KVR\\WED\\;Extended "
              "Properties=dBASE IV;User ID=admin;Password=;");
}

TEST_F(DataModuleTest, ExtractDbqTakesTheTextUpToTheNextSemicolon) {
    EXPECT_EQ(TDM::ExtractDbq("Provider=x;DBQ=C:\\KVR\\DBF\\D7;Driver=y"), "C:\\KVR\\DBF\\D7");
    EXPECT_EQ(TDM::ExtractDbq("Provider=x;DBQ=C:\\KVR\\DBF\\D7"), "");
    EXPECT_EQ(TDM::ExtractDbq("Provider=x;Data Source=C:\\KVR;"), "");
}

TEST_F(DataModuleTest, ExtractDbqFindsTheFolderOfAnOpenConnection) {
    ASSERT_TRUE(DM().Connect(3, root + "WED"));
    EXPECT_EQ(QDir(TDM::ExtractDbq(DM().ADOConDBF.connectionString())).canonicalPath(),
              QDir(root + "WED").canonicalPath());
}

TEST_F(DataModuleTest, ConnectWithUnknownKindTouchesNothing) {
    MessageRecorder rec;
    ASSERT_TRUE(DM().Connect(1, root));
    EXPECT_FALSE(DM().Connect(0, root + "WED"));
    EXPECT_FALSE(DM().Connect(5, root + "WED"));
    EXPECT_TRUE(DM().ADOConMain.Connected());
    EXPECT_FALSE(DM().ADOConWED.Connected());
    EXPECT_TRUE(rec.messages.isEmpty());
}

TEST_F(DataModuleTest, ConnectionToAMissingFolderShowsTheErrorAndStaysClosed) {
    MessageRecorder rec;
    ASSERT_TRUE(DM().Connect(3, root));
    EXPECT_FALSE(DM().Connect(3, root + "NOWHERE"));
    EXPECT_FALSE(DM().ADOConDBF.Connected());
    ASSERT_EQ(rec.messages.size(), 1);
    EXPECT_EQ(rec.messages[0].title, "Ошибка");
    EXPECT_EQ(rec.messages[0].text, kConnError);
    EXPECT_EQ(rec.messages[0].icon, msg::Icon::Warning);
}

TEST_F(DataModuleTest, OpenTableOnClosedConnectionIsSilent) {
    MessageRecorder rec;
    TADODataSet ds;
    EXPECT_FALSE(DM().OpenTable(DM().ADOConTemp, ds, "SCHOOL"));
    EXPECT_FALSE(ds.Active());
    EXPECT_TRUE(rec.messages.isEmpty());
}

TEST_F(DataModuleTest, OpenTableOfAMissingTableNamesIt) {
    MessageRecorder rec;
    ASSERT_TRUE(DM().Connect(2, root + "WED"));
    TADODataSet ds;
    EXPECT_FALSE(DM().OpenTable(DM().ADOConWED, ds, "OTHE2099"));
    EXPECT_FALSE(ds.Active());
    ASSERT_EQ(rec.messages.size(), 1);
    EXPECT_EQ(rec.messages[0].text, "Не удалось прочитать данные из файла БД.OTHE2099");
    EXPECT_TRUE(DM().OpenTable(DM().ADOConWED, ds, "OTHE2016"));
    EXPECT_EQ(ds.RecordCount(), 3);
}

TEST_F(DataModuleTest, ReconnectingClosesTheDatasetsOfTheConnection) {
    ASSERT_TRUE(DM().Connect(2, root + "WED"));
    TADODataSet ds;
    ASSERT_TRUE(DM().OpenTable(DM().ADOConWED, ds, "OTHE2016"));
    ASSERT_TRUE(DM().Connect(2, root + "WED"));
    EXPECT_FALSE(ds.Active());
}

TEST_F(DataModuleTest, ListOrgsWithFileKeepsSchoolOrder) {
    touch(root + "DBF/D7/F12016.DBF");
    touch(root + "DBF/D1/F12015.DBF");
    touch(root + "DBF/D2/F42016.CDX");
    QDir().mkpath(root + "DBF/D2");
    ASSERT_TRUE(DM().Connect(1, root));
    EXPECT_EQ(DM().ListOrgsWithFile("2016"), (QStringList{"2", "7"}));
    EXPECT_EQ(DM().ListOrgsWithFile("2015"), (QStringList{"1"}));
    EXPECT_TRUE(DM().ListOrgsWithFile("2017").isEmpty());
}

TEST_F(DataModuleTest, ListReportsWithDataByContainmentInFileNames) {
    touch(root + "DBF/D7/F12016.DBF");
    touch(root + "DBF/D7/F4A22016.BAK"); // any extension counts
    touch(root + "DBF/D7/F72015.DBF");
    ASSERT_TRUE(DM().Connect(2, root + "WED"));
    EXPECT_EQ(DM().ListReportsWithData("2016", "7"), (QStringList{"1", "2"}));
}

TEST_F(DataModuleTest, ListReportsWithDataWithoutFolderOpensNoCatalogue) {
    MessageRecorder rec;
    // The catalogue connection is closed: opening it would fail. A missing
    // folder must answer before that.
    store::resetCounters();
    EXPECT_TRUE(DM().ListReportsWithData("2016", "99").isEmpty());
    EXPECT_EQ(store::counters().tableOpens, 0u);
    EXPECT_TRUE(rec.messages.isEmpty());
}

TEST(PathFunctions, FoldersFromTheProgramFolder) {
    paths::setProgramDirForTests("/inst");
    EXPECT_EQ(paths::GetProgramDir(), "/inst/");
    EXPECT_EQ(paths::GetWedDir(), "/inst/WED/");
    EXPECT_EQ(paths::GetDbfDir(), "/inst/DBF/");
    EXPECT_EQ(paths::GetOrgDataDir("7"), "/inst/DBF/D7/");
    EXPECT_EQ(paths::GetSvodDir(2016, 1), "/inst/DBF/S20161/");
    paths::setProgramDirForTests("/");
    EXPECT_EQ(paths::GetProgramDir(), "/");
    EXPECT_EQ(paths::GetWedDir(), "/WED/");
    paths::setProgramDirForTests(QString());
}

} // namespace
