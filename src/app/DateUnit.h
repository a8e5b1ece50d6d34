#pragma once
// The working-date dialog. Created once at start-up with today's date in its
// picker; the picker keeps the last date chosen for the rest of the run, and
// the main window takes that date however the dialog is closed.

#include <QDate>
#include <QDialog>

#include <memory>

namespace Ui {
class TDateForm;
}

class TDateForm : public QDialog {
    Q_OBJECT
public:
    explicit TDateForm(QWidget *parent = nullptr);
    ~TDateForm() override;

    QDate date() const;
    void setDate(const QDate &date);

private:
    std::unique_ptr<Ui::TDateForm> ui;
};

// The one date dialog of the program (set by the main routine).
extern TDateForm *DateForm;
