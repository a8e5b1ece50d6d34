// Two copies of the program building consolidations of one installation at
// once, each in a process of its own. A copy is held at a step of its build
// (the engine's step hook, answered over a pipe) while the other one runs,
// so that each interleaving is met every time: neither copy may put in
// place, read or remove what the other is making, and a copy whose target
// the other replaced while it was building is refused, not let overwrite it.

#include "consolidation/ReportExchange.h"
#include "consolidation/SvodEngine.h"
#include "support/TwoCopies.h"
#include "svod_fixture.h"

#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

#include <functional>

using namespace svodtest;
using testsupport::CopyProcess;

namespace {

const char *const kStepNames[] = {"AsideMade", "BeforePlacing", "ScratchBusy", "ScratchMade"};

// One command of a copy on the installation `program` (see below), and how
// it ended.
QString runCommand(const QStringList &words, const QString &program) {
    bool ok = false;
    QString what;
    if (words[0] == u"save-all" || words[0] == u"send") {
        auto saveAll = [&] {
            svod::SaveAllParams p;
            p.ProgramDir = program;
            p.Year = kYear;
            p.ProgramKind = 1;
            return svod::SaveAllSvods(p);
        };
        if (words[0] == u"save-all") {
            const svod::SaveAllResult r = saveAll();
            ok = r.Ok;
            what = r.Ok ? QString::number(r.TargetFiles.size()) : r.Error;
        } else {
            exchange::SendParams p;
            p.year = kYear;
            p.programDir = program;
            p.wedDir = program + QStringLiteral("WED/");
            p.set1Dir = program + QStringLiteral("DBF/S%1%2").arg(kYear).arg(1);
            p.exchangeDir = words[1];
            p.buildAll = [&] {
                const svod::SaveAllResult r = saveAll();
                return exchange::BuildAllOutcome{r.Ok, r.FailedReport, r.Error, 0, {}};
            };
            const exchange::Outcome r = exchange::SendReports(p);
            ok = r.ok;
            for (const msg::Request &m : r.messages)
                what += m.text + QLatin1Char(' ');
        }
    } else if (words[0] == u"close") {
        svod::RemoveScratchTable(program + QStringLiteral("WED/"));
        ok = true;
    } else {
        const QVector<svod::CatalogueReport> catalogue =
            svod::ReadCatalogue(program + QStringLiteral("WED/"), kYear);
        svod::SvodParams p;
        p.ProgramDir = program;
        p.Year = kYear;
        p.Report = catalogue.at(words[1].toInt() - 1);
        p.ProgramKind = 1;
        p.Quiet = true;
        p.Mode = words[0] == u"column" ? 2 : 1;
        p.Column = 1;
        const svod::SvodResult r = svod::BuildSvod(p);
        ok = r.Ok && r.Built;
        what = r.Error;
        if (r.ColumnTable) { // the rows' totals
            QStringList totals;
            for (r.ColumnTable->First(); !r.ColumnTable->Eof(); r.ColumnTable->Next())
                totals << r.ColumnTable->FieldByName(QStringLiteral("TOTAL")).AsString();
            what = totals.join(QLatin1Char(',')) + QLatin1Char('.');
        }
    }
    return QStringLiteral("done ") + (ok ? QStringLiteral("ok ") : QStringLiteral("fail ")) + what;
}

// One copy of the program on the installation of its first argument. Its
// builds stop at each step and say it ("at <step> <file>"); a command ends
// with "done ok <what it built>" or "done fail <why>". Commands:
//   save-all             every consolidation of the period over set 1
//   send <folder>        sending into the folder (every consolidation first)
//   build <record>       the window's build of a catalogue record, set 1, mode 1
//   column <record>      the by-column build of a record, set 1, column N1
//                        (it tells the rows' totals: "6,12,18.")
//   close                what closing the consolidation window removes
const bool kSvodRole = testsupport::registerCopyRole("svod", [](const QStringList &args,
                                                                testsupport::CopyChannel &channel) {
    svod::SetBuildStepHook([&channel](svod::BuildStep step, const QString &file) {
        channel.stopAt(QLatin1String(kStepNames[int(step)]) + QLatin1Char(' ') +
                       QFileInfo(file).fileName());
    });
    return
        [program = args.value(0)](const QStringList &words) { return runCommand(words, program); };
});

// Rows of a table whose N1 holds anything.
int filledRows(const QString &folder, const QString &table) {
    testsupport::OpenTable t(folder, table);
    int n = 0;
    for (t.ds.First(); !t.ds.Eof(); t.ds.Next())
        n += !t.ds.FieldByName(QStringLiteral("N1")).StoredText().isEmpty();
    return n;
}

class SvodTwoCopies : public ::testing::Test {
protected:
    Install in;
    QString exchange;

