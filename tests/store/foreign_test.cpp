// Cross-checks with an independent dBASE implementation, the Python `dbf`
// module: tables it wrote (tests/data/dbf, made by make_foreign.py) read
// here, and tables written here read by it (read_foreign.py).

#include "StoreTestUtil.h"

#include "store/Dataset.h"

#include <QFile>
#include <QProcess>

using namespace store;
using storetest::Folder;

namespace {

const QString kDataDir = QStringLiteral(KVR_TESTDATA_DIR "/dbf");

// A Python 3 that has the dbf module, or empty.
QString pythonWithDbf() {
    for (const QString &exe : {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
        QProcess p;
        p.start(exe, {"-c", "import dbf"});
        if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            return exe;
    }
    return QString();
}

// Copies a committed table (and its memo file) into a scratch folder, so that
// nothing the tests do can touch the committed files.
void copyFixture(Folder &f, const QString &name) {
    for (const QString &ext : {QStringLiteral(".DBF"), QStringLiteral(".DBT")}) {
        const QString from = kDataDir + "/" + name + ext;
        if (QFile::exists(from)) {
            ASSERT_TRUE(QFile::copy(from, f.file(name + ext)));
        }
    }
}

} // namespace

TEST(ForeignRead, TableWrittenByPythonDbf) {
    Folder f;
    copyFixture(f, "FOREIGN1");
    TADODataSet ds;
    f.openTable(ds, "select * from FOREIGN1");
    ASSERT_EQ(ds.RecordCount(), 4); // the third of five is deleted
    EXPECT_EQ(ds.FieldByName("KOD").AsInteger(), 1);
    EXPECT_EQ(ds.FieldByName("NAME").AsString(), "Школа №1 г. Уфа");
    EXPECT_DOUBLE_EQ(ds.FieldByName("SUMMA").AsFloat(), 1234.5);
    EXPECT_EQ(ds.FieldByName("DT").AsVariant(), QVariant(QDate(2016, 9, 1)));
    EXPECT_EQ(ds.FieldByName("FLAG").AsVariant(), QVariant(true));
    ds.Next();
    EXPECT_EQ(ds.FieldByName("NAME").AsString(), "Гимназия «Ёлка»");
    EXPECT_TRUE(ds.FieldByName("SUMMA").IsNull());
    EXPECT_EQ(ds.FieldByName("SUMMA").AsString(), "");
    EXPECT_TRUE(ds.FieldByName("DT").IsNull());
    EXPECT_EQ(ds.FieldByName("FLAG").AsVariant(), QVariant(false));
    ds.Next();
    EXPECT_EQ(ds.FieldByName("KOD").AsInteger(), 4);
    EXPECT_DOUBLE_EQ(ds.FieldByName("SUMMA").AsFloat(), -0.75);
    EXPECT_EQ(ds.FieldByName("DT").AsVariant(), QVariant(QDate(2000, 2, 29)));
    EXPECT_TRUE(ds.FieldByName("FLAG").IsNull());
    ds.Next();
    EXPECT_EQ(ds.FieldByName("NAME").AsString(), "");
    EXPECT_DOUBLE_EQ(ds.FieldByName("SUMMA").AsFloat(), 99999.99);
    EXPECT_FALSE(ds.Locate("KOD", 3));
}

TEST(ForeignRead, MemoTableWrittenByPythonDbf) {
    Folder f;
    copyFixture(f, "FOREIGN2");
    TADODataSet ds;
    f.openTable(ds, "select * from FOREIGN2");
    ASSERT_EQ(ds.RecordCount(), 2);
    EXPECT_EQ(ds.FieldByName("NOTE").AsString(), "Примечание к отчёту");
    ds.Next();
    EXPECT_EQ(ds.FieldByName("NOTE").AsString(), "");
    // Without its memo file the table still opens; the memo cannot be read.
    ds.Close();
    f.con.Close();
    ASSERT_TRUE(QFile::remove(f.file("FOREIGN2.DBT")));
    f.con.Open();
    ds.Open();
    EXPECT_EQ(ds.FieldByName("KOD").AsInteger(), 1);
    EXPECT_THROW(ds.FieldByName("NOTE").AsString(), StoreError);
}

TEST(ForeignWrite, PythonDbfReadsWhatWasWritten) {
    const QString python = pythonWithDbf();
    if (python.isEmpty())
        GTEST_SKIP() << "python3 with the dbf module (python3-dbf) is not installed";
    Folder f;
    DbfFile::create(f.file("OUT.DBF"), {{"KOD", 'N', 5, 0},
                                        {"NAME", 'C', 30, 0},
                                        {"SUMMA", 'N', 12, 2},
                                        {"DT", 'D', 8, 0},
                                        {"FLAG", 'L', 1, 0}});
    TADODataSet ds;
    f.openTable(ds, "select * from OUT");
    const struct {
        int kod;
        const char *name;
        QVariant summa, dt, flag;
    } rows[] = {
        {1, "Школа №1 «Ёлочка»", 1234.5, QDate(2016, 9, 1), true},
        {2, "Удалить", 1, QVariant(), false},
        {3, "", QVariant(), QVariant(), QVariant()},
        {4, "Лицей", -0.07, QDate(2000, 2, 29), false},
    };
    for (const auto &r : rows) {
        ds.Append();
        ds.FieldByName("KOD").SetAsInteger(r.kod);
        ds.FieldByName("NAME").SetAsString(QString::fromUtf8(r.name));
        ds.FieldByName("SUMMA").SetAsVariant(r.summa);
        ds.FieldByName("DT").SetAsVariant(r.dt);
        ds.FieldByName("FLAG").SetAsVariant(r.flag);
        ds.Post();
    }
    ASSERT_TRUE(ds.Locate("KOD", 2));
    ds.Delete();

    QProcess p;
    p.start(python, {kDataDir + "/read_foreign.py", f.file("OUT.DBF")});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QStringList lines =
        QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines, (QStringList{"0x03 cp1251", "1|Школа №1 «Ёлочка»|1234.5|2016-09-01|True",
                                  "3||NULL|NULL|NULL", "4|Лицей|-0.07|2000-02-29|False"}));
}
