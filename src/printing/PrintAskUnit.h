#pragma once
// The question asked before a print: "Печать таблицы", with "Да" and
// "Отмена". One dialog for the whole run; its answer DoPrint stays until the
// next question, so that the second title page follows the answer given for
// the first.

#include <QDialog>

#include <memory>

namespace Ui {
class TPrintAskForm;
}

class TPrintAskForm : public QDialog {
    Q_OBJECT
public:
    explicit TPrintAskForm(QWidget *parent = nullptr);
    ~TPrintAskForm() override;

    // True after "Да"; false after "Отмена", the close box or Escape, and
    // before the first question.
    bool DoPrint = false;

    // Shows the dialog modally (through the message seam), centred on the
    // main window, and returns DoPrint.
    bool Ask();

    void ButtonPrintClick();
    void ButtonCancelClick();

    void done(int result) override;

private:
    std::unique_ptr<Ui::TPrintAskForm> ui;
};

// The dialog of the run, made at its first use (owned by Parent when one is
// given then, else by nobody until the run ends).
TPrintAskForm &PrintAskForm(QWidget *Parent = nullptr);
