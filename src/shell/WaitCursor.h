#pragma once
// The wait cursor over every window of the program while a long operation
// runs (a print, a consolidation, the service's work), put back however the
// operation ends:
//
//   WaitCursor waiting;
//   ... the work ...
//
// Without a widget application (a run without windows) it does nothing.

#include <QApplication>

class WaitCursor {
public:
    WaitCursor() {
        if (m_set)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~WaitCursor() {
        if (m_set)
            QApplication::restoreOverrideCursor();
    }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;

private:
    bool m_set = qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr;
};
