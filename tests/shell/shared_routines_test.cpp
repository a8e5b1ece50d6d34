#include "shell/UnitConsts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <csignal>
#include <gtest/gtest.h>

namespace {

void writeFile(const QString &path, const QByteArray &data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QByteArray readFile(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll();
}

TEST(CopyFileByStream, CopiesWholeContentAndReplacesLongerDestination) {
    QTemporaryDir dir;
    const QString src = dir.filePath("F1.DBF"), dst = dir.filePath("F12016.DBF");
    writeFile(src, QByteArray("short"));
    writeFile(dst, QByteArray(1000, 'x'));
    CopyFileByStream(dst, src);
    EXPECT_EQ(readFile(dst), QByteArray("short"));

    const QString empty = dir.filePath("EMPTY.DBF"), emptyCopy = dir.filePath("E2.DBF");
    writeFile(empty, QByteArray());
    CopyFileByStream(emptyCopy, empty);
    EXPECT_TRUE(QFile::exists(emptyCopy));
    EXPECT_EQ(readFile(emptyCopy), QByteArray());
}

// A copy to a new file makes it where no file stands and keeps one that does.
TEST(CopyFileToNew, CopiesOnlyWhereNoFileStands) {
    QTemporaryDir dir;
    const QString src = dir.filePath("F1.DBF"), dst = dir.filePath("F12016.DBF");
    writeFile(src, QByteArray("blank"));
    EXPECT_TRUE(CopyFileToNew(dst, src));
    EXPECT_EQ(readFile(dst), QByteArray("blank"));
    writeFile(dst, QByteArray("typed in"));
    EXPECT_FALSE(CopyFileToNew(dst, src));
    EXPECT_EQ(readFile(dst), QByteArray("typed in"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), (QStringList{"F1.DBF", "F12016.DBF"}));
    EXPECT_THROW(CopyFileToNew(dir.filePath("NEW.DBF"), dir.filePath("NOPE.DBF")), FileError);
    EXPECT_FALSE(QFile::exists(dir.filePath("NEW.DBF")));
}

// A failed system call is told as what failed, the path and the reason.
TEST(ThrowFileError, NamesWhatFailedThePathAndTheReason) {
    const struct {
        int err;
        QString message;
    } cases[] = {
        {ENOENT, "Не удалось открыть папку /a/D7: нет такого файла или папки"},
        {ENOSPC, "Не удалось открыть папку /a/D7: нет места на диске"},
        {9999, "Не удалось открыть папку /a/D7: ошибка системы 9999"},
    };
    auto thrown = [](int err) {
        try {
            throwFileError("Не удалось открыть папку", "/a/D7", err);
        } catch (const FileError &e) {
            return e.message();
        }
        return QString();
    };
    for (const auto &c : cases)
        EXPECT_EQ(thrown(c.err), c.message);
}

TEST(CopyFileByStream, RefusesToCopyAFileOntoItself) {
    QTemporaryDir dir;
    const QString f = dir.filePath("OTHE2016.DBF");
    writeFile(f, QByteArray("catalogue"));
    EXPECT_THROW(CopyFileByStream(f, f), FileError);
    EXPECT_THROW(CopyFileByStream(dir.path() + "/./OTHE2016.DBF", f), FileError);
    EXPECT_EQ(readFile(f), QByteArray("catalogue"));
}

TEST(CopyFileByStream, MissingSourceLeavesNoDestination) {
    QTemporaryDir dir;
    const QString dst = dir.filePath("NEW.DBF");
    EXPECT_THROW(CopyFileByStream(dst, dir.filePath("NOPE.DBF")), FileError);
    EXPECT_FALSE(QFile::exists(dst));
    // A destination in a folder that does not exist fails without a trace.
    writeFile(dir.filePath("A.DBF"), "a");
    EXPECT_THROW(CopyFileByStream(dir.filePath("no/such/B.DBF"), dir.filePath("A.DBF")), FileError);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"A.DBF"});
}

