#include "app/ProgramStart.h"

#include "books/ServiceRoutines.h"
#include "shell/InstallationLock.h"
#include "shell/Messages.h"
#include "shell/Paths.h"
#include "store/ExceptionText.h"

#include <QFileInfo>

namespace {

const QString kWaitText =
    QStringLiteral("Другая копия программы сейчас выполняет обслуживание БД; пока оно не "
                   "закончится, работать с данными нельзя.\rНажмите OK, когда оно закончится, "
                   "или Отмена, чтобы закрыть программу.");

// The copy is alone: a rebuild cut short is put right, and the lock lowered
// to the shared one the copy keeps. Whether the program goes on.
bool putRightAlone() {
    const service::Recovery recovery = service::RecoverInterruptedRebuilds();
    installation::LockShared();
    for (const QString &text : recovery.done)
        msg::show(QStringLiteral("Сообщение"), text, msg::Icon::Information);
    if (recovery.problems.isEmpty())
        return true;
    const QString problems = recovery.problems.join(QLatin1Char('\r'));
    if (!recovery.halfRebuilt) {
        msg::show(QStringLiteral("Предупреждение"), problems, msg::Icon::Warning);
        return true;
    }
    // Nobody may type into tables that stand half on the old layout.
    msg::show(QStringLiteral("Ошибка"), problems + QStringLiteral("\rПрограмма будет закрыта."),
              msg::Icon::Critical);
    return false;
}

} // namespace

bool EnterInstallation() {
    if (!QFileInfo(paths::GetWedDir()).isDir())
        return true; // no period folder yet: nothing that a lock would keep
    for (;;) {
        try {
            if (installation::LockExclusive() == installation::Conflict::None)
                return putRightAlone();
            // Other copies at work: the first of them put right what there
            // was (a rebuild keeps every copy out until it ends).
            if (installation::LockShared() == installation::Conflict::None)
                return true;
        } catch (const std::exception &e) {
            installation::Unlock();
            msg::show(QStringLiteral("Предупреждение"),
                      ExceptionText(e) +
                          QStringLiteral("\rДругие копии программы не узнают, что эта копия "
                                         "работает: пока она открыта, не выполняйте в них "
                                         "обслуживание БД."),
                      msg::Icon::Warning);
            return true;
        }
        if (msg::show(QStringLiteral("Предупреждение"), kWaitText, msg::Icon::Warning,
                      msg::Buttons::OkCancel) != msg::Answer::Ok)
            return false;
    }
}
