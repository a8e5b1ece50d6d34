#pragma once
// Following prints to the real print queue: the ids of the jobs that the
// program hands over, and the text of the PDF that the queue's PDF printer
// made of a job (tools/print-queue.sh sets the queue up; its files go to
// $KVR_PDF_OUT or /var/spool/kvr-pdf, named job_<id>-<title>.pdf).

#include "sheet/PrintQueue.h"

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

// Waits for the job to be printed and returns the text of its PDF (pdftotext,
// pages joined); empty, with a test failure, when it never comes out.
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
