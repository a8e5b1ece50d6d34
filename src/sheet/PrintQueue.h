#pragma once
// The print queues of the system (CUPS): the default queue, and handing a
// file to it. The office's own printing is not used: it does not reach the
// queue when the office runs headless, so printed sheets go to the queue
// from here.

#include "sheet/Sheet.h"

#include <QString>

#include <functional>

namespace sheet {

// The name of the default print queue; empty when there is none, also when
// no print system answers.
QString defaultPrinter();

// Hands the file (PostScript) to the default queue as one job under the
// title and returns the job as the queue took it. Throws Error when there is
// no default queue or the queue refuses the job.
PrintedJob submitToDefaultPrinter(const QString &file, const QString &title);

// Waits until the job has left the queue (printed, cancelled or aborted), at
// most timeoutMs; true when it was printed.
bool waitForPrintJob(int job, int timeoutMs);

// Called with the id of every job handed over (tests follow the jobs to the
// queue's output). Returns the observer installed before.
using PrintJobObserver = std::function<void(int job)>;
PrintJobObserver setPrintJobObserver(PrintJobObserver observer);

} // namespace sheet
