#pragma once
// The dialog "Поиск...": asks whether to search the organisation book by
// code or by name, and for the text. It searches nothing itself: the caller
// shows it through msg::exec() and then reads SearchMode, Cancelled and
// FindText. Every showing starts by code with "0".

#include <QDialog>

#include <memory>

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace Ui {
class TFindForm;
}

class TFindForm : public QDialog {
    Q_OBJECT
public:
    explicit TFindForm(QWidget *parent = nullptr);
    ~TFindForm() override;

    int SearchMode = 1;    // 1 by code, 2 by name
    bool Cancelled = true; // true unless an accepted "Найти" closed the dialog
    QString FindText;      // the code as typed, or the name text; "0" / empty on cancel

    QRadioButton *RB1 = nullptr;
    QRadioButton *RB2 = nullptr;
    QLineEdit *EditKod = nullptr;
    QLineEdit *EditName = nullptr;
    QPushButton *ButtonFind = nullptr;
    QPushButton *ButtonCancel = nullptr;

    // Back to a search by code with "0" and nothing accepted (on every show).
    void Reset();
    void RB1Click();
    void RB2Click();
    void ButtonFindClick();
    void ButtonCancelClick();

    // Every way of closing (buttons, close box, Escape) ends here: a
    // cancelled dialog leaves "0" by code and an empty text by name.
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    std::unique_ptr<Ui::TFindForm> ui;
};

// The one search dialog of the program (set by the main routine).
extern TFindForm *FindForm;
