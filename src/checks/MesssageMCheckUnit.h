#pragma once
// The question shown for each mismatch between reports: go on with the
// next relation ("Продолжить", also the close box) or stop the rest of the
// check ("Прервать проверку"). The dialog keeps a client area of at least
// 356 by 185 pixels (the message label is at least 120 high) and grows with a
// longer message.

#include <QDialog>

#include <memory>

class QFrame;
class QLabel;
class QPushButton;

namespace Ui {
class TMessageMCheckForm;
}

class TMessageMCheckForm : public QDialog {
    Q_OBJECT
public:
    explicit TMessageMCheckForm(QWidget *parent = nullptr);
    ~TMessageMCheckForm() override;

    // The answer: true to go on, false to stop. Each showing starts with true.
    bool ContinueCheck = true;

    // Puts the message ("\r" breaks lines) into LabelMess, shows the dialog
    // modally through the message seam and returns ContinueCheck.
    bool Ask(const QString &message);
    // The message of the last Ask, as the caller wrote it.
    const QString &Message() const { return m_message; }

    QLabel *LabelMess = nullptr;
    QFrame *Panel1 = nullptr;
    QPushButton *ButtonOK = nullptr;
    QPushButton *ButtonCancel = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormShow();
    void ButtonOKClick();
    void ButtonCancelClick();
    std::unique_ptr<Ui::TMessageMCheckForm> ui;
    QString m_message;
};

// The one dialog of the program, made on first use and kept for the whole run.
TMessageMCheckForm &MessageMCheckForm();
