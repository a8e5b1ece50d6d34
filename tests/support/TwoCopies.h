#pragma once
// Copies of the program at work on one installation, each in a process of its
// own, for the tests of what copies do to each other's figures. A copy is the
// test program started again: it takes on a role that the test source
// registers, runs the commands the test sends it (one line each) and answers
// each with one line. Nothing in a copy waits on time: a copy stands still
// between two commands, so a test puts each copy's steps in the order it
// wants.
//
//   // at namespace scope in the test source:
//   const bool kRole = testsupport::registerCopyRole(
//       "table", [](const QStringList &args, testsupport::CopyChannel &) {
//           auto t = std::make_shared<store::FolderTable>(args[0], "T");
//           return [t](const QStringList &w) -> QString { ...; return "ok"; };
//       });
//   // in a test:
//   testsupport::CopyProcess a("table", {folder});
//   EXPECT_EQ(a.ask("post"), "ok");
//
// The role and its commands run on the copy's main thread, beside its
// QApplication. A store::StoreError that a command throws answers "refused "
// and its message. The messages a copy shows are kept and answered Ok (or No
// to a question); the command "messages" answers their texts joined by " | "
// and forgets them. A role that shows a dialog may stop there for the test to
// answer it (CopyChannel::waitForTest); one that goes through steps may stop
// at each and say where (CopyChannel::stopAt), for the test to let it on to
// the step it wants (CopyProcess::runTo).

#include "support/MessageRecorder.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace testsupport {

// The copy's side of the conversation with its test.
class CopyChannel {
public:
    // Answers the command under way with `answer` and waits for the test's
    // next line, which it returns: a copy stopped at a step (a question, say)
    // goes on when the test says how. The command then answers again when it
    // ends.
    QString waitForTest(const QString &answer);
    // Stops the command under way at a step: answers "at " and `where`, and
    // returns the test's word to go on.
    QString stopAt(const QString &where) { return waitForTest(QStringLiteral("at ") + where); }
    // What the copy has shown; a role may set how its dialogs are answered.
    MessageRecorder *recorder = nullptr;
};

// A role's commands: the words of one line in, the answer out.
using CopyCommands = std::function<QString(const QStringList &words)>;
// Sets the role up in the copy from the arguments the test gave.
using CopyRole = std::function<CopyCommands(const QStringList &args, CopyChannel &channel)>;

bool registerCopyRole(const QString &name, CopyRole role);

// Called by the tests' main routine: in a copy, runs its role and gives the
// exit code; nothing in the test program itself.
std::optional<int> runCopyIfAsked(int argc, char **argv);

// A copy seen from the test.
class CopyProcess {
public:
    // Starts the copy and waits until its role is set up ("ok").
    CopyProcess(const QString &role, const QStringList &args);
    // The same, as another login would: the program at `program` (the test
    // program when empty) run under the user and group `uid` (the test must
    // run as root).
    CopyProcess(const QString &role, const QStringList &args, unsigned uid,
                const QString &program = QString());
    ~CopyProcess(); // the copy ends when its input does
    CopyProcess(const CopyProcess &) = delete;
    CopyProcess &operator=(const CopyProcess &) = delete;

    void send(const QString &command);
    QString answer();
    QString ask(const QString &command) {
        send(command);
        return answer();
    }
    // Lets the command under way on, from the step where runTo left it if it
    // did, past every step where it stops (CopyChannel::stopAt) until it
    // stands at one of `stops`, which is returned; or until it ends, and then
    // its answer is returned.
    QString runTo(const QStringList &stops);
    // Lets the copy on from the step where runTo left it.
    void go();
    // Ends the copy as a crash would, and waits until it is gone.
    void kill();

private:
    void start(const QString &program, const QString &role, const QStringList &args);

    QProcess m_p;
    bool m_atStep = false; // runTo left it standing at a step
};

// One command of a conversation with two copies: copy 0 (A) or 1 (B), the
// command, and the whole answer expected, or its start followed by "*".
struct CopyStep {
    int copy;
    QString command;
    QString answer;
};

// Starts two copies of the role with the arguments, has them take the steps
// in turn and checks each answer (naming `what` where one differs); the
// copies end when it returns.
// Why a copy cannot be run as the user `uid` here (the test does not run as
// root), or empty. `program` is set to a copy of the test program that the
// user may run: the test program itself where the user reaches it, else a
// copy in the folder `spare`, which the user must be able to reach.
QString copyAsUserProblem(unsigned uid, const QString &spare, QString &program);

void runCopySteps(const QString &role, const QStringList &args, const QList<CopyStep> &steps,
                  const QString &what);

} // namespace testsupport
