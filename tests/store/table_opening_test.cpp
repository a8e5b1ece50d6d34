// Opening tables: the file names a connection remembers follow the folder as
// this program and others change it; one file is one shared table whatever
// name opens it; a folder under a table's name is no table; a connection
// may open its tables relative to its folder kept open.

#include "StoreTestUtil.h"

#include "store/Dataset.h"
#include "store/FolderTable.h"
#include "support/TableBuilder.h"

#include <QProcess>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace store;
using storetest::Folder;

namespace {

const QVector<FieldDef> kFields = {{"NAME", 'C', 10, 0}, {"N1", 'N', 6, 0}};

// Sets the folder's modification time to a fixed moment long past, as a
// folder nobody touched lately has it.
void settle(const QString &folder) {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = 978307200; // 2001-01-01
    times[0].tv_nsec = times[1].tv_nsec = 0;
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(folder).constData(), times, 0), 0);
}

// Runs a shell command in the folder in another process.
void inAnotherProcess(const QString &folder, const QString &command) {
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    ASSERT_TRUE(p.waitForFinished(30000));
    ASSERT_EQ(p.exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

QString nameOf(const QString &path) {
    return path.isEmpty() ? QString() : QFileInfo(path).fileName();
}

} // namespace

TEST(FolderNames, AListingIsKeptWhileTheFolderIsUnchanged) {
    Folder f;
    DbfFile::create(f.file("Old.DBF"), kFields);
    settle(f.path());
    resetCounters();
    EXPECT_EQ(nameOf(f.con.findFile("OLD.DBF")), "Old.DBF");
    EXPECT_EQ(nameOf(f.con.findFile("Old.DBF")), "Old.DBF");
    EXPECT_EQ(f.con.findFile("NEW.DBF"), "");
    EXPECT_EQ(counters().folderListings, 1u);
}

TEST(FolderNames, AFolderModifiedAtTheListingIsListedAgainEachTime) {
    Folder f;
    DbfFile::create(f.file("Old.DBF"), kFields);
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = 4102444800; // 2100-01-01: always "just now" or later
    times[0].tv_nsec = times[1].tv_nsec = 0;
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(f.path()).constData(), times, 0), 0);
    resetCounters();
    EXPECT_EQ(nameOf(f.con.findFile("old.dbf")), "Old.DBF");
    EXPECT_EQ(nameOf(f.con.findFile("old.dbf")), "Old.DBF");
    EXPECT_EQ(counters().folderListings, 2u);
}

TEST(FolderNames, FilesCreatedRemovedOrRenamedByAnotherProcessAreSeen) {
    struct Case {
        const char *command;
        const char *lookFor;
        const char *found; // "" when none
    };
    const Case cases[] = {
        {"cp Old.DBF New.dbf", "NEW.DBF", "New.dbf"},
        {"rm Old.DBF", "OLD.DBF", ""},
        {"mv Old.DBF old.dbf", "OLD.DBF", "old.dbf"},
        {"mv Old.DBF Other.DBF", "other.dbf", "Other.DBF"},
        {"mkdir SUB.DBF", "sub.dbf", ""}, // a folder is no file
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command);
        Folder f;
        DbfFile::create(f.file("Old.DBF"), kFields);
        settle(f.path());
        // The connection has listed the folder and keeps the listing...
        EXPECT_EQ(nameOf(f.con.findFile("old.dbf")), "Old.DBF");
        EXPECT_EQ(nameOf(f.con.findFile(c.lookFor)),
                  QString::fromLatin1(c.lookFor).compare("OLD.DBF", Qt::CaseInsensitive) == 0
                      ? QStringLiteral("Old.DBF")
                      : QString());
        // ...until another process changes the folder.
        inAnotherProcess(f.path(), QString::fromLatin1(c.command));
        EXPECT_EQ(nameOf(f.con.findFile(c.lookFor)), QString::fromLatin1(c.found));
    }
}

TEST(FolderNames, OpenFindsATableAnotherProcessCreatedAndMissesOneItRemoved) {
    Folder f;
    DbfFile::create(f.file("Old.DBF"), kFields);
    settle(f.path());
    TADODataSet ds;
    EXPECT_THROW(f.openTable(ds, "select * from NEW"), StoreError);
    inAnotherProcess(f.path(), "cp Old.DBF new.dbf && rm Old.DBF");
    EXPECT_NO_THROW(f.openTable(ds, "select * from NEW"));
    EXPECT_EQ(nameOf(ds.filePath()), "new.dbf");
    TADODataSet old;
    EXPECT_THROW(f.openTable(old, "select * from OLD"), StoreError);
}

