#pragma once
// The window shown while a consolidation is built: two lines asking the
// user to wait and a progress bar. It has no behaviour of its own; the
// consolidation window shows it, moves its bar and hides it.

#include <QDialog>

#include <memory>

class QProgressBar;

namespace Ui {
class TProgressSvodForm;
}

class TProgressSvodForm : public QDialog {
    Q_OBJECT
public:
    explicit TProgressSvodForm(QWidget *parent = nullptr);
    ~TProgressSvodForm() override;

    QProgressBar *ProgressBar1 = nullptr;

private:
    std::unique_ptr<Ui::TProgressSvodForm> ui;
};

// The one progress window of the consolidation (made at start-up).
extern TProgressSvodForm *ProgressSvodForm;
