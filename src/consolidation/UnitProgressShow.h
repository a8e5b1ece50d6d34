#pragma once
// The progress window of the run that builds every consolidation of a
// period: a panel with a centred, word-wrapped text and a bar below it,
// shown without being modal, centred on the main window. It takes the run's
// steps (svod::SvodProgress) and repaints itself at each.

#include "consolidation/SvodEngine.h"

#include <QWidget>

#include <memory>

class QLabel;
class QProgressBar;

namespace Ui {
class TProgressForm;
}

class TProgressForm : public QWidget, public svod::SvodProgress {
    Q_OBJECT
public:
    explicit TProgressForm(QWidget *parent = nullptr);
    ~TProgressForm() override;

    QLabel *LabelInfo = nullptr;
    QProgressBar *ProgressBar1 = nullptr;

    // Sets the bar (position from 0) and repaints the window.
    void Step(int position, int maximum) override;

private:
    std::unique_ptr<Ui::TProgressForm> ui;
};

// The one progress window of the program (created at start-up).
extern TProgressForm *ProgressForm;
