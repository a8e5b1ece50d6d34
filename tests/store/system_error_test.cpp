// The system's reasons for a failed file operation read in Russian, the same
// in every locale, and the table layer's messages carry them so.

#include "StoreTestUtil.h"

#include "store/DbfTable.h"
#include "store/ExceptionText.h"
#include "store/SystemError.h"
#include "support/TableBuilder.h"

#include <sys/resource.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <functional>
#include <string>

using namespace store;
using storetest::Folder;

namespace {

const QVector<FieldDef> kFields = {{"NAME", 'C', 10, 0}, {"N1", 'N', 6, 0}};

// The message the user reads for what the call throws.
QString messageOf(const std::function<void()> &call) {
    try {
        call();
    } catch (...) {
        return ExceptionText(std::current_exception());
    }
    return QStringLiteral("nothing thrown");
}

bool hasLatinLetter(const QString &text) {
    for (const QChar c : text)
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))
            return true;
    return false;
}

// The process's file size limit for the scope: writing beyond it fails with
// EFBIG (for root too) instead of the signal.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved);
        handler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit low = saved;
        low.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &low);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, handler);
    }
    struct rlimit saved {};
    void (*handler)(int) = nullptr;
};

} // namespace

// The reasons users met in English, and a number without a text of its own;
// then every number of the system's range, which must never read in English.
TEST(SystemErrorText, ReasonsReadInRussianInEveryLocale) {
    const struct {
        int err;
        const char *text;
    } cases[] = {
        {EISDIR, "это папка, а не файл"},
        {ENOSPC, "нет места на диске"},
        {EROFS, "файловая система доступна только для чтения"},
        {EACCES, "отказано в доступе"},
        {0, "ошибка системы 0"},
        {-5, "ошибка системы -5"},
        {9999, "ошибка системы 9999"},
    };
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    for (const char *locale : {"C", "ru_RU.UTF-8", "ru_RU.CP1251"}) {
        if (!std::setlocale(LC_ALL, locale))
            continue; // not installed here: the other locales still show it
        for (const auto &c : cases)
            EXPECT_EQ(systemErrorText(c.err), QString::fromUtf8(c.text))
                << locale << ", error " << c.err;
    }
    std::setlocale(LC_ALL, saved.c_str());
    // No number of the system's range reads in English.
    for (int err = 0; err < 150; ++err)
        EXPECT_FALSE(hasLatinLetter(systemErrorText(err))) << err;
}

TEST(SystemErrorText, TheTableLayersMessagesGiveTheReasonInRussian) {
    Folder f;
    testsupport::writeTable(f.path(), "T", kFields, {{{"NAME", "a"}, {"N1", 1}}});
    const QString table = f.file("T.DBF");
    const QString folder = f.file("DIR.DBF");
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString missing = f.file("NONE.DBF");
    const QString throughFile = table + "/X.DBF";
    const QString bigTable = f.file("BIG.DBF");
    const qint64 tableSize = QFileInfo(table).size();

    const struct {
        const char *name;
        std::function<void()> call;
        QString message;
    } cases[] = {
        {"a folder read as a table", [&] { detail::acquireTable(folder); },
         "Не удалось прочитать файл " + folder + ": это папка, а не файл"},
        {"the fields of a folder", [&] { DbfFile::fieldsOf(folder); },
         "Не удалось открыть файл " + folder + ": это папка, а не файл"},
        {"the fields of a missing file", [&] { DbfFile::fieldsOf(missing); },
         "Не удалось открыть файл " + missing + ": нет такого файла или папки"},
        {"a path through a file", [&] { DbfFile::fieldsOf(throughFile); },
         "Не удалось открыть файл " + throughFile + ": часть пути не является папкой"},
        {"a missing table", [&] { detail::acquireTable(missing); },
         "Не удалось открыть файл " + missing + ": нет такого файла или папки"},
        {"a table created over a folder", [&] { DbfFile::create(folder, kFields); },
         "Не удалось создать таблицу " + folder + ": это папка, а не файл"},
        {"a table created in a missing folder",
         [&] { DbfFile::create(f.file("NO/T.DBF"), kFields); },
         "Не удалось создать таблицу " + f.file("NO/T.DBF") + ": нет такого файла или папки"},
        {"a table created beyond the size limit",
         [&] {
             FileSizeLimit limit(16);
             DbfFile::create(bigTable, kFields);
         },
         "Не удалось создать таблицу " + bigTable + ": файл слишком велик"},
        {"a record appended beyond the size limit",
         [&] {
             TADODataSet ds;
             f.openTable(ds, "select * from T");
             FileSizeLimit limit{rlim_t(tableSize)};
             ds.Append();
             ds.FieldByName("N1").SetAsInteger(2);
             ds.Post();
         },
         "Не удалось записать в файл " + table + ": файл слишком велик"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString message = messageOf(c.call);
        EXPECT_EQ(message, c.message);
        EXPECT_FALSE(hasLatinLetter(message.mid(message.lastIndexOf(": ") + 2)))
            << message.toStdString();
    }
    // Nothing was left behind by the failed writes.
    EXPECT_EQ(QDir(f.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"T.DBF"});
    EXPECT_EQ(QFileInfo(table).size(), tableSize);
}
