#include "shell/Periods.h"

#include "shell/Messages.h"
#include "shell/UnitConsts.h"
#include "store/Dataset.h"

namespace periods {
namespace {

const QString kTitle = QStringLiteral("Сообщение");

void tell(const QString &text) {
    msg::show(kTitle, text, msg::Icon::None, msg::Buttons::Ok);
}

// The path of a period table of year Y: the file as it lies in the folder in
// whatever letter case, or the upper-case name when it does not exist.
QString tablePath(const QString &WedDir, const QString &base, int Y) {
    const QString file = base + QString::number(Y) + QStringLiteral(".DBF");
    const QString found = store::findFileCaseInsensitive(WedDir, file);
    return found.isEmpty() ? WedDir + file : found;
}

bool tableExists(const QString &WedDir, const QString &base, int Y) {
    return store::fileExistsCaseInsensitive(WedDir,
                                            base + QString::number(Y) + QStringLiteral(".DBF"));
}

} // namespace

QStringList GetPeriodList(int WorkYear) {
    QStringList list;
    for (int y = FirstPeriodStart; y <= WorkYear - 1; ++y)
        list.append(QString::number(y) + QStringLiteral(" / ") + QString::number(y + 1));
    return list;
}

int FirstYearOf(const QString &PeriodText, bool *ok) {
    bool good = false;
    const int year = PeriodText.left(4).trimmed().toInt(&good);
    if (ok)
        *ok = good;
    return good ? year : 0;
}

QStringList PeriodTableNames() {
    return {QStringLiteral("FORM"), QStringLiteral("OTHE"), QStringLiteral("PROV"),
            QStringLiteral("SVOD")};
}

void NewPeriod(int Y, const QString &WedDir) {
    const QStringList names = PeriodTableNames();
    for (const QString &base : names) {
        if (!tableExists(WedDir, base, Y - 1)) {
            tell(QStringLiteral("Невозможно начать новый период. \rНет данных за прошлый период!"));
            return;
        }
    }
    for (const QString &base : names) {
        const QString target = tablePath(WedDir, base, Y);
        if (tableExists(WedDir, base, Y)) {
            tell(QStringLiteral("Найдена БД ") + target +
                 QStringLiteral("\rОставляю без изменения."));
            continue;
        }
        CopyFileByStream(target, tablePath(WedDir, base, Y - 1));
    }
    tell(QStringLiteral("Открытие нового периода завершено."));
}

} // namespace periods
