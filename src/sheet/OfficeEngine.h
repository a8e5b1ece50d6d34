#pragma once
// The spreadsheet engine on LibreOffice Calc. Each engine is a private,
// invisible LibreOffice process with its own temporary profile, reached over a
// named pipe: it never touches an office the user has open. The process is
// ended when the engine quits or is destroyed, whatever happened before, and
// by the system when the thread that started it ends (a crash included):
// start and use an engine on one long-lived thread, such as the GUI thread.
// A start also removes the profile folders and pipe files that the offices of
// programs that ended without ending them (a crash) left behind.

#include "sheet/Sheet.h"

#include <functional>
#include <memory>

namespace sheet {

class OfficeEngine : public Engine {
public:
    struct Options {
        // The office program itself (soffice.bin, not its start script, so
        // that the process ends with this one); empty for the installed one.
        QString officeProgram;
        // How long to wait for the new process to accept the connection.
        int connectTimeoutMs = 60000;
        // How long one call into the office may take. An office that does
        // not answer within it is ended, the call fails, and so does every
        // later call of this engine.
        int callTimeoutMs = 120000;
        // Opens a saved file in the user's spreadsheet program (showToUser);
        // returns false when there is none to open it. Empty for the program
        // that the desktop names for the file's type, through the desktop's
        // opener; false when the desktop names none.
        std::function<bool(const QString &path)> viewer;
    };

    // Starts the process and connects to it; throws Error on failure (and
    // leaves no process behind).
    OfficeEngine();
    explicit OfficeEngine(Options options);
    ~OfficeEngine() override;

    std::unique_ptr<Workbook> addWorkbook() override;
    std::unique_ptr<Workbook> open(const QString &path) override;
    void quit() override;
    bool isRunning() const override;

    // The id of the private office process (0 once it has ended).
    qint64 processId() const;

    struct Impl;

private:
    std::shared_ptr<Impl> d;
};

} // namespace sheet
