#pragma once
// Another copy of the program in a process of its own, for tests of copies
// that share one installation or one table. The test program is started
// again with a role in its environment, which it plays once its main has
// begun (the whole program initialised) instead of running the tests. The
// two talk line by line: commands to the copy's input, answers from its
// output.
//
//   void playRoleWhenAsked() {   // run as the application object is made
//       if (qEnvironmentVariableIsSet("KVR_MY_ROLE"))
//           std::exit(playRole(qgetenv("KVR_MY_ROLE")));
//   }
//   Q_COREAPP_STARTUP_FUNCTION(playRoleWhenAsked)
//   ...
//   testsupport::CopyProcess copy({{"KVR_MY_ROLE", "reader"}});
//   EXPECT_EQ(copy.answer(), "ok");

#include <QCoreApplication>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>

namespace testsupport {

class CopyProcess {
public:
    explicit CopyProcess(const QList<QPair<QString, QString>> &environment) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const auto &[name, value] : environment)
            env.insert(name, value);
        m_p.setProcessEnvironment(env);
        m_p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_p.start(QCoreApplication::applicationFilePath(), {});
    }
    // Its input ends, and it is waited for.
    ~CopyProcess() {
        m_p.closeWriteChannel();
        m_p.waitForFinished();
    }
    CopyProcess(const CopyProcess &) = delete;
    CopyProcess &operator=(const CopyProcess &) = delete;

    void send(const QString &line) {
        m_p.write((line + u'\n').toUtf8());
        m_p.waitForBytesWritten();
    }
    // Its next line, or "no answer" when it ends or says nothing for two
    // minutes.
    QString answer() {
        while (!m_p.canReadLine())
            if (!m_p.waitForReadyRead(120000))
                return QStringLiteral("no answer");
        return QString::fromUtf8(m_p.readLine()).trimmed();
    }
    // Ends it as a crash would, and waits for it.
    void kill() {
        m_p.kill();
        m_p.waitForFinished();
    }

private:
    QProcess m_p;
};

} // namespace testsupport
