#include "support/PrintQueueOutput.h"

#include "printing/PrintEngine.h"
#include "sheet/OfficeEngine.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <cups/cups.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

namespace testsupport {

PrintJobRecorder::PrintJobRecorder() {
    m_old = sheet::setPrintJobObserver([this](int job) { jobs.push_back(job); });
}

PrintJobRecorder::~PrintJobRecorder() {
    sheet::setPrintJobObserver(std::move(m_old));
}

namespace {

QString run(const QString &program, const QStringList &arguments) {
    QProcess p;
    p.start(program, arguments);
    EXPECT_TRUE(p.waitForFinished(60000)) << program.toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString queuedTitle(int job) {
    cups_job_t *jobs = nullptr;
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
    QString title;
    for (int i = 0; i < count; ++i)
        if (jobs[i].id == job)
            title = QString::fromUtf8(jobs[i].title);
    cupsFreeJobs(count, jobs);
    return title;
}

} // namespace

PrintedPdf readPdf(const QString &pdf) {
    PrintedPdf printed;
    printed.fileName = QFileInfo(pdf).fileName();
    printed.text =
        run(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"),
                                          QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    const QString info = run(QStringLiteral("pdfinfo"), {pdf});
    auto field = [&](const char *name) {
        return QRegularExpression(QStringLiteral("^%1:\\s*(.*)$").arg(QLatin1String(name)),
                                  QRegularExpression::MultilineOption)
            .match(info)
            .captured(1)
            .trimmed();
    };
    printed.title = field("Title");
    printed.pages = field("Pages").toInt();
    const auto size =
        QRegularExpression(QStringLiteral("^([\\d.]+) x ([\\d.]+)")).match(field("Page size"));
    printed.pageSize =
        QSize(qRound(size.captured(1).toDouble()), qRound(size.captured(2).toDouble()));
    if (field("Page rot").toInt() % 180 != 0)
        printed.pageSize.transpose();
    const QString boxes =
        run(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"),
                                          QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    static const QRegularExpression item(
        QStringLiteral("<page |<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" "
                       "yMax=\"([\\d.]+)\">([^<]*)</word>"));
    int page = 0;
    for (auto it = item.globalMatch(boxes); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(0).startsWith(QStringLiteral("<page"))) {
            ++page;
            continue;
        }
        printed.words.push_back({page, m.captured(1).toDouble(), m.captured(2).toDouble(),
                                 m.captured(3).toDouble(), m.captured(4).toDouble(),
                                 m.captured(5)});
    }
    return printed;
}

QStringList wordsRunningIntoTheNext(const PrintedPdf &pdf) {
    // Lines by page and the top of their words; words along a line.
    std::map<std::pair<int, long>, std::vector<const PdfWord *>> lines;
    for (const PdfWord &w : pdf.words)
        lines[{w.page, std::lround(w.yMin)}].push_back(&w);
    QStringList found;
    for (auto &[key, line] : lines) {
        std::sort(line.begin(), line.end(),
                  [](const PdfWord *a, const PdfWord *b) { return a->xMin < b->xMin; });
        for (std::size_t i = 1; i < line.size(); ++i)
            if (line[i - 1]->xMax > line[i]->xMin + 0.5)
                found
                    << QStringLiteral("«%1» runs into «%2»").arg(line[i - 1]->text, line[i]->text);
    }
    return found;
}

PrintedPdf printedPdf(int job) {
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
    PrintedPdf printed = readPdf(pdf);
    printed.queueTitle = queuedTitle(job);
    QFile::remove(pdf);
    return printed;
}

QString printedText(int job) {
    return printedPdf(job).text;
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
