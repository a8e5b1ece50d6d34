#pragma once
// The school-year dialog: offers the school years up to the current period
// and returns the first calendar year of the one chosen. Created once at
// start-up; callers show it through msg::exec(*YearForm) and read Year,
// adding one to get the year that names the period's tables.

#include <QDialog>

#include <memory>

namespace Ui {
class TYearForm;
}

class TYearForm : public QDialog {
    Q_OBJECT
public:
    explicit TYearForm(QWidget *parent = nullptr);
    ~TYearForm() override;

    // The first calendar year of the chosen school year (2015 for
    // 2015 / 2016); 0 when there is no school year to offer.
    int Year = 0;

    // Fills the list afresh from the current work year, selects the latest
    // school year and takes its first year. Runs on every show.
    void FillYears();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void ButtonOKClick();

    std::unique_ptr<Ui::TYearForm> ui;
};

// The one year dialog of the program (set by the main routine).
extern TYearForm *YearForm;
