#include "support/TwoCopies.h"

#include "store/Dataset.h"
#include "store/ExceptionText.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <string>

namespace testsupport {

namespace {

QMap<QString, CopyRole> &roles() {
    static QMap<QString, CopyRole> r;
    return r;
}

const char kCopyOption[] = "--kvr-copy";

// One answer is one line.
void say(const QString &answer) {
    QString line = answer;
    line.replace(u'\r', u' ').replace(u'\n', u' ');
    std::cout << line.toStdString() << std::endl;
}

bool readLine(QString &line) {
    std::string s;
    if (!std::getline(std::cin, s))
        return false;
    line = QString::fromStdString(s).trimmed();
    return true;
}

} // namespace

QString CopyChannel::waitForTest(const QString &answer) {
    say(answer);
    QString line;
    readLine(line);
    return line;
}

bool registerCopyRole(const QString &name, CopyRole role) {
    roles().insert(name, std::move(role));
    return true;
}

std::optional<int> runCopyIfAsked(int argc, char **argv) {
    if (argc < 3 || std::strcmp(argv[1], kCopyOption) != 0)
        return std::nullopt;
    const QString name = QString::fromLocal8Bit(argv[2]);
    QStringList args;
    for (int i = 3; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    MessageRecorder recorder;
    CopyChannel channel;
    channel.recorder = &recorder;
    CopyCommands commands;
    try {
        if (!roles().contains(name))
            throw std::runtime_error("no such role");
        commands = roles().value(name)(args, channel);
    } catch (const std::exception &e) {
        say(QStringLiteral("failed ") + ExceptionText(e));
        return 1;
    }
    say(QStringLiteral("ok"));
    for (QString line; readLine(line);) {
        const QStringList words = line.split(u' ', Qt::SkipEmptyParts);
        QString answer;
        if (words.value(0) == u"messages") {
            answer = recorder.texts().join(QStringLiteral(" | "));
            recorder.messages.clear();
        } else {
            try {
                answer = commands(words);
            } catch (const store::StoreError &e) {
                answer = QStringLiteral("refused ") + e.message();
            } catch (const std::exception &e) {
                answer = QStringLiteral("failed ") + ExceptionText(e);
            }
        }
        QCoreApplication::sendPostedEvents();
        say(answer);
    }
    return 0;
}

CopyProcess::CopyProcess(const QString &role, const QStringList &args) {
    start(QCoreApplication::applicationFilePath(), role, args);
}

CopyProcess::CopyProcess(const QString &role, const QStringList &args, unsigned uid,
                         const QString &program) {
    // The child gives up root for the user before it runs the program; one
    // that cannot ends at once, and the test sees no answer.
    m_p.setChildProcessModifier([uid] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid_t(uid)) != 0 || ::setuid(uid_t(uid)) != 0)
            ::_exit(127);
    });
    start(program.isEmpty() ? QCoreApplication::applicationFilePath() : program, role, args);
}

void CopyProcess::start(const QString &program, const QString &role, const QStringList &args) {
    m_p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_p.start(program, QStringList{QString::fromLatin1(kCopyOption), role} + args);
    EXPECT_EQ(answer(), QStringLiteral("ok")) << role.toStdString();
}

CopyProcess::~CopyProcess() {
    m_p.closeWriteChannel();
    if (!m_p.waitForFinished(300000))
        m_p.kill();
}

void CopyProcess::send(const QString &command) {
    // Written at once: a copy let on goes on while the test waits on another.
    m_p.write((command + u'\n').toUtf8());
    m_p.waitForBytesWritten();
}

QString CopyProcess::answer() {
    // A copy that died answers nothing, at once; a live one is waited for.
    while (!m_p.canReadLine())
        if (!m_p.waitForReadyRead(300000))
            return QStringLiteral("no answer");
    return QString::fromUtf8(m_p.readLine()).trimmed();
}

QString CopyProcess::runTo(const QStringList &stops) {
    if (m_atStep)
        go();
    for (;;) {
        const QString line = answer();
        if (!line.startsWith(u"at "))
            return line;
        if ((m_atStep = stops.contains(line.mid(3))))
            return line.mid(3);
        go();
    }
}

void CopyProcess::go() {
    m_atStep = false;
    send(QStringLiteral("go"));
}

void CopyProcess::kill() {
    m_p.kill();
    m_p.waitForFinished();
}

namespace {

// Whether the user may run the file: asked in a child that becomes the user.
bool userMayRun(unsigned uid, const QString &path) {
    const QByteArray native = QFile::encodeName(path);
    const pid_t child = ::fork();
    if (child == 0) {
        const bool may = ::setgroups(0, nullptr) == 0 && ::setgid(gid_t(uid)) == 0 &&
                         ::setuid(uid_t(uid)) == 0 && ::access(native.constData(), X_OK) == 0;
        ::_exit(may ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

} // namespace

QString copyAsUserProblem(unsigned uid, const QString &spare, QString &program) {
    if (::geteuid() != 0)
        return QStringLiteral("the tests do not run as root, so no copy can run as another user");
    program = QCoreApplication::applicationFilePath();
    if (userMayRun(uid, program))
        return QString();
    program = spare + QStringLiteral("/") + QFileInfo(program).fileName();
    QFile::remove(program);
    if (!QFile::copy(QCoreApplication::applicationFilePath(), program) ||
        !QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                            QFile::ExeOther))
        return QStringLiteral("the test program could not be copied to ") + spare;
    if (!userMayRun(uid, program))
        return QStringLiteral("user %1 cannot run the test program from %2").arg(uid).arg(spare);
    return QString();
}

void runCopySteps(const QString &role, const QStringList &args, const QList<CopyStep> &steps,
                  const QString &what) {
    CopyProcess a(role, args);
    CopyProcess b(role, args);
    CopyProcess *copies[2] = {&a, &b};
    for (const CopyStep &s : steps) {
        const QString answer = copies[s.copy]->ask(s.command);
        EXPECT_TRUE(s.answer.endsWith(u'*') ? answer.startsWith(s.answer.chopped(1))
                                            : answer == s.answer)
            << what.toStdString() << ": "
            << "AB"[s.copy] << " " << s.command.toStdString() << ": " << answer.toStdString();
    }
}

} // namespace testsupport
