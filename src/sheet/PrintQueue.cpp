#include "sheet/PrintQueue.h"

#include "sheet/Sheet.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cups/cups.h>

#include <cstdlib>

namespace sheet {

namespace {

PrintJobObserver &observer() {
    static PrintJobObserver installed;
    return installed;
}

// The print system's server as the environment names it now (CUPS_SERVER,
// the client configuration), not as it was at the first call.
void followEnvironment() {
    cupsSetServer(nullptr);
}

// The default queue: its name (empty when there is none) and whether it is
// stopped, when it takes jobs and keeps them until it is started again.
struct Printer {
    QString name;
    bool stopped = false;
};

Printer defaultPrinterState() {
    followEnvironment();
    // The default alone, without listing every printer the network offers.
    cups_dest_t *dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
    Printer printer;
    if (dest) {
        printer.name = QString::fromUtf8(dest->name);
        const char *state = cupsGetOption("printer-state", dest->num_options, dest->options);
        printer.stopped = state && std::atoi(state) == IPP_PSTATE_STOPPED;
    }
    cupsFreeDests(dest ? 1 : 0, dest);
    return printer;
}

} // namespace

QString defaultPrinter() {
    return defaultPrinterState().name;
}

PrintedJob submitToDefaultPrinter(const QString &file, const QString &title) {
    const QString printer = defaultPrinter();
    if (printer.isEmpty())
        throw Error(QStringLiteral("Принтер по умолчанию не установлен"));
    PrintedJob job;
    job.id =
        cupsPrintFile2(CUPS_HTTP_DEFAULT, printer.toUtf8().constData(),
                       QFile::encodeName(file).constData(), title.toUtf8().constData(), 0, nullptr);
    if (job.id <= 0)
        throw Error(QStringLiteral("Принтер \"%1\" не принял задание: %2")
                        .arg(printer, QString::fromUtf8(cupsLastErrorString())));
    if (observer())
        observer()(job.id);
    // The state as it is with the job in the queue.
    const Printer now = defaultPrinterState();
    job.printer = printer;
    job.printerStopped = now.name == printer && now.stopped;
    return job;
}

bool waitForPrintJob(int job, int timeoutMs) {
    followEnvironment();
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        cups_job_t *jobs = nullptr;
        const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
        ipp_jstate_t state = IPP_JSTATE_PENDING;
        bool found = false;
        for (int i = 0; i < count; ++i)
            if (jobs[i].id == job) {
                state = jobs[i].state;
                found = true;
            }
        cupsFreeJobs(count, jobs);
        if (found && state >= IPP_JSTATE_CANCELED)
            return state == IPP_JSTATE_COMPLETED;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20); // the queue tells of no change: ask it again
    }
}

PrintJobObserver setPrintJobObserver(PrintJobObserver next) {
    PrintJobObserver previous = std::move(observer());
    observer() = std::move(next);
    return previous;
}

} // namespace sheet
