#include "app/KvrApplication.h"

#include "shell/Messages.h"
#include "shell/Paths.h"
#include "shell/ProgramIcon.h"
#include "store/ExceptionText.h"
#include "store/SaveFile.h"

KvrApplication::KvrApplication(int &argc, char **argv) : QApplication(argc, argv) {
    // Every window without an icon of its own shows the application's.
    setWindowIcon(ProgramIcon());
    // What killed writes left behind is cleared in the installation only.
    store::setLeftoverSweepRoot(paths::GetProgramDir());
}

QString KvrApplication::Title() {
    return QStringLiteral("KVR");
}

void KvrApplication::HandleException(std::exception_ptr error) {
    const QString text = ExceptionText(error);
    try {
        msg::show(Title(), text, msg::Icon::Critical, msg::Buttons::Ok);
    } catch (...) {
        // Nothing more can be shown; the program carries on.
    }
}

bool KvrApplication::notify(QObject *receiver, QEvent *event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException(std::current_exception());
    }
    return false;
}
