#pragma once
// The question asked when a report has no table yet: take the blank for
// entering data, or look at another report.

#include <QDialog>

#include <memory>

class QLabel;
class QPushButton;

namespace Ui {
class TMessageForm;
}

class TMessageForm : public QDialog {
    Q_OBJECT
public:
    explicit TMessageForm(QWidget *parent = nullptr);
    ~TMessageForm() override;

    // The answer: true only when "Да" closed the dialog.
    bool TakeBlank = false;

    // Resets the answer, shows the dialog modally through the message seam
    // and returns TakeBlank.
    bool Ask();

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QPushButton *ButtonOk = nullptr;
    QPushButton *ButtonCancel = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void ButtonOkClick();
    void ButtonCancelClick();
    std::unique_ptr<Ui::TMessageForm> ui;
};

// The one dialog of the program, made on first use and kept for the whole run.
TMessageForm &MessageForm();