TEST(FolderNames, AnotherFolderOnTheSameConnectionIsListedAfresh) {
    Folder a, b;
    DbfFile::create(a.file("A.DBF"), kFields);
    DbfFile::create(b.file("B.DBF"), kFields);
    settle(a.path());
    settle(b.path());
    TADOConnection con;
    con.setFolder(a.path());
    EXPECT_EQ(nameOf(con.findFile("a.dbf")), "A.DBF");
    con.setFolder(b.path());
    EXPECT_EQ(con.findFile("a.dbf"), "");
    EXPECT_EQ(nameOf(con.findFile("b.dbf")), "B.DBF");
}

TEST(SharedTable, EveryNameOfOneFileOpensOneTable) {
    struct Case {
        const char *what;
        int (*makeName)(const char *from, const char *to);
    };
    const Case cases[] = {{"hard link", &::link}, {"symbolic link", &::symlink}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Folder f;
        DbfFile::create(f.file("T.DBF"), kFields);
        ASSERT_EQ(c.makeName(QFile::encodeName(f.file("T.DBF")).constData(),
                             QFile::encodeName(f.file("U.DBF")).constData()),
                  0);
        TADODataSet t, u;
        f.openTable(t, "select * from T");
        f.openTable(u, "select * from U");
        t.Append();
        t.FieldByName("NAME").SetAsString("one");
        t.Post();
        // The other name's dataset shares the records at once.
        EXPECT_EQ(u.RecordCount(), 1);
        u.First();
        EXPECT_EQ(u.FieldByName("NAME").AsString(), "one");
    }
}

TEST(SharedTable, AFolderUnderTheTablesNameIsPassedOverForTheFileInAnotherCase) {
    Folder f;
    ASSERT_TRUE(QDir(f.path()).mkdir("T.DBF"));
    DbfFile::create(f.file("t.dbf"), kFields);
    TADODataSet ds;
    f.openTable(ds, "select * from T");
    EXPECT_EQ(nameOf(ds.filePath()), "t.dbf");
}

TEST(SharedTable, ATableOpensUnderThePathTheFolderLookupGives) {
    Folder f;
    DbfFile::create(f.file("T.DBF"), kFields);
    QString windowsForm = f.path();
    windowsForm.replace(u'/', u'\\');
    const QString spellings[] = {f.path(), f.path() + "/", f.path() + "//", windowsForm + "\\",
                                 QDir::current().relativeFilePath(f.path())};
    for (const QString &folder : spellings) {
        SCOPED_TRACE(folder.toStdString());
        FolderTable t(folder, "T");
        EXPECT_EQ(t.ds.filePath(), findFileCaseInsensitive(folder, "T.DBF"));
        // Twice: the second path is made from what the first one kept.
        TADODataSet again;
        again.setConnection(&t.con);
        again.setCommandText("select * from T");
        again.Open();
        EXPECT_EQ(again.filePath(), t.ds.filePath());
    }
}

// Connections that keep their folder open read what connections by path
// read; beyond a quarter of the descriptor limit they open by path, and
// closing gives every descriptor back.
TEST(KeptFolder, TablesOpenAsByPathAndFoldersBeyondTheShareGoByPath) {
    auto descriptors = [] {
        return QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::System).size();
    };
    struct Limit {
        struct rlimit saved;
        Limit() { ::getrlimit(RLIMIT_NOFILE, &saved); }
        ~Limit() { ::setrlimit(RLIMIT_NOFILE, &saved); }
    } limit;
    struct rlimit low = limit.saved;
    low.rlim_cur = 64; // a share of 16
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    Folder folders[3];
    for (int i = 0; i < 3; ++i) {
        testsupport::writeTable(folders[i].path(), "T", kFields, {{{"N1", i}}});
        testsupport::writeTable(folders[i].path(), "low", kFields, {{{"NAME", "low"}}});
    }
    const auto before = descriptors();
    std::vector<std::unique_ptr<TADOConnection>> cons;
    for (int c = 0; c < 24; ++c) {
        cons.push_back(std::make_unique<TADOConnection>());
        cons.back()->setFolder(folders[c % 3].path());
        cons.back()->setKeepFolderOpen(true);
        cons.back()->Open();
    }
    EXPECT_EQ(descriptors() - before, 16);
    for (int c = 0; c < 24; ++c) {
        TADODataSet t;
        t.setConnection(cons[c].get());
        t.setCommandText("select * from T"); // the name as written
        t.Open();
        EXPECT_EQ(t.FieldByName("N1").AsInteger(), c % 3) << c;
        t.setCommandText("select * from LOW"); // in another letter case
        t.Open();
        EXPECT_EQ(t.FieldByName("NAME").AsString(), "low") << c;
        t.setCommandText("select * from NONE");
        EXPECT_THROW(t.Open(), StoreError) << c;
    }
    for (auto &con : cons)
        con->Close();
    EXPECT_EQ(descriptors(), before);
}
