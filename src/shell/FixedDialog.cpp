#include "shell/FixedDialog.h"

#include <QApplication>
#include <QBoxLayout>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>

namespace {

// Room in a title bar beside the title: the window icon and up to three
// buttons with their padding, as common window managers draw them (with
// Openbox's usual theme a title shows whole from about 110 pixels more
// than its width in the program's bold font).
constexpr int kTitleBarRoom = 120;

QMainWindow *visibleMainWindow() {
    for (QWidget *w : QApplication::topLevelWidgets()) {
        auto *main = qobject_cast<QMainWindow *>(w);
        if (main && main->isVisible())
            return main;
    }
    return nullptr;
}

// Undoes a minimise of the window it is a child of, as SetDialogBorder
// promises.
class MinimiseUndoer : public QObject {
public:
    explicit MinimiseUndoer(QWidget &Window) : QObject(&Window), m_window(Window) {
        setObjectName(QStringLiteral("MinimiseUndoer"));
        Window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        // Undone once the change has been taken in: the window system reports
        // a minimise while the window manager is carrying it out.
        if (watched == &m_window && event->type() == QEvent::WindowStateChange &&
            m_window.windowState().testFlag(Qt::WindowMinimized))
            QMetaObject::invokeMethod(
                this, [this] { restore(); }, Qt::QueuedConnection);
        return false;
    }

private:
    void restore() {
        if (!m_window.isVisible() || !m_window.isMinimized())
            return;
        // The main window first, so that the dialog stands over it again.
        if (QMainWindow *main = visibleMainWindow(); main && main->isMinimized())
            main->setWindowState(main->windowState() & ~Qt::WindowMinimized);
        m_window.setWindowState(m_window.windowState() & ~Qt::WindowMinimized);
    }

    QWidget &m_window;
};

// Does for one dialog what PrepareModalDialog promises; a child of the dialog.
class ModalDialogKeeper : public QObject {
public:
    explicit ModalDialogKeeper(QDialog &Dialog) : QObject(&Dialog), m_dialog(Dialog) {
        setObjectName(QStringLiteral("ModalDialogKeeper"));
        Dialog.installEventFilter(this);
        for (QComboBox *box : Dialog.findChildren<QComboBox *>())
            if (box->isEditable())
                box->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == &m_dialog) {
            if (event->type() == QEvent::Show && !event->spontaneous())
                placeAndFollow();
        } else if (watched == m_main) {
            if ((event->type() == QEvent::Resize || event->type() == QEvent::Move) &&
                m_dialog.isVisible())
                PlaceOverMainWindow(m_dialog);
        } else if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            auto *box = qobject_cast<QComboBox *>(watched);
            if ((key == Qt::Key_Return || key == Qt::Key_Enter) && box && box->lineEdit())
                box->lineEdit()->deselect(); // no completion to confirm: on to the dialog
        }
        return false;
    }

private:
    void placeAndFollow() {
        PlaceOverMainWindow(m_dialog);
        QObject *main = visibleMainWindow();
        if (main == m_main)
            return;
        if (m_main)
            m_main->removeEventFilter(this);
        m_main = main;
        if (m_main)
            m_main->installEventFilter(this);
    }

    QDialog &m_dialog;
    // The main window followed; held as a plain object, since its events
    // still come while it is being destroyed.
    QPointer<QObject> m_main;
};

} // namespace

Qt::WindowFlags DialogWindowFlags() {
    return Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
}

void SetDialogBorder(QWidget &Dialog, bool CloseBox) {
    Qt::WindowFlags flags = DialogWindowFlags();
    if (!CloseBox)
        flags &= ~(Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    // A window keeps its kind (a tool window stays one); a dialog it is else.
    if (Dialog.isWindow())
        flags = (flags & ~Qt::WindowType_Mask) | Dialog.windowType();
    Dialog.setWindowFlags(flags);
    if (!Dialog.findChild<QObject *>(QStringLiteral("MinimiseUndoer"), Qt::FindDirectChildrenOnly))
        new MinimiseUndoer(Dialog);
}

void SetFixedDialogBorder(QDialog &Dialog) {
    SetDialogBorder(Dialog);
    if (QLayout *layout = Dialog.layout()) {
        if (auto *box = qobject_cast<QBoxLayout *>(layout)) {
            const QMargins margins = box->contentsMargins();
            const int titleWidth = TitleBarWidth(Dialog) - margins.left() - margins.right();
            if (box->direction() == QBoxLayout::TopToBottom ||
                box->direction() == QBoxLayout::BottomToTop)
                box->addStrut(titleWidth); // a minimum width that adds no height
        }
        layout->setSizeConstraint(QLayout::SetFixedSize);
    } else {
        QSize size = Dialog.sizeHint();
        size.setWidth(std::max(size.width(), TitleBarWidth(Dialog)));
        Dialog.setFixedSize(size);
    }
    PrepareModalDialog(Dialog);
}

void SetFixedDialogBorder(QDialog &Dialog, QSize ClientSize) {
    SetDialogBorder(Dialog);
    QSize size = ClientSize;
    if (QLayout *layout = Dialog.layout())
        size = size.expandedTo(layout->totalMinimumSize());
    size.setWidth(std::max(size.width(), TitleBarWidth(Dialog)));
    Dialog.setFixedSize(size);
    PrepareModalDialog(Dialog);
}

int TitleBarWidth(const QWidget &Window) {
    QFont bold = Window.font();
    bold.setBold(true);
    return QFontMetrics(bold).horizontalAdvance(Window.windowTitle()) + kTitleBarRoom;
}

void PlaceOverMainWindow(QDialog &Dialog) {
    QMainWindow *main = visibleMainWindow();
    if (!main)
        return;
    // The dialog's frame as it is, or before the window manager has framed
    // the dialog (its first showing), as the main window's is.
    const QWidget &framed =
        Dialog.frameGeometry() != Dialog.geometry() ? static_cast<QWidget &>(Dialog) : *main;
    const QRect outer = framed.frameGeometry();
    const QRect inner = framed.geometry();
    const QMargins margins(inner.left() - outer.left(), inner.top() - outer.top(),
                           outer.right() - inner.right(), outer.bottom() - inner.bottom());
    QRect frame = Dialog.geometry().marginsAdded(margins);
    frame.moveCenter(main->frameGeometry().center());
    // The client area is placed, not the frame's corner (move()): for a
    // dialog hidden since its last showing the window system may count the
    // frame in one way for frameGeometry() and in another for pos(), which
    // put the dialog one title bar lower at every later showing.
    const QPoint client = frame.topLeft() + QPoint(margins.left(), margins.top());
    Dialog.setGeometry(QRect(client, Dialog.geometry().size()));
}

void PrepareModalDialog(QDialog &Dialog) {
    if (!Dialog.findChild<QObject *>(QStringLiteral("ModalDialogKeeper"),
                                     Qt::FindDirectChildrenOnly))
        new ModalDialogKeeper(Dialog);
}

QLocale ProgramLocale() {
    return QLocale(QLocale::Russian, QLocale::Russia);
}
