// Copies of the program editing one record in separate processes: a write
// rests on what its writer read. A field one copy saved is never put back by
// another's edit, whether that edit read the field before it began, during
// it, or worked its values out from other fields; two edits of one field end
// with one refused and nothing silently lost.

#include "StoreTestUtil.h"

#include "store/FolderTable.h"
#include "support/TableBuilder.h"
#include "support/TwoCopies.h"

#include <memory>

using namespace store;
using storetest::Folder;
using testsupport::CopyProcess;
using testsupport::CopyStep;

namespace {

bool isConflict(const StoreError &e) {
    return e.message().contains(QStringLiteral("изменена другим"));
}

// One copy of the program with T of its folder open on record 1. Commands:
// "edit", "set F V", "post", "value F" (as this copy reads it), "go R",
// "refresh" (record read again), "rest F [R]" (the edit rests on F of
// record R, of its own record without R), "limit N" (the post is checked:
// C1 and C2 of record 1 as saved add up to N at most), "bump F N" (adds 1 to F N times,
// each read within its edit, again after a refusal) and "add F N" (N times:
// F read, then the edit writes it plus 1; answers how many were saved).
const bool kTableRole =
    testsupport::registerCopyRole("table", [](const QStringList &args, testsupport::CopyChannel &) {
        auto t = std::make_shared<FolderTable>(args.value(0), "T");
        return [t](const QStringList &w) -> QString {
            TADODataSet &ds = t->ds;
            const QString command = w.value(0);
            if (command == u"edit")
                ds.Edit();
            else if (command == u"set")
                ds.FieldByName(w[1]).SetAsString(w[2]);
            else if (command == u"post")
                ds.Post();
            else if (command == u"value")
                return ds.FieldByName(w[1]).AsString();
            else if (command == u"go")
                ds.setRecNo(w[1].toInt());
            else if (command == u"refresh")
                ds.RefreshRecord();
            else if (command == u"rest")
                ds.RestOn(w[1], w.value(2).toInt());
            else if (command == u"limit")
                ds.CheckOnPost([limit = w[1].toInt()](const TADODataSet::SavedCell &saved) {
                    const int sum = saved(1, "C1").toInt() + saved(1, "C2").toInt();
                    return sum > limit ? QStringLiteral("C1 + C2 = %1").arg(sum) : QString();
                });
            for (int done = 0; command == u"bump" && done < w[2].toInt();) {
                ds.Edit();
                ds.FieldByName(w[1]).SetAsInteger(ds.FieldByName(w[1]).AsInteger() + 1);
                try {
                    ds.Post();
                    ++done;
                } catch (const StoreError &e) {
                    if (!isConflict(e))
                        throw;
                }
            }
            if (command == u"add") {
                int saved = 0;
                for (int i = 0; i < w[2].toInt(); ++i) {
                    const int read = ds.FieldByName(w[1]).AsInteger();
                    ds.Edit();
                    ds.FieldByName(w[1]).SetAsInteger(read + 1);
                    try {
                        ds.Post();
                        ++saved;
                    } catch (const StoreError &e) {
                        if (!isConflict(e))
                            throw;
                    }
                }
                return QStringLiteral("saved %1").arg(saved);
            }
            return QStringLiteral("ok");
        };
    });

// T.DBF with two records, their fields C1 to C3 at 0.
void makeTable(Folder &f) {
    DbfFile::create(f.file("T.DBF"), {{"C1", 'N', 10, 0}, {"C2", 'N', 10, 0}, {"C3", 'N', 10, 0}});
    testsupport::appendRecords(
        f.path(), "T", {{{"C1", 0}, {"C2", 0}, {"C3", 0}}, {{"C1", 0}, {"C2", 0}, {"C3", 0}}});
}
// What a fresh open reads.
QString fileValue(Folder &f, const char *field, int row = 1) {
    FolderTable t(f.path(), "T");
    t.ds.setRecNo(row);
    return t.ds.FieldByName(field).AsString();
}

const QString kRefused = QStringLiteral("refused Запись изменена другим пользователем: поле ");

} // namespace

