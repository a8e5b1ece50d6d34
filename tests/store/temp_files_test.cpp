// The temporary file of a table's write killed before its rename goes when
// the folder is next written, in the installation's folders only; that of a
// write under way in another process, and files that only look alike, stay.

#include "StoreTestUtil.h"

#include "shell/UnitConsts.h"
#include "store/Dataset.h"
#include "store/SaveFile.h"

#include <QCoreApplication>
#include <QProcess>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

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
        // of it, so its temporary file is there.
        m_fd = ::open(fifo.constData(), O_WRONLY);
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
    const struct {
        const char *what;
        std::function<void(Folder &)> write;
        QStringList files; // besides the table, the look-alikes and the finished copy
    } cases[] = {
        {"a post to a table of the folder",
         [](Folder &f) {
             TADODataSet ds;
             f.openTable(ds, "select * from T");
             ds.Append();
             ds.Post();
         },
         {}},
        {"a file copied into the folder",
         [](Folder &f) { CopyFileByStream(f.file("C.DBF"), f.file("T.DBF")); },
         {"C.DBF"}},
        {"a table made in the folder",
         [&](Folder &f) { DbfFile::create(f.file("N.DBF"), defs); },
         {"N.DBF"}},
    };
    for (const bool installation : {true, false}) {
        for (const auto &c : cases) {
            const std::string what = std::string(c.what) + (installation ? "" : ", elsewhere");
            Folder f;
            store::setLeftoverSweepRoot(installation ? f.path() : QString());
            DbfFile::create(f.file("T.DBF"), defs);
            DbfFile::create(f.file("S.DBF"), defs);
            Copy running(f.file("S.DBF")); // under way: its temporary file is locked
            Copy killed(f.file("T.DBF"));  // over the table: T.DBF.kvr<pid>-1.tmp
            killed.end(true);
            const QString leftover = QStringLiteral("T.DBF.kvr%1-1.tmp").arg(killed.pid());
            // Files that only look like the store's: no table of that name.
            const QStringList alike = {"F12016.DBF.a1B2c3",
                                       QStringLiteral("Мой отчёт.kvr%1-1.tmp").arg(killed.pid())};
            for (const QString &name : alike)
                storetest::writeBytes(f.file(name), "not ours");
            ASSERT_EQ(filesOf(f).size(), 6) << what << ": " << filesOf(f).join(' ').toStdString();

            c.write(f);
            running.end(false);
            QStringList expected = QStringList{"T.DBF", "S.DBF"} + alike + c.files;
            if (!installation)
                expected << leftover;
            expected.sort();
            EXPECT_EQ(filesOf(f), expected) << what;
            EXPECT_EQ(QFileInfo(f.file("S.DBF")).size(), kFeed) << what;
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
