#pragma once
// What the program's dialogs share: a fixed dialog border (a title bar with
// the close box only, a size the user cannot change, wide enough for the
// whole title), a place over the main window at every showing, Return that
// always reaches the default button, and dates in Russian whatever the
// system's locale.

#include <QLocale>
#include <QSize>
#include <Qt>

class QDialog;
class QWidget;

// The window flags of the program's dialogs: a title bar with the close box
// only. From them Qt writes the Motif window-manager hints (_MOTIF_WM_HINTS)
// that window managers read: the functions move and close, the decorations
// border, title and window menu, no minimise and no maximise.
Qt::WindowFlags DialogWindowFlags();

// Gives a dialog or a progress window the program's dialog title bar: the
// flags above, or with CloseBox false a title bar without any box. Some
// window managers offer a minimise box on every dialog whatever the hints
// ask (Openbox does, and takes the main window down with the dialog, leaving
// nothing on the screen to bring the program back with): a minimise carried
// out all the same is undone at once, the dialog and the main window shown
// again.
void SetDialogBorder(QWidget &Dialog, bool CloseBox = true);

// Gives the dialog a fixed dialog border: the title bar of SetDialogBorder,
// and its size fixed to what its layout needs, but never narrower than its
// title bar needs for the whole title (the title is set before the call; a
// layout must be a vertical box, as every dialog's is). A size the user
// cannot change also keeps window managers from drawing a resize handle
// along the bottom edge. The dialog is also prepared as PrepareModalDialog
// prepares it.
void SetFixedDialogBorder(QDialog &Dialog);
// The same for a dialog of a size of its own (a list or a tree to choose
// from): its client area fixed at ClientSize, or larger where its layout or
// its title need more.
void SetFixedDialogBorder(QDialog &Dialog, QSize ClientSize);

// The width a window's title bar needs to show its title whole: the title in
// bold (as window managers draw titles) and room for the window icon and the
// title bar's buttons.
int TitleBarWidth(const QWidget &Window);

// Centres the dialog over the program's main window (the application's
// visible main window); a dialog without one stays where it is. The place
// is given to the dialog's client area, so that it does not depend on how
// the window system counts a hidden window's frame.
void PlaceOverMainWindow(QDialog &Dialog);

// Prepares a modal dialog once; msg::exec calls it for every dialog it runs.
// - The dialog is centred over the main window each time it is shown, and
//   again when the main window moves or changes size while the dialog is
//   up (a window manager carries out the main window's maximising after the
//   program asked for it, when the first dialog may be up already). The
//   place is set before the dialog is mapped, from its frame as last seen,
//   so that a dialog shown again stands where it stood.
// - Return in an editable list box goes to the default button with the text
//   as it stands. Left to itself, the box takes Return to confirm its inline
//   completion whenever its whole text is selected: the box keeps its
//   current item as the completion, and the dialog selects the whole text
//   each time it is shown again, so the first Return of every later showing
//   would do nothing visible.
void PrepareModalDialog(QDialog &Dialog);

// The locale in which the program shows dates and its calendar: Russian.
QLocale ProgramLocale();