// Each failure names the file and the system's reason, in Russian.
TEST(CopyFileByStream, FailuresGiveTheSystemsReasonInRussian) {
    QTemporaryDir dir;
    const QString file = dir.filePath("A.DBF"), folder = dir.filePath("DIR.DBF");
    writeFile(file, QByteArray(4096, 'a'));
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString missing = dir.filePath("NONE.DBF"), loop = dir.filePath("LOOP.DBF");
    ASSERT_TRUE(QFile::link(loop, loop));
    const QString longName = dir.filePath(QString(300, 'L'));
    const QString noFolder = dir.filePath("NO/B.DBF"), big = dir.filePath("BIG.DBF");
    const struct {
        QString dest, source;
        bool smallFiles; // files of this process may not grow beyond 1 KiB
        QString message;
    } cases[] = {
        {dir.filePath("B.DBF"), folder, false,
         "Не удалось открыть файл " + folder + ": это папка, а не файл"},
        {dir.filePath("B.DBF"), missing, false,
         "Не удалось открыть файл " + missing + ": нет такого файла или папки"},
        {dir.filePath("B.DBF"), loop, false,
         "Не удалось открыть файл " + loop + ": слишком много уровней символических ссылок"},
        {dir.filePath("B.DBF"), longName, false,
         "Не удалось открыть файл " + longName + ": слишком длинное имя файла"},
        {folder, file, false, "Ошибка записи файла " + folder + ": это папка, а не файл"},
        {noFolder, file, false,
         "Не удалось создать файл " + noFolder + ": нет такого файла или папки"},
        {big, file, true, "Ошибка записи файла " + big + ": файл слишком велик"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        struct rlimit saved {};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        if (c.smallFiles) {
            struct rlimit low = saved;
            low.rlim_cur = 1024;
            ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &low), 0);
        }
        QString message = "nothing thrown";
        try {
            CopyFileByStream(c.dest, c.source);
        } catch (const FileError &e) {
            message = e.message();
        }
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, handler);
        EXPECT_EQ(message, c.message);
    }
    // No copy was left, whole or in part.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              QStringList({"A.DBF", "LOOP.DBF"}));
}

// Runs the cases under the given C locale (numeric part) when it exists.
class TruncTo2DecimalsTest : public ::testing::TestWithParam<const char *> {
protected:
    void SetUp() override {
        old = std::setlocale(LC_NUMERIC, nullptr);
        if (!std::setlocale(LC_NUMERIC, GetParam()))
            GTEST_SKIP() << "locale " << GetParam() << " not installed";
    }
    void TearDown() override { std::setlocale(LC_NUMERIC, old.c_str()); }
    std::string old;
};

TEST_P(TruncTo2DecimalsTest, CutsTowardZeroAfterTheSecondDecimal) {
    EXPECT_DOUBLE_EQ(TruncTo2Decimals(12.349), 12.34);
    EXPECT_DOUBLE_EQ(TruncTo2Decimals(2.0 / 3.0 * 1000000.0), 666666.66);
    EXPECT_DOUBLE_EQ(TruncTo2Decimals(100 * 0.29), 29.0);
    EXPECT_DOUBLE_EQ(TruncTo2Decimals(-0.057), -0.05);
    EXPECT_DOUBLE_EQ(TruncTo2Decimals(66.666666), 66.66);
    EXPECT_DOUBLE_EQ(TruncTo2Decimals(5), 5.0);
    EXPECT_DOUBLE_EQ(TruncTo2Decimals(0.1), 0.1);
    EXPECT_DOUBLE_EQ(TruncTo2Decimals(0), 0.0);
}

// The result is the number the cut text names, to the last bit: the same
// double as the literal, as if the text were read back.
TEST_P(TruncTo2DecimalsTest, ResultIsExactlyTheCutText) {
    EXPECT_EQ(TruncTo2Decimals(1.149), 1.14);
    EXPECT_EQ(TruncTo2Decimals(12.349), 12.34);
    EXPECT_EQ(TruncTo2Decimals(2.0 / 3.0 * 1000000.0), 666666.66);
    EXPECT_EQ(TruncTo2Decimals(100 * 0.29), 29.0);
    for (int cents = -100000; cents <= 100000; cents += 7) {
        const double x = cents / 100.0;
        ASSERT_EQ(TruncTo2Decimals(x), x) << cents;
    }
    // Cut to zero from below gives zero, not a negative zero.
    EXPECT_FALSE(std::signbit(TruncTo2Decimals(-0.004)));
}

TEST_P(TruncTo2DecimalsTest, ExponentialMagnitudesStayWithinX) {
    EXPECT_DOUBLE_EQ(TruncTo2Decimals(0.0000012), 0.0);
    EXPECT_DOUBLE_EQ(TruncTo2Decimals(-0.0000012), 0.0);
    EXPECT_DOUBLE_EQ(TruncTo2Decimals(2.5e15), 2.5e15);
    EXPECT_DOUBLE_EQ(TruncTo2Decimals(-1.0e300), -1.0e300);
}

INSTANTIATE_TEST_SUITE_P(Locales, TruncTo2DecimalsTest,
                         ::testing::Values("C", "ru_RU.UTF-8", "ru_RU.CP1251"));

TEST(StrInList, ContainmentAndEquality) {
    const QStringList files{"F52016.DBF", "F12016.DBF"};
    EXPECT_TRUE(StrInList("2016", files, false));
    EXPECT_FALSE(StrInList("2016", files, true));
    EXPECT_TRUE(StrInList("F12016.DBF", files, true));
    EXPECT_FALSE(StrInList("f12016", files, false));
    EXPECT_FALSE(StrInList("", files, false));
    EXPECT_FALSE(StrInList("F1", QStringList(), false));
}

} // namespace
