#pragma once
// The "О программе..." window: the program's name, description and version.
// Its texts are the same for every program kind and it reads no table.

#include <QDialog>

#include <memory>

namespace Ui {
class TAboutBox;
}

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *parent = nullptr);
    ~TAboutBox() override;

private:
    std::unique_ptr<Ui::TAboutBox> ui;
};

// The one about window of the program (set by the main routine).
extern TAboutBox *AboutBox;
