#pragma once
// The program's windows, dialogs and data module, created in their fixed
// order and wired to the main window: the main routine calls this before it
// shows the main window, and tests call it to build the program exactly as
// it runs.

class TMainForm;

// Makes MainWindow the program's main window (MainForm), creates the dialogs
// it owns, the blank question and the data module, and registers the work
// windows' factories. The dialogs live until the main window is destroyed;
// their global pointers must be cleared then (ForgetProgramWindows).
void CreateProgramWindows(TMainForm &MainWindow);

// Clears the global pointers to the main window and the dialogs it owned,
// once the main window is gone or about to go.
void ForgetProgramWindows();
