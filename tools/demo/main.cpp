// kvr_demo FOLDER: lays out a demo installation of the program in FOLDER
// (the folder that holds, or will hold, the program's executable), afresh:
// periods and reports of an earlier layout are removed first.

#include "demo/DemoPeriods.h"
#include "demo/DemoTemplates.h"
#include "shell/Messages.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QTextStream>

#include <exception>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    QTextStream out(stdout);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2 || args[1].startsWith(QLatin1Char('-'))) {
        err << "usage: kvr_demo FOLDER\n"
               "Lays out a demo installation afresh (settings, organisations, periods 2015/2016,\n"
               "2016/2017, the current school year and the one before, blanks and filled\n"
               "reports) in FOLDER, beside the program. What an earlier layout left in FOLDER's\n"
               "WED and DBF folders and its tables is removed first.\n";
        return 2;
    }
    const QString folder = QDir(args[1]).absolutePath();
    // The program's routines report through the message seam; here there is
    // no window to show a message in, so it goes to the error stream.
    msg::setMessageHandler([&err](const msg::Request &r) {
        err << "kvr_demo: " << r.title << ": " << msg::displayText(r.text) << "\n";
        return r.buttons == msg::Buttons::YesNo ? msg::Answer::No : msg::Answer::Ok;
    });
    try {
        const QStringList tables = demo::LayOutDemo(folder, QDate::currentDate());
        demo::WriteDemoTemplates(folder + QStringLiteral("/WED/BLANK"));
        out << "Demo installation written to " << folder << " (" << tables.size() << " tables)\n";
    } catch (const std::exception &e) {
        err << "kvr_demo: " << QString::fromUtf8(e.what()) << "\n";
        return 1;
    }
    return 0;
}
