#include "shell/FixedDialog.h"

#include <QApplication>
#include <QDialog>
#include <QLayout>
#include <QMainWindow>

void SetFixedDialogBorder(QDialog &Dialog) {
    Dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint);
    if (QLayout *layout = Dialog.layout())
        layout->setSizeConstraint(QLayout::SetFixedSize);
    else
        Dialog.setFixedSize(Dialog.sizeHint());
}

void PlaceOverMainWindow(QDialog &Dialog) {
    for (QWidget *w : QApplication::topLevelWidgets()) {
        auto *main = qobject_cast<QMainWindow *>(w);
        if (!main || !main->isVisible())
            continue;
        QRect frame = Dialog.frameGeometry();
        frame.moveCenter(main->frameGeometry().center());
        Dialog.move(frame.topLeft());
        return;
    }
}

QLocale ProgramLocale() {
    return QLocale(QLocale::Russian, QLocale::Russia);
}
