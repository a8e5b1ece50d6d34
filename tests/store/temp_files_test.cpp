// The temporary file of a write killed before its rename goes when the
// folder is next written; that of a write under way in another process, and
// files that only look alike, stay.

#include "StoreTestUtil.h"

#include "shell/UnitConsts.h"
#include "store/Dataset.h"

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
        // Both ends meet here; the write returns once the copy has read most
        // of it, so its temporary file is there.
        m_fd = ::open(fifo.constData(), O_WRONLY);
        const QByteArray bytes(kFeed, 'x');
        EXPECT_EQ(::write(m_fd, bytes.constData(), kFeed), kFeed);
    }
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
        QStringList files; // besides the table, the look-alike and the finished copy
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
    for (const auto &c : cases) {
        Folder f;
        DbfFile::create(f.file("T.DBF"), defs);
        storetest::writeBytes(f.file("F12016.DBF.a1B2c3"), "not ours");
        Copy running(f.file("S.DBF"));
        Copy(f.file("R.DBF")).end(true);
        ASSERT_EQ(filesOf(f).size(), 4) << c.what << ": " << filesOf(f).join(' ').toStdString();

        c.write(f);
        running.end(false);
        QStringList expected = QStringList{"T.DBF", "F12016.DBF.a1B2c3", "S.DBF"} + c.files;
        expected.sort();
        EXPECT_EQ(filesOf(f), expected) << c.what;
        EXPECT_EQ(QFileInfo(f.file("S.DBF")).size(), kFeed) << c.what;
    }
}
