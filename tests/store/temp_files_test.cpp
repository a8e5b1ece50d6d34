// The temporary file of a table's write killed before its rename goes when
// the folder is next written, in the installation's folders only, also where
// no table of that name stands and by a copy that wrote there before; that
// of a write under way in another process, and files that only look alike,
// stay.

#include "StoreTestUtil.h"

#include "shell/UnitConsts.h"
#include "store/Dataset.h"
#include "store/SaveFile.h"

#include <QCoreApplication>
#include <QProcess>
#include <QScopeGuard>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <memory>

using namespace store;
using storetest::Folder;

namespace {

constexpr int kFeed = 256 * 1024; // four times a pipe's buffer

// A copy into the folder in another process (the test program started with
// KVR_COPY_TO), from a pipe this test feeds: it stands between its temporary
// file and the rename until the pipe is closed.
[[maybe_unused]] const int copyExit = [] {
    const char *to = std::getenv("KVR_COPY_TO");
    if (!to)
        return 0;
    CopyFileByStream(QString::fromLocal8Bit(to),
                     QString::fromLocal8Bit(std::getenv("KVR_COPY_FROM")));
    std::exit(0);
}();

class Copy {
public:
    explicit Copy(const QString &to) {
        const QByteArray fifo = QFile::encodeName(m_dir.filePath("feed"));
        EXPECT_EQ(::mkfifo(fifo.constData(), 0600), 0);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KVR_COPY_TO", to);
        env.insert("KVR_COPY_FROM", QString::fromLocal8Bit(fifo));
        m_p.setProcessEnvironment(env);
        m_p.setProcessChannelMode(QProcess::ForwardedChannels);
        m_p.start(QCoreApplication::applicationFilePath(), {});
        m_p.waitForStarted();
        m_pid = m_p.processId();
        // Both ends meet here; the write returns once the copy has read most
        // of it, so its temporary file is there. Copies started later do not
        // hold this end: the feed ends when the test closes it.
        m_fd = ::open(fifo.constData(), O_WRONLY | O_CLOEXEC);
        const QByteArray bytes(kFeed, 'x');
        EXPECT_EQ(::write(m_fd, bytes.constData(), kFeed), kFeed);
    }
    qint64 pid() const { return m_pid; }
    // Killed, or the feed ended so that the copy completes.
    void end(bool kill) {
        if (kill)
            m_p.kill();
        ::close(m_fd);
        EXPECT_TRUE(m_p.waitForFinished());
        EXPECT_EQ(m_p.exitStatus(), kill ? QProcess::CrashExit : QProcess::NormalExit);
    }

private:
    QTemporaryDir m_dir;
    QProcess m_p;
    qint64 m_pid = 0;
    int m_fd;
};

QStringList filesOf(const Folder &f) {
    return QDir(f.path()).entryList(QDir::Files, QDir::Name);
}

} // namespace

