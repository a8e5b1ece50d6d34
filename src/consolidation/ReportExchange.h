#pragma once
// Report exchange without widgets: sending the consolidations of set 1 of a
// period to an exchange folder together with the identity file reg.txt, and
// receiving such a folder into an organisation's data folder after checking
// the INN in reg.txt against the organisation's.
//
// Each routine takes the folders it works on and returns whether it succeeded
// together with the messages to show, in the order they arose; the window
// shows them. The one question, whether to send consolidations that left
// out cells which were no number, is asked at once through the message
// seam. Nothing here touches the data module's shared connections: the
// tables are read through connections of their own.
//
//   exchange::ReceiveParams p;
//   p.year = 2017; p.orgCode = 5;
//   p.programDir = paths::GetProgramDir(); p.wedDir = paths::GetWedDir();
//   p.orgDataDir = paths::GetOrgDataDir("5"); p.exchangeDir = "/media/usb";
//   const exchange::Outcome r = exchange::ReceiveReports(p);
//   for (const msg::Request &m : r.messages) msg::show(m);

#include "shell/Messages.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

namespace exchange {

// The identity file's name in an exchange folder.
inline const QString kIdentityFile = QStringLiteral("reg.txt");
// An identity file longer than this is taken as damaged.
constexpr qint64 kMaxIdentityFileSize = 64 * 1024;

// --- the identity file --------------------------------------------------------

// reg.txt as sending writes it: the INN line and the name line, each ended by
// CR LF, in CP1251. Throws FileError when a text has no CP1251 form.
QByteArray IdentityFileContents(const QString &Inn, const QString &Name);
// The lines of reg.txt: split at CR, LF or CR LF; a break at the very end
// does not start another line, so "1\r\n2\r\n" has two lines.
QStringList IdentityFileLines(const QByteArray &Contents);
// Whether the INN of reg.txt is the organisation's: an exact comparison, no
// trimming; an INN that is empty or all blanks on either side never matches.
bool InnMatches(const QString &IdentityInn, const QString &OrganisationInn);

// --- copying the tables of a catalogue ----------------------------------------

struct CopyParams {
    int year = 0;        // the period's four-digit year
    QString wedDir;      // holds the catalogue OTHE<year> and the blanks
    QString source;      // folder the tables are taken from
    QString destination; // folder they are copied into (must exist)
    // Receiving: every file must be a regular file that opens as a dBASE
    // table with the fields of its report's blank (names, types, widths and
    // decimals), or it is skipped.
    bool checkReceived = false;
};

struct CopyOutcome {
    bool ok = false;           // at least one table was copied
    bool failed = false;       // a copy failed; the tables after it were not copied
    QMap<int, QString> copied; // catalogue position (from 1) -> FORMA of the copied report
    QStringList copiedFiles;   // destination paths, in catalogue order
    QStringList rejected;      // "file - reason" of each received file skipped
    int catalogueRecords = 0;  // records of the catalogue; -1 without a catalogue
    QList<msg::Request> messages;
};

// Copies base + year + ".DBF" of every catalogue report that the source holds
// into the destination (each through a temporary file renamed into place)
// and builds the message listing the copied reports. Nothing is written
// outside the destination: a destination entry that is a link, or no
// regular file, is removed and a new file made in its place (a folder that
// is not empty stops the copy with a message).
CopyOutcome CopyReports(const CopyParams &Params);
// The message on the copied reports: "Были скопированы следующие отчеты: "
// with the FORMA texts by position and a CR at the positions 1, 6, 11, ...;
// or the text for none copied.
QString CopiedReportsText(const QMap<int, QString> &Copied, int RecordCount);

// --- sending and receiving ----------------------------------------------------

// What the run that builds every consolidation of the period reports.
struct BuildAllOutcome {
    bool ok = true;
    QString failedReport; // the report whose consolidation could not be built
    QString error;        // why
    int badCellCount = 0; // cells of the organisations' reports that were no number
    QStringList badCells; // the first few, one line each (organisation, report, row, column, text)
};

struct SendParams {
    int year = 0;
    QString programDir; // holds REGIM.DBF
    QString wedDir;     // the catalogue and the blanks
    QString set1Dir;    // the consolidations of set 1 of the year
    QString dbfDir; // the data tree (organisations' and sets' folders); empty: programDir + "DBF"
    QString archiveDir; // the archive (ARX); empty: programDir + "ARX"
    // The folder chosen by the user; refused inside dbfDir, wedDir or archiveDir.
    QString exchangeDir;
    // Builds every consolidation of the year into set1Dir; run once the
    // checks have passed. Without it nothing is built.
    std::function<BuildAllOutcome()> buildAll;
    // Asked, with the question's text, when the build reports cells that
    // were no number; sending goes on only when it answers true. Without it
    // sending goes on.
    std::function<bool(const QString &question)> confirmBadCells;
};

struct ReceiveParams {
    int year = 0;
    int orgCode = 0;     // 0: no organisation chosen
    QString programDir;  // holds SCHOOL.DBF
    QString wedDir;      // the catalogue and the blanks
    QString orgDataDir;  // the organisation's data folder (created when all checks pass)
    QString exchangeDir; // the folder chosen by the user
};

struct Outcome {
    bool ok = false;
    QList<msg::Request> messages; // to show, in order
    CopyOutcome copy;             // when the tables were copied
    bool built = false;           // sending: whether buildAll ran
};

// When the build reports cells that were no number, asks through
// confirmBadCells whether to send anyway; No sends nothing.
Outcome SendReports(const SendParams &Params);

// The question asked before sending consolidations that left out cells which
// were no number, naming the first few of them.
QString BadCellsQuestion(const BuildAllOutcome &Built);
Outcome ReceiveReports(const ReceiveParams &Params);

} // namespace exchange
