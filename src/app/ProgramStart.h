#pragma once
// Entering the installation at start-up, before any window is made. The copy
// takes the shared lock on the installation that it holds for its whole life
// (shell/InstallationLock.h); when it is the only copy, it first puts right a
// rebuild of the report tables that was cut short, so that no work window
// ever opens on tables that are half rebuilt.

// Whether the program goes on. It does not when the user chose to end rather
// than wait for another copy's rebuild, or when a rebuild cut short could not
// be put right. Every message goes through the message seam.
bool EnterInstallation();