    void SetUp() override {
        in.orgs({{1, QStringLiteral("Школа 1")},
                 {2, QStringLiteral("Школа 2")},
                 {3, QStringLiteral("Школа 3")}});
        in.catalogue({{QStringLiteral("F1"), 2, 3},
                      {QStringLiteral("F46"), 46, 2},
                      {QStringLiteral("F12"), 12, 2},
                      {QStringLiteral("F21"), 21, 2}});
        in.blank(QStringLiteral("F1"), 2, 3);
        in.blank(QStringLiteral("F46"), 6, 2);
        in.blank(QStringLiteral("F12"), 3, 2);
        in.blank(QStringLiteral("F21"), 5, 2);
        for (int kod = 1; kod <= 3; ++kod) {
            in.table(kod, QStringLiteral("F1"), {{kod * 10, kod, 1}, {kod, 2, 3}});
            in.table(kod, QStringLiteral("F46"),
                     {{kod, 1}, {kod, 2}, {kod, 3}, {kod, 4}, {kod, 5}});
            in.table(kod, QStringLiteral("F12"), {{kod}, {kod * 2}, {kod * 3}});
            in.table(kod, QStringLiteral("F21"), {{100}, {200}, {300}, {400}, {500}});
        }
        testsupport::writeTable(in.root(), QStringLiteral("REGIM"),
                                {{"BANK", 'C', 60, 0}, {"INNO", 'C', 12, 0}},
                                {{{"BANK", QStringLiteral("Отдел образования")},
                                  {"INNO", QStringLiteral("0275001234")}}});
        exchange = in.tmp.path() + QStringLiteral("/exchange");
        ASSERT_TRUE(QDir().mkpath(exchange));
    }
};

TEST_F(SvodTwoCopies, NeitherCopyPlacesReadsOrRemovesWhatTheOtherIsMaking) {
    const QString set1 = in.svodDir(1);
    const struct {
        const char *what;
        QString opA, opB;           // the operations of the two copies
        QString holdA, holdB;       // where each is held while the other runs
        QString doneA;              // how A ends (its line starts so)
        std::function<void()> left; // what A's success leaves, checked before B goes on
        QString doneB;
    } cases[] = {
        {"save-all and save-all: A's finished appended rows, B's beginning of the same table",
         QStringLiteral("save-all"), QStringLiteral("save-all"),
         QStringLiteral("BeforePlacing F462016.DBF"), QStringLiteral("AsideMade F462016.DBF"),
         QStringLiteral("done ok 4"),
         [&] { EXPECT_EQ(filledRows(set1, QStringLiteral("F462016")), 15); },
         QStringLiteral("done fail Отчет \"F46\": таблицу F462016.DBF в папке ")},
        {"sending and the window's build of F1 over set 1", QStringLiteral("send ") + exchange,
         QStringLiteral("build 1"), QStringLiteral("BeforePlacing F12016.DBF"),
         QStringLiteral("AsideMade F12016.DBF"),
         QStringLiteral("done ok Были скопированы следующие отчеты:"),
         [&] {
             for (const QString &folder : {set1, exchange + QLatin1Char('/')}) {
                 const QString f1 = QStringLiteral("F12016");
                 EXPECT_EQ(in.cell(folder, f1, 1, QStringLiteral("N1")).toDouble(), 60);
                 EXPECT_EQ(in.cell(folder, f1, 2, QStringLiteral("N3")).toDouble(), 9);
             }
         },
         QStringLiteral("done fail Отчет \"F1\": таблицу F12016.DBF в папке ")},
        {"two by-column builds of reports of 3 and 5 rows", QStringLiteral("column 3"),
         QStringLiteral("column 4"), QStringLiteral("ScratchMade TEMPSVOD.DBF"),
         QStringLiteral("ScratchMade TEMPSVOD.DBF"), QStringLiteral("done ok 6,12,18."), [] {},
         QStringLiteral("done ok 300,600,900,1200,1500.")},
        {"a by-column build and the closing of another copy's consolidation window",
         QStringLiteral("column 3"), QStringLiteral("close"),
         QStringLiteral("ScratchMade TEMPSVOD.DBF"), QString(), QStringLiteral("done ok 6,12,18."),
         [&] { EXPECT_TRUE(QFile::exists(in.wed() + QStringLiteral("TEMPSVOD.DBF"))); },
         QStringLiteral("done ok")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QDir(set1).removeRecursively();
        CopyProcess a("svod", {in.root()});
        a.send(c.opA);
        ASSERT_EQ(a.runTo({c.holdA}), c.holdA);
        CopyProcess b("svod", {in.root()});
        b.send(c.opB);
        // B is held where it would spoil A's work (or runs to its end); a B
        // that has to wait for A's scratch table is let on into that wait.
        QString doneB = b.runTo({c.holdB, QStringLiteral("ScratchBusy TEMPSVOD.DBF")});
        if (doneB.startsWith(u"ScratchBusy")) {
            b.go();
        } else if (!doneB.startsWith(u"done ")) {
            ASSERT_EQ(doneB, c.holdB);
        }

        const QString doneA = a.runTo({});
        EXPECT_TRUE(doneA.startsWith(c.doneA)) << doneA.toStdString();
        c.left();
        if (!doneB.startsWith(u"done "))
            doneB = b.runTo({});
        EXPECT_TRUE(doneB.startsWith(c.doneB)) << doneB.toStdString();
        c.left(); // B changed nothing of what A left
        EXPECT_EQ(in.leftAside(1), QStringList());
    }
}

// The kind of record lock another holder has on the file: F_WRLCK, F_RDLCK,
// or F_UNLCK when nobody holds one (a lock of flock's would not show).
short recordLockOn(const QString &path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
    EXPECT_GE(fd, 0) << path.toStdString();
    struct flock fl = {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    EXPECT_EQ(::fcntl(fd, F_OFD_GETLK, &fl), 0);
    ::close(fd);
    return fl.l_type;
}

// What the builds hold locked, they hold as record locks of a file opened
// for writing, as a file server that shares folders between computers sees
// them: the scratch table through a lock file of its own (the table itself
// is left to the table layer, which locks it on the descriptor it writes
// through), and each build's folder aside through the lock file in it.
TEST_F(SvodTwoCopies, WhatABuildHoldsItHoldsByRecordLocksOfFilesOpenForWriting) {
    CopyProcess a("svod", {in.root()});
    a.send(QStringLiteral("column 3"));
    ASSERT_EQ(a.runTo({QStringLiteral("ScratchMade TEMPSVOD.DBF")}),
              QStringLiteral("ScratchMade TEMPSVOD.DBF"));
    EXPECT_EQ(recordLockOn(in.wed() + QStringLiteral("TEMPSVOD.LCK")), F_WRLCK);
    EXPECT_EQ(recordLockOn(in.wed() + QStringLiteral("TEMPSVOD.DBF")), F_UNLCK);
    EXPECT_TRUE(a.runTo({}).startsWith(u"done ok"));

    CopyProcess b("svod", {in.root()});
    b.send(QStringLiteral("build 1"));
    ASSERT_EQ(b.runTo({QStringLiteral("AsideMade F12016.DBF")}),
              QStringLiteral("AsideMade F12016.DBF"));
    const QStringList aside =
        QDir(in.svodDir(1)).entryList({QStringLiteral(".svodbuild-*")}, QDir::Dirs | QDir::Hidden);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(recordLockOn(in.svodDir(1) + aside[0] + QStringLiteral("/.svodbuild.lck")), F_WRLCK);
    EXPECT_TRUE(b.runTo({}).startsWith(u"done ok"));
}

} // namespace
