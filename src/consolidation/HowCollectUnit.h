#pragma once
// How to collect the reports ("Как собирать"): all together (mode 1) or
// each organisation apart (mode 2). The report group fixes the mode: the
// groups 1, 47 and 51 are collected together, every other group apart; the
// dialog lets the user confirm or cancel it. Created once at start-up.
//
//   HowCollectForm->ReportGroup = group;
//   if (HowCollectForm->Ask())
//       use(HowCollectForm->CollectMode);

#include <QDialog>

#include <memory>

class QPushButton;
class QRadioButton;

namespace Ui {
class THowCollectForm;
}

class THowCollectForm : public QDialog {
    Q_OBJECT
public:
    explicit THowCollectForm(QWidget *parent = nullptr);
    ~THowCollectForm() override;

    // Input: the report group (the catalogue's GRUPPA).
    int ReportGroup = 0;
    // Results: 1 all together, 2 each organisation apart; 0 until the first
    // confirmed choice, then the last confirmed one. Confirmed is true only
    // when OK closed the dialog with a mode chosen.
    int CollectMode = 0;
    bool Confirmed = false;

    // Resets Confirmed, offers the mode of ReportGroup and shows the dialog
    // modally through the message seam; returns Confirmed.
    bool Ask();
    // Offers the mode of ReportGroup (run by Ask before the dialog shows).
    void SetUpChoice();

    // The mode that the group allows: 1 for the groups 1, 47 and 51, else 2.
    static int ModeOfGroup(int Group);

    QRadioButton *RB1 = nullptr;
    QRadioButton *RB2 = nullptr;
    QPushButton *ButtonOK = nullptr;
    QPushButton *ButtonCancel = nullptr;

    void ButtonOKClick();
    void ButtonCancelClick();

private:
    std::unique_ptr<Ui::THowCollectForm> ui;
};

// The one mode dialog of the program (made at start-up).
extern THowCollectForm *HowCollectForm;
