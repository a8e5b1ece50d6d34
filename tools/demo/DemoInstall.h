#pragma once
// Lays out a demo installation: a program folder with everything the program
// reads from beside its executable.
//
//   PUTI.DBF, SCHOOL.DBF, REGIM.DBF         settings, organisations, requisites
//   WED/OTHE<Y>, FORM<Y>, PROV<Y>, SVOD<Y>  the period tables of each year
//   WED/<blank>.DBF                         one blank per report of the catalogue
//   WED/BLANK/                              the print templates' folder
//   DBF/D<code>/<base><Y>.DBF               organisations' filled reports
//
// Each piece is a function of its own so that later work (print templates,
// more periods) can add to the installation; WriteDemoInstallation() runs
// them all. The output does not depend on the clock: every table's header
// carries the same fixed date.

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>

namespace demo {

// The periods of the demo: the second calendar years of 2015 / 2016 and
// 2016 / 2017.
QVector<int> DemoYears();

// The date written into the headers of the demo's tables.
QDate TableDate();

// Writes the whole installation into ProgramDir (created when missing).
// Tables already there are replaced; other files are left alone. Returns the
// paths of the tables written. Throws store::StoreError or std::runtime_error.
QStringList WriteDemoInstallation(const QString &ProgramDir);

// The pieces, each writing into the given folder and returning what it wrote.
QStringList WritePuti(const QString &ProgramDir, int ProgramKind);
QStringList WriteSchool(const QString &ProgramDir);
QStringList WriteRegim(const QString &ProgramDir);
QStringList WriteBlanks(const QString &WedDir);
QStringList WriteCatalogue(const QString &WedDir, int Year);
QStringList WriteFormulaTables(const QString &WedDir, int Year);
QStringList WriteSvod(const QString &WedDir, int Year);
// Copies the blanks into the organisations' folders and fills them.
QStringList WriteOrganisationData(const QString &ProgramDir, int Year);
// The same for the organisations of the given codes.
QStringList WriteOrganisationData(const QString &ProgramDir, int Year,
                                  const QVector<int> &OrgCodes);

// Sets the last-update date in the headers of the tables.
void StampTableDates(const QStringList &Tables, const QDate &Date);

} // namespace demo
