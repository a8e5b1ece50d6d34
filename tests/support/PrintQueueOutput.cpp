#include "support/PrintQueueOutput.h"

#include "printing/PrintEngine.h"
#include "sheet/OfficeEngine.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

namespace testsupport {

PrintJobRecorder::PrintJobRecorder() {
    m_old = sheet::setPrintJobObserver([this](int job) { jobs.push_back(job); });
}

PrintJobRecorder::~PrintJobRecorder() {
    sheet::setPrintJobObserver(std::move(m_old));
}

QString printedText(int job) {
    if (!sheet::waitForPrintJob(job, 120000)) {
        ADD_FAILURE() << "print job " << job << " did not come out of the queue";
        return {};
    }
    const QString out = qEnvironmentVariableIsSet("KVR_PDF_OUT")
                            ? qEnvironmentVariable("KVR_PDF_OUT")
                            : QStringLiteral("/var/spool/kvr-pdf");
    const QStringList files =
        QDir(out).entryList({QStringLiteral("job_%1-*.pdf").arg(job)}, QDir::Files);
    if (files.size() != 1) {
        ADD_FAILURE() << "no PDF of job " << job << " in " << out.toStdString();
        return {};
    }
    const QString pdf = QDir(out).filePath(files.front());
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"),
                                          QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    EXPECT_TRUE(p.waitForFinished(60000));
    QFile::remove(pdf);
    return QString::fromUtf8(p.readAllStandardOutput());
}

QStringList &shownFiles() {
    static QStringList files;
    return files;
}

void useRecordingViewer() {
    printing::EndPrintEngine();
    sheet::setEngineFactory([] {
        sheet::OfficeEngine::Options options;
        options.viewer = [](const QString &path) {
            shownFiles() << path;
            return true;
        };
        return std::make_unique<sheet::OfficeEngine>(options);
    });
}

void endRecordingViewer() {
    printing::EndPrintEngine();
    sheet::setEngineFactory({});
}

QString printQueueProblem() {
    if (sheet::defaultPrinter().isEmpty())
        return QStringLiteral("there is no default print queue: tools/print-queue.sh start "
                              "sets one up (tools/run-tests.sh does it before the tests)");
    return {};
}

} // namespace testsupport
