#pragma once
// What the program's small fixed dialogs share: a fixed dialog border (a
// title bar with the close box only, a size the user cannot change), a place
// over the main window, and dates in Russian whatever the system's locale.

#include <QLocale>

class QDialog;

// Gives the dialog a fixed dialog border: no minimise or maximise box, and
// its size fixed to what its layout needs.
void SetFixedDialogBorder(QDialog &Dialog);

// Centres the dialog over the program's main window (the application's
// visible main window); a dialog without one stays where it is.
void PlaceOverMainWindow(QDialog &Dialog);

// The locale in which the program shows dates and its calendar: Russian.
QLocale ProgramLocale();
