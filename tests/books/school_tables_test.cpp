#include "books/SchoolTables.h"
#include "support/TableBuilder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct ProgramFolder : ::testing::Test {
    QTemporaryDir dir;
    store::TADOConnection con;
    QString dbf;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir(dir.path()).mkdir("DBF");
        dbf = dir.filePath("DBF");
        store::DbfFile::create(dir.filePath("SCHOOL.DBF"), SchoolFieldDefs());
        con.setFolder(dir.path());
        con.Open();
    }

    // Appends an organisation per code, a negative code left blank.
    void addSchools(std::initializer_list<int> codes) {
        QList<testsupport::Record> records;
        for (int code : codes) {
            testsupport::Record record;
            if (code >= 0)
                record.append({"KOD", code});
            record.append({"NAME", QStringLiteral("Школа %1").arg(code)});
            records.append(record);
        }
        testsupport::appendRecords(con, "SCHOOL", records);
    }
};

TEST_F(ProgramFolder, EmptyBookGivesCodeOne) {
    EXPECT_EQ(GetMaxKod(con), 0);
    EXPECT_EQ(NextOrganisationCode(con, dbf), 1);
}

TEST_F(ProgramFolder, CodesOneTwoAndSevenGiveEight) {
    addSchools({7, 1, 2}); // stored out of order: the largest counts, not the last
    EXPECT_EQ(GetMaxKod(con), 7);
    EXPECT_EQ(NextOrganisationCode(con, dbf), 8);
}

TEST_F(ProgramFolder, ABlankCodeDoesNotHideTheLargest) {
    addSchools({3, -1});
    EXPECT_EQ(NextOrganisationCode(con, dbf), 4);
}

TEST_F(ProgramFolder, LeftoverDataFoldersAreNeverReused) {
    addSchools({1, 2, 7});
    // Organisation 12 was deleted from the book, its reports are still there.
    QDir d(dbf);
    d.mkdir("D12");
    d.mkdir("D7");
    d.mkdir("S20161"); // a consolidation folder, not an organisation
    d.mkdir("D12A");
    d.mkdir("Dx");
    QFile f(d.filePath("D40"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)); // a file, not a folder
    f.close();
    EXPECT_EQ(MaxOrgFolderCode(dbf), 12);
    EXPECT_EQ(NextOrganisationCode(con, dbf), 13);
    EXPECT_EQ(MaxOrgFolderCode(dir.filePath("NOWHERE")), 0);
}

TEST_F(ProgramFolder, ARecordBeingAppendedIsNotCounted) {
    addSchools({1, 2, 7});
    store::TADODataSet book;
    book.setConnection(&con);
    book.setCommandText("select * from SCHOOL");
    book.Open();
    book.Append();
    book.FieldByName("KOD").SetAsInteger(50);
    EXPECT_EQ(NextOrganisationCode(con, dbf), 8);
    book.Cancel();
}

TEST_F(ProgramFolder, MissingBookIsAnError) {
    ASSERT_TRUE(QFile::remove(dir.filePath("SCHOOL.DBF")));
    EXPECT_THROW(NextOrganisationCode(con, dbf), store::StoreError);
}

TEST_F(ProgramFolder, OrganisationsRoundTripInStoredOrder) {
    store::TADODataSet ds;
    ds.setConnection(&con);
    ds.setCommandText("select * from SCHOOL");
    ds.Open();
    Organisation a;
    a.KOD = 5;
    a.KOD1 = 1;
    a.NAME = QStringLiteral("МОУ «Средняя школа № 5»");
    a.KOD2 = 0;
    a.INN_O = "7701234567";
    a.KODCITY = 2;
    a.RYKORG = QStringLiteral("Иванова Ё. П.");
    a.KOD3 = 3;
    a.KOD4 = 2;
    a.ADRES = QStringLiteral("ул. Ленина, 1");
    Organisation b;
    b.KOD = 2;
    b.NAME = QStringLiteral("Начальная школа");
    for (const Organisation &o : {a, b}) {
        ds.Append();
        WriteOrganisation(ds, o);
        ds.Post();
    }
    ds.Close();

    ASSERT_EQ(SchoolFieldNames().size(), 17);
    const QVector<store::FieldDef> defs = store::DbfFile::fieldsOf(dir.filePath("SCHOOL.DBF"));
    ASSERT_EQ(defs.size(), 17);
    for (int i = 0; i < defs.size(); ++i)
        EXPECT_EQ(defs[i].name, SchoolFieldNames()[i]);

    ds.Open();
    const QVector<Organisation> orgs = ReadOrganisations(ds);
    ASSERT_EQ(orgs.size(), 2);
    EXPECT_EQ(orgs[0].KOD, 5);
    EXPECT_EQ(orgs[0].NAME, a.NAME);
    EXPECT_EQ(orgs[0].RYKORG, a.RYKORG);
    EXPECT_EQ(orgs[0].INN_O, a.INN_O);
    EXPECT_EQ(orgs[0].KODCITY, 2);
    EXPECT_EQ(orgs[0].KOD1, 1);
    EXPECT_EQ(orgs[0].KOD3, 3);
    EXPECT_EQ(orgs[0].KOD4, 2);
    EXPECT_EQ(orgs[0].ADRES, a.ADRES);
    EXPECT_EQ(orgs[1].KOD, 2);
    EXPECT_EQ(orgs[1].NAME, b.NAME);
    EXPECT_EQ(ds.RecNo(), 1);
}

TEST_F(ProgramFolder, RequisitesComeFromTheFirstRecordByFieldName) {
    EXPECT_FALSE(ReadRequisites(con).has_value()); // no REGIM at all

    // Fields in another order and without GLABUX: found by name.
    store::DbfFile::create(dir.filePath("REGIM.DBF"),
                           {{"INNO", 'C', 12, 0}, {"BANK", 'C', 100, 0}, {"TEL", 'C', 20, 0}});
    EXPECT_FALSE(ReadRequisites(con).has_value()); // no record
    testsupport::appendRecords(con, "REGIM",
                               {{{"BANK", "Управление образования"}, {"INNO", "0101010101"}},
                                {{"BANK", "второй"}, {"INNO", "0101010101"}}});
    const auto r = ReadRequisites(con);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->BANK, QStringLiteral("Управление образования"));
    EXPECT_EQ(r->INNO, "0101010101");
    EXPECT_EQ(r->GLABUX, "");
    EXPECT_EQ(RegimFieldNames().size(), RegimFieldDefs().size());
}

} // namespace
