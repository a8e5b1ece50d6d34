// Copies of the program editing one record in separate processes: a field
// that one of them saved is never put back by another's edit of other
// fields; two edits of one field end with one refused and nothing silently
// lost.

#include "StoreTestUtil.h"

#include "store/Dataset.h"
#include "store/FolderTable.h"

#include <QCoreApplication>
#include <QProcess>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

using namespace store;
using storetest::Folder;

namespace {

// One copy of the program, run when the test program is started with
// KVR_TABLE_SESSION: it opens T in the folder and answers one line per
// command read from its input:
//   get R F        the value of field F of record R
//   edit R         starts an edit of record R
//   set F V        writes V into field F of the record being edited
//   post           posts it: "ok", or "refused " and the message
//   value F        field F of the current record
//   bump R F N     adds 1 to field F of record R N times, each in an edit
//                  of its own posted at once, again after a refusal
int runSession(const QString &folder) {
    FolderTable t(folder, "T");
    TADODataSet &ds = t.ds;
    std::string line;
    while (std::getline(std::cin, line)) {
        const QStringList w = QString::fromUtf8(line).split(u' ');
        QString answer = QStringLiteral("ok");
        try {
            if (w[0] == u"get") {
                ds.setRecNo(w[1].toInt());
                answer = ds.FieldByName(w[2]).AsString();
            } else if (w[0] == u"edit") {
                ds.setRecNo(w[1].toInt());
                ds.Edit();
            } else if (w[0] == u"set") {
                ds.FieldByName(w[1]).SetAsString(w[2]);
            } else if (w[0] == u"post") {
                ds.Post();
            } else if (w[0] == u"value") {
                answer = ds.FieldByName(w[1]).AsString();
            } else if (w[0] == u"bump") {
                for (int done = 0; done < w[3].toInt();) {
                    ds.setRecNo(w[1].toInt());
                    ds.Edit();
                    TField f = ds.FieldByName(w[2]);
                    f.SetAsInteger(f.AsInteger() + 1);
                    try {
                        ds.Post();
                        ++done;
                    } catch (const StoreError &e) {
                        if (!e.message().contains(QStringLiteral("изменена другим")))
                            throw;
                    }
                }
            }
        } catch (const StoreError &e) {
            answer = QStringLiteral("refused ") + e.message();
        }
        std::cout << answer.toStdString() << std::endl;
    }
    return 0;
}

[[maybe_unused]] const int sessionExit = [] {
    if (!std::getenv("KVR_TABLE_SESSION"))
        return 0;
    std::exit(runSession(QString::fromLocal8Bit(std::getenv("KVR_TABLE_FOLDER"))));
}();

class Session {
public:
    explicit Session(const QString &folder) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KVR_TABLE_SESSION", "1");
        env.insert("KVR_TABLE_FOLDER", folder);
        m_p.setProcessEnvironment(env);
        m_p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_p.start(QCoreApplication::applicationFilePath(), {});
        EXPECT_TRUE(m_p.waitForStarted());
    }
    ~Session() {
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
    QString ask(const QString &command) {
        send(command);
        return answer();
    }

private:
    QProcess m_p;
};

// T.DBF with one record, its fields C1 to C3 at 0.
void makeTable(Folder &f) {
    DbfFile::create(f.file("T.DBF"), {{"C1", 'N', 10, 0}, {"C2", 'N', 10, 0}, {"C3", 'N', 10, 0}});
    TADODataSet ds;
    f.openTable(ds, "select * from T");
    ds.Append();
    for (const char *c : {"C1", "C2", "C3"})
        ds.FieldByName(c).SetAsInteger(0);
    ds.Post();
}

QString fileValue(Folder &f, const char *field) {
    TADODataSet ds;
    f.openTable(ds, "select * from T");
    return ds.FieldByName(field).AsString();
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
        {"an edit started before another copy saved another field",
         {{0, "edit 1", "ok"},
          {0, "set C1 1", "ok"},
          {1, "bump 1 C2 100", "ok"},
          {0, "post", "ok"},
          {0, "value C2", "100"}},
         "1",
         "100"},
        {"an edit started after another copy saved fields starts from them",
         {{0, "get 1 C2", "0"},
          {1, "bump 1 C2 100", "ok"},
          {0, "edit 1", "ok"},
          {0, "value C2", "100"},
          {0, "set C1 1", "ok"},
          {0, "post", "ok"}},
         "1",
         "100"},
        {"both change one field: the later post is refused and shows the saved value",
         {{0, "edit 1", "ok"},
          {1, "edit 1", "ok"},
          {0, "set C1 1", "ok"},
          {1, "set C1 2", "ok"},
          {1, "set C2 2", "ok"},
          {0, "post", "ok"},
          {1, "post",
           "refused Запись изменена другим пользователем: поле C1. Значение перечитано, "
           "повторите ввод."},
          {1, "value C1", "1"},
          {1, "value C2", "0"},
          {1, "set C1 3", "refused"}}, // the refused edit has ended
         "1",
         "0"},
        {"the refused copy repeats its entry and it is saved",
         {{0, "edit 1", "ok"},
          {1, "edit 1", "ok"},
          {1, "set C2 2", "ok"},
          {0, "set C2 1", "ok"},
          {0, "post", "ok"},
          {1, "post", "refused"},
          {1, "edit 1", "ok"},
          {1, "set C2 2", "ok"},
          {1, "post", "ok"}},
         "0",
         "2"},
    };
    for (const auto &c : cases) {
        Folder f;
        makeTable(f);
        Session copies[2] = {Session(f.path()), Session(f.path())};
        for (const Step &s : c.steps)
            EXPECT_TRUE(copies[s.copy].ask(s.command).startsWith(QString::fromUtf8(s.answer)))
                << c.what << ": " << s.command;
        EXPECT_EQ(fileValue(f, "C1"), c.c1) << c.what;
        EXPECT_EQ(fileValue(f, "C2"), c.c2) << c.what;
    }
}

TEST(EditConflict, WritersIncrementingOneFieldEndAtTheSum) {
    constexpr int kCopies = 4;
    constexpr int kEach = 250;
    Folder f;
    makeTable(f);
    std::vector<std::unique_ptr<Session>> copies;
    for (int i = 0; i < kCopies; ++i)
        copies.push_back(std::make_unique<Session>(f.path()));
    for (auto &s : copies)
        s->send(QStringLiteral("bump 1 C3 %1").arg(kEach));
    for (auto &s : copies)
        EXPECT_EQ(s->answer(), "ok");
    EXPECT_EQ(fileValue(f, "C3"), QString::number(kCopies * kEach));
}
