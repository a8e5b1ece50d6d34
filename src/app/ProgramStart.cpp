#include "app/ProgramStart.h"

#include "books/ServiceRoutines.h"
#include "shell/InstallationLock.h"
#include "shell/Messages.h"
#include "shell/Paths.h"
#include "store/ExceptionText.h"

#include <QDir>
#include <QFileInfo>

namespace {

using installation::Conflict;

const QString kWaitText =
    QStringLiteral("Другая копия программы сейчас выполняет обслуживание БД; пока оно не "
                   "закончится, работать с данными нельзя.\rНажмите OK, когда оно закончится, "
                   "или Отмена, чтобы закрыть программу.");
const QString kEnds = QStringLiteral("\rПрограмма будет закрыта.");

// The copy is alone: a rebuild cut short is put right, and the lock lowered
// to the shared one the copy keeps. Whether the program goes on. Tables that
// could not be put right stay out of every copy's reach: the lock stays
// exclusive while the message is up, and goes when the program ends.
bool putRightAlone() {
    const service::Recovery recovery = service::RecoverInterruptedRebuilds();
    for (const QString &text : recovery.done)
        msg::show(QStringLiteral("Сообщение"), text, msg::Icon::Information);
    const QString problems = recovery.problems.join(QLatin1Char('\r'));
    if (recovery.halfRebuilt) {
        msg::show(QStringLiteral("Ошибка"), problems + kEnds, msg::Icon::Critical);
        return false;
    }
    installation::LockShared();
    if (!problems.isEmpty())
        msg::show(QStringLiteral("Предупреждение"), problems, msg::Icon::Warning);
    return true;
}

// A user who may not write the lock file takes the shared lock read-only;
// such a copy cannot put right a rebuild cut short, and then does not start.
bool enteredReadOnly() {
    if (!service::InterruptedRebuildPending())
        return true;
    installation::Unlock();
    msg::show(QStringLiteral("Ошибка"),
              QStringLiteral("Предыдущее обслуживание БД было прервано, и вернуть таблицы на "
                             "место может только копия программы, которой разрешена запись в "
                             "файл %1. Запустите программу от имени пользователя, которому "
                             "разрешена запись в этот файл.")
                      .arg(QDir::toNativeSeparators(installation::LockFilePath())) +
                  kEnds,
              msg::Icon::Critical);
    return false;
}

} // namespace

bool EnterInstallation() {
    if (!QFileInfo(paths::GetWedDir()).isDir())
        return true; // no period folder yet: nothing that a lock would keep
    for (;;) {
        try {
            if (!installation::MayLockExclusive()) {
                if (installation::Patiently(installation::LockShared) == Conflict::None)
                    return enteredReadOnly();
            } else {
                // Alone, the copy looks for a rebuild cut short; beside copies
                // at work, it takes its place among them (the first of them
                // put right what there was, and one that could not is still
                // holding the installation).
                const Conflict conflict = installation::Patiently([] {
                    const Conflict c = installation::LockExclusive();
                    return c == Conflict::OtherCopies ? installation::LockShared() : c;
                });
                if (conflict == Conflict::None)
                    return installation::HeldLevel() == installation::Level::Exclusive
                               ? putRightAlone()
                               : true;
            }
        } catch (const std::exception &e) {
            // Without the lock other copies would not know of this one, and a
            // rebuild there would drop what it writes: it does not start.
            installation::Unlock();
            msg::show(QStringLiteral("Ошибка"),
                      ExceptionText(e) +
                          QStringLiteral("\rБез этого файла другие копии программы не узнают, "
                                         "что эта копия работает, и обслуживание БД в них может "
                                         "потерять то, что она запишет.") +
                          kEnds,
                      msg::Icon::Critical);
            return false;
        }
        if (msg::show(QStringLiteral("Предупреждение"), kWaitText, msg::Icon::Warning,
                      msg::Buttons::OkCancel) != msg::Answer::Ok)
            return false;
    }
}
