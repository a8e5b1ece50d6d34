#pragma once
// The data module's connections are shared by the whole program: tests that
// point the program at a folder of their own close all four at their start
// and end, so that none stays open on another test's folder.

namespace testsupport {

// Closes ADOConMain, ADOConWED, ADOConDBF and ADOConTemp of the data module.
void closeDataModuleConnections();

} // namespace testsupport
