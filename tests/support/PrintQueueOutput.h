#pragma once
// Following prints to the real print queue: the ids of the jobs that the
// program hands over, and what the queue's PDF printer made of a job
// (tools/print-queue.sh sets the queue up; its files go to $KVR_PDF_OUT or
// /var/spool/kvr-pdf, named job_<id>-<title>.pdf).

#include "sheet/PrintQueue.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <vector>

namespace testsupport {

// Records the jobs handed to the queue while it lives.
class PrintJobRecorder {
public:
    PrintJobRecorder();
    ~PrintJobRecorder();
    PrintJobRecorder(const PrintJobRecorder &) = delete;
    PrintJobRecorder &operator=(const PrintJobRecorder &) = delete;

    std::vector<int> jobs;

private:
    sheet::PrintJobObserver m_old;
};

// A word as a page of a PDF places it (pdftotext -bbox): the page from 1,
// its box in points from the top left, its text.
struct PdfWord {
    int page = 0;
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    QString text;
};

// A printed job: its title in the queue, and its PDF.
struct PrintedPdf {
    QString queueTitle; // the job's title as the queue keeps it
    QString fileName;   // job_<id>-<the title as the PDF printer spells it>.pdf
    QString title;      // the PDF's own title
    QString text;       // pdftotext -layout, pages parted by form feeds
    int pages = 0;
    QSize pageSize; // of the first page as it is read (turned back), in points
    std::vector<PdfWord> words;
};

// The words that run into the word after them on their line (a text wider
// than its cell, drawn on under the next cell): "«word» runs into «next»"
// for each.
QStringList wordsRunningIntoTheNext(const PrintedPdf &pdf);

// Reads the PDF file (all but the queue's title).
PrintedPdf readPdf(const QString &pdf);
// Waits for the job to be printed and reads its PDF, which it then removes;
// empty, with a test failure, when it never comes out.
PrintedPdf printedPdf(int job);
// The text of the job's PDF (printedPdf(job).text).
QString printedText(int job);

// The print engine as the program makes it (LibreOffice), with the user's
// spreadsheet program stood in for: what is shown to the user goes into
// shownFiles(). For a test suite's set-up; endRecordingViewer ends the engine
// and restores the program's own engine.
void useRecordingViewer();
void endRecordingViewer();
QStringList &shownFiles();

// Why printing cannot be tested here (no default queue), or empty.
QString printQueueProblem();

} // namespace testsupport
