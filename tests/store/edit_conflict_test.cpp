// Copies of the program editing one record in separate processes: a field
// one of them saved is never put back by another's edit; two edits of one
// field end with one refused and nothing silently lost.

#include "StoreTestUtil.h"

#include "store/FolderTable.h"
#include "support/TableBuilder.h"

#include <QCoreApplication>
#include <QProcess>

#include <cstdlib>
#include <iostream>
#include <string>

using namespace store;
using storetest::Folder;

namespace {

// One copy of the program (the test program started with KVR_TABLE_FOLDER):
// it opens T of record 1, says "ok", and answers each command of its input
// with one line: "edit", "set F V", "post" ("ok" or "refused " and the
// message), "value F", or "bump F N" (adds 1 to F N times, each in an edit
// posted at once, again after a refusal).
int runCopy(const QString &folder) {
    FolderTable t(folder, "T");
    TADODataSet &ds = t.ds;
    std::cout << "ok" << std::endl;
    for (std::string line; std::getline(std::cin, line);) {
        const QStringList w = QString::fromUtf8(line).split(u' ');
        QString answer = QStringLiteral("ok");
        try {
            if (w[0] == u"edit")
                ds.Edit();
            else if (w[0] == u"set")
                ds.FieldByName(w[1]).SetAsString(w[2]);
            else if (w[0] == u"post")
                ds.Post();
            else if (w[0] == u"value")
                answer = ds.FieldByName(w[1]).AsString();
            for (int done = 0; w[0] == u"bump" && done < w[2].toInt();) {
                ds.Edit();
                ds.FieldByName(w[1]).SetAsInteger(ds.FieldByName(w[1]).AsInteger() + 1);
                try {
                    ds.Post();
                    ++done;
                } catch (const StoreError &e) {
                    if (!e.message().contains(QStringLiteral("изменена другим")))
                        throw;
                }
            }
        } catch (const StoreError &e) {
            answer = QStringLiteral("refused ") + e.message();
        }
        std::cout << answer.toStdString() << std::endl;
    }
    return 0;
}

[[maybe_unused]] const int copyExit = [] {
    if (const char *folder = std::getenv("KVR_TABLE_FOLDER"))
        std::exit(runCopy(QString::fromLocal8Bit(folder)));
    return 0;
}();

class Copy {
public:
    explicit Copy(const QString &folder) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KVR_TABLE_FOLDER", folder);
        m_p.setProcessEnvironment(env);
        m_p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_p.start(QCoreApplication::applicationFilePath(), {});
        EXPECT_EQ(answer(), "ok"); // the table is open
    }
    ~Copy() {
        m_p.closeWriteChannel();
        m_p.waitForFinished();
    }
    void send(const QString &command) { m_p.write((command + u'\n').toUtf8()); }
    QString answer() {
        while (!m_p.canReadLine())
            if (!m_p.waitForReadyRead(120000))
                return QStringLiteral("no answer");
        return QString::fromUtf8(m_p.readLine()).trimmed();
    }

private:
    QProcess m_p;
};

// T.DBF with one record, its fields C1 to C3 at 0; what a fresh open reads.
void makeTable(Folder &f) {
    DbfFile::create(f.file("T.DBF"), {{"C1", 'N', 10, 0}, {"C2", 'N', 10, 0}, {"C3", 'N', 10, 0}});
    testsupport::appendRecords(f.path(), "T", {{{"C1", 0}, {"C2", 0}, {"C3", 0}}});
}
QString fileValue(Folder &f, const char *field) {
    return FolderTable(f.path(), "T").ds.FieldByName(field).AsString();
}

} // namespace

TEST(EditConflict, TwoCopiesOfOneRecord) {
    struct Step {
        int copy;
        const char *command;
        const char *answer; // the start of the answer
    };
    const struct {
        const char *what;
        std::vector<Step> steps;
        QString c1, c2;
    } cases[] = {
        {"an edit held while another copy saves another field",
         {{0, "edit", "ok"},
          {0, "set C1 1", "ok"},
          {1, "bump C2 100", "ok"},
          {0, "post", "ok"},
          {0, "value C2", "100"}},
         "1",
         "100"},
        {"an edit begun after another copy saved starts from the saved values",
         {{1, "bump C2 100", "ok"}, {0, "edit", "ok"}, {0, "value C2", "100"}},
         "0",
         "100"},
        {"both change one field: the later post is refused, shows the saved value, and the "
         "entry repeated is saved",
         {{0, "edit", "ok"},
          {1, "edit", "ok"},
          {0, "set C1 1", "ok"},
          {1, "set C1 2", "ok"},
          {1, "set C2 2", "ok"},
          {0, "post", "ok"},
          {1, "post",
           "refused Запись изменена другим пользователем: поле C1. Значение перечитано, "
           "повторите ввод."},
          {1, "value C1", "1"},
          {1, "value C2", "0"},
          {1, "set C2 3", "refused"}, // the refused edit has ended
          {1, "edit", "ok"},
          {1, "set C2 3", "ok"},
          {1, "post", "ok"}},
         "1",
         "3"},
    };
    for (const auto &c : cases) {
        Folder f;
        makeTable(f);
        Copy copies[2] = {Copy(f.path()), Copy(f.path())};
        for (const Step &s : c.steps) {
            copies[s.copy].send(s.command);
            EXPECT_TRUE(copies[s.copy].answer().startsWith(QString::fromUtf8(s.answer)))
                << c.what << ": " << s.command;
        }
        EXPECT_EQ(fileValue(f, "C1"), c.c1) << c.what;
        EXPECT_EQ(fileValue(f, "C2"), c.c2) << c.what;
    }
}

TEST(EditConflict, CopiesIncrementingOneFieldEndAtTheSum) {
    Folder f;
    makeTable(f);
    std::vector<std::unique_ptr<Copy>> copies;
    for (int i = 0; i < 4; ++i)
        copies.push_back(std::make_unique<Copy>(f.path()));
    for (auto &c : copies)
        c->send("bump C3 250");
    for (auto &c : copies)
        EXPECT_EQ(c->answer(), "ok");
    EXPECT_EQ(fileValue(f, "C3"), "1000");
}