TEST(TempFiles, LeftoversOfKilledWritesGoWhenTheFolderIsNextWritten) {
    const QVector<FieldDef> defs = {{"KOD", 'N', 5, 0}};
    // A table that this program wrote while the killed writes were under
    // way, and writes again after.
    std::unique_ptr<TADODataSet> longRunning;
    const auto post = [](TADODataSet &ds) {
        ds.Append();
        ds.Post();
    };
    const struct {
        const char *what;
        std::function<void(Folder &)> meanwhile; // run while the writes to be killed are under way
        std::function<void(Folder &)> write;
        QStringList files; // besides the tables, the look-alikes and the finished copies
    } cases[] = {
        {"a post to a table of the folder",
         {},
         [&](Folder &f) {
             TADODataSet ds;
             f.openTable(ds, "select * from T");
             post(ds);
         },
         {}},
        {"a post to a table that this copy wrote before, in a folder at rest since",
         [&](Folder &f) {
             // The folder's last change long past: the writers' death
             // does not change it, only its sweep can tell.
             const timespec past[2] = {{946684800, 0}, {946684800, 0}};
             ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(f.path()).constData(), past, 0), 0);
             longRunning = std::make_unique<TADODataSet>();
             f.openTable(*longRunning, "select * from T");
             post(*longRunning);
         },
         [&](Folder &) {
             post(*longRunning);
             longRunning.reset();
         },
         {}},
        {"a file copied into the folder",
         {},
         [](Folder &f) { CopyFileByStream(f.file("C.DBF"), f.file("T.DBF")); },
         {"C.DBF"}},
        {"a table made in the folder",
         {},
         [&](Folder &f) { DbfFile::create(f.file("N.DBF"), defs); },
         {"N.DBF"}},
    };
    for (const bool installation : {true, false}) {
        for (const auto &c : cases) {
            const std::string what = std::string(c.what) + (installation ? "" : ", elsewhere");
            Folder f;
            const auto drop = qScopeGuard([&] { longRunning.reset(); }); // before its folder
            store::setLeftoverSweepRoot(installation ? f.path() : QString());
            DbfFile::create(f.file("T.DBF"), defs);
            DbfFile::create(f.file("S.DBF"), defs);
            // Under way, their temporary files locked: over a table, and a
            // new table not yet standing.
            Copy running(f.file("S.DBF"));
            Copy runningNew(f.file("R.DBF"));
            // To be killed: over the table (T.DBF.kvr<pid>-1.tmp), and making
            // a new one (NEW.DBF.kvr<pid>-1.tmp, no NEW.DBF).
            Copy killed(f.file("T.DBF"));
            Copy killedNew(f.file("NEW.DBF"));
            const QStringList leftovers = {
                QStringLiteral("T.DBF.kvr%1-1.tmp").arg(killed.pid()),
                QStringLiteral("NEW.DBF.kvr%1-1.tmp").arg(killedNew.pid())};
            // Files that only look like the store's: no temporary file of a table.
            const QStringList alike = {"F12016.DBF.a1B2c3",
                                       QStringLiteral("Мой отчёт.kvr%1-1.tmp").arg(killed.pid())};
            for (const QString &name : alike)
                storetest::writeBytes(f.file(name), "not ours");
            ASSERT_EQ(filesOf(f).size(), 8) << what << ": " << filesOf(f).join(' ').toStdString();
            if (c.meanwhile)
                c.meanwhile(f);
            killed.end(true);
            killedNew.end(true);

            c.write(f);
            running.end(false);
            runningNew.end(false);
            QStringList expected = QStringList{"T.DBF", "S.DBF", "R.DBF"} + alike + c.files;
            if (!installation)
                expected << leftovers;
            expected.sort();
            EXPECT_EQ(filesOf(f), expected) << what;
            EXPECT_EQ(QFileInfo(f.file("S.DBF")).size(), kFeed) << what;
            EXPECT_EQ(QFileInfo(f.file("R.DBF")).size(), kFeed) << what;
        }
    }
    store::setLeftoverSweepRoot(QString());
}

// A file that must be new is never put over one that another program made
// meanwhile, and leaves nothing behind.
TEST(TempFiles, ANewFileNeverReplacesOneMadeMeanwhile) {
    Folder f;
    for (const bool madeMeanwhile : {false, true}) {
        const QString path = f.file(madeMeanwhile ? "B.DBF" : "A.DBF");
        SaveFile out(path);
        ASSERT_TRUE(out.open());
        ASSERT_TRUE(out.write(QByteArray("mine")));
        if (madeMeanwhile)
            storetest::writeBytes(path, "theirs");
        EXPECT_EQ(out.commitNew(), !madeMeanwhile);
        EXPECT_EQ(out.existed(), madeMeanwhile);
        EXPECT_EQ(storetest::readBytes(path), madeMeanwhile ? "theirs" : "mine");
    }
    EXPECT_EQ(filesOf(f), (QStringList{"A.DBF", "B.DBF"}));
}

// The writer of a file holds its temporary file by a record lock of a
// descriptor open for writing (a lock of flock's would not show here): the
// lock a file server that shares the folder between computers sees too.
TEST(TempFiles, AWriteUnderWayHoldsItsTemporaryFileByARecordLock) {
    Folder f;
    storetest::writeBytes(f.file("F.DBF"), QByteArray(10, 'x'));
    Copy copy(f.file("F.DBF"));
    const QStringList temps = QDir(f.path()).entryList({"F.DBF.kvr*.tmp"}, QDir::Files);
    ASSERT_EQ(temps.size(), 1);
    const int fd = ::open(QFile::encodeName(f.path() + "/" + temps[0]).constData(), O_RDWR);
    ASSERT_GE(fd, 0);
    struct flock fl = {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    EXPECT_EQ(::fcntl(fd, F_OFD_GETLK, &fl), 0);
    EXPECT_EQ(fl.l_type, F_WRLCK);
    ::close(fd);
    copy.end(false);
}
