#pragma once
// State that the main window holds and other windows read: the working
// date, the year of the current period, the program kind, and whether the
// consolidations are being built for sending.

#include <QDate>

struct AppState {
    int WorkYear = 0;      // calendar year of the working date plus one; 0 until set
    int ProgramKind = 0;   // from PUTI: 1, 76, 83 or 105; 0 without PUTI
    int SvodForExport = 0; // 1 while the transfer window builds every consolidation
    QDate WorkDate;        // the working date chosen at start-up
};

AppState &appState();