TEST(EditConflict, TwoCopiesOfOneRecord) {
    const struct {
        const char *what;
        QList<CopyStep> steps;
        QString c1, c2; // of record 1 in the end
    } cases[] = {
        {"an edit held while another copy saves another field",
         {{0, "edit", "ok"},
          {0, "set C1 1", "ok"},
          {1, "bump C2 100", "ok"},
          {0, "post", "ok"},
          {0, "value C2", "100"}},
         "1",
         "100"},
        {"an edit begun after another copy saved works on what this copy read, and shows the "
         "saved value once posted",
         {{1, "bump C2 100", "ok"},
          {0, "edit", "ok"},
          {0, "value C2", "0"},
          {0, "set C1 1", "ok"},
          {0, "post", "ok"},
          {0, "value C2", "100"}},
         "1",
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
          {1, "set C2 3", "refused*"}, // the refused edit has ended
          {1, "edit", "ok"},
          {1, "set C2 3", "ok"},
          {1, "post", "ok"}},
         "1",
         "3"},
        {"a value read before the edit began, another copy saving it before the edit: the "
         "write is refused and the saved value shown",
         {{0, "value C1", "0"},
          {1, "bump C1 5", "ok"},
          {0, "edit", "ok"},
          {0, "set C1 1", "ok"}, // what was read, plus one
          {0, "post", kRefused + "C1.*"},
          {0, "value C1", "5"},
          {0, "edit", "ok"},
          {0, "set C1 6", "ok"},
          {0, "post", "ok"}},
         "6",
         "0"},
        {"a value worked out from another field of the record: another copy saving that field "
         "before the post refuses it",
         {{0, "edit", "ok"},
          {0, "rest C2", "ok"},
          {0, "value C2", "0"},
          {1, "bump C2 1", "ok"},
          {0, "set C1 10", "ok"},
          {0, "post", kRefused + "C2.*"},
          {0, "value C2", "1"},
          {0, "edit", "ok"},
          {0, "rest C2", "ok"},
          {0, "set C1 20", "ok"},
          {0, "post", "ok"}},
         "20",
         "1"},
        {"a value worked out from a field of another record: another copy saving it refuses "
         "the post, which reads that record again",
         {{0, "edit", "ok"},
          {0, "rest C3 2", "ok"},
          {1, "go 2", "ok"},
          {1, "bump C3 1", "ok"},
          {0, "set C1 7", "ok"},
          {0, "post", kRefused + "C3.*"},
          {0, "go 2", "ok"},
          {0, "value C3", "1"},
          {0, "go 1", "ok"},
          {0, "edit", "ok"},
          {0, "rest C3 2", "ok"},
          {0, "set C1 8", "ok"},
          {0, "post", "ok"}},
         "8",
         "0"},
        {"a post checked on the record as saved: another copy's C2 makes the sum too large, "
         "and the post is refused, nothing written, showing the saved record",
         {{0, "edit", "ok"},
          {0, "set C1 6", "ok"},
          {0, "limit 10", "ok"},
          {1, "bump C2 5", "ok"},
          {0, "post", "refused C1 + C2 = 11"},
          {0, "value C1", "0"},
          {0, "value C2", "5"},
          {0, "edit", "ok"},
          {0, "set C1 5", "ok"},
          {0, "limit 10", "ok"},
          {0, "post", "ok"}},
         "5",
         "5"},
        {"the record read again shows what another copy saved",
         {{1, "bump C2 3", "ok"},
          {0, "value C2", "0"},
          {0, "refresh", "ok"},
          {0, "value C2", "3"},
          {0, "edit", "ok"},
          {0, "set C2 4", "ok"},
          {0, "post", "ok"}},
         "0",
         "4"},
    };
    for (const auto &c : cases) {
        Folder f;
        makeTable(f);
        testsupport::runCopySteps("table", {f.path()}, c.steps, c.what);
        EXPECT_EQ(fileValue(f, "C1"), c.c1) << c.what;
        EXPECT_EQ(fileValue(f, "C2"), c.c2) << c.what;
    }
}

TEST(EditConflict, CopiesIncrementingOneFieldEndAtTheSumOfWhatTheySaved) {
    const struct {
        const char *command;
        int copies;
        int times;
    } cases[] = {
        {"bump", 4, 250}, // read within the edit, again after a refusal: every one lands
        {"add", 3, 2000}, // read before the edit: those refused are reported, none lost
    };
    for (const auto &c : cases) {
        Folder f;
        makeTable(f);
        std::vector<std::unique_ptr<CopyProcess>> copies;
        for (int i = 0; i < c.copies; ++i)
            copies.push_back(std::make_unique<CopyProcess>("table", QStringList{f.path()}));
        const QString command = QStringLiteral("%1 C3 %2").arg(c.command).arg(c.times);
        for (auto &copy : copies)
            copy->send(command);
        int saved = 0;
        for (auto &copy : copies) {
            const QString answer = copy->answer();
            if (answer == u"ok")
                saved += c.times;
            else if (answer.startsWith(u"saved "))
                saved += answer.mid(6).toInt();
            else
                ADD_FAILURE() << c.command << ": " << answer.toStdString();
        }
        EXPECT_GT(saved, 0) << c.command;
        EXPECT_EQ(fileValue(f, "C3"), QString::number(saved)) << c.command;
    }
}
