#pragma once
// The modal window "Сервис": setting the working date again, copying the
// working year's report tables into the archive, and rebuilding the report
// tables on new blank structures ("Обслуживание БД"). Created once at
// start-up and shown through msg::exec; each show takes the working year.

#include <QDate>
#include <QDialog>

#include <functional>
#include <memory>

class QPushButton;
class QToolButton;

namespace Ui {
class TServiceForm;
}

class TServiceForm : public QDialog {
    Q_OBJECT
public:
    explicit TServiceForm(QWidget *parent = nullptr);
    ~TServiceForm() override;

    QPushButton *ButtonSetData = nullptr;
    QPushButton *ButtonSaveDataToArh = nullptr;
    QPushButton *ButtonService = nullptr;
    QToolButton *ButtonExit = nullptr;

    // The year of the archive: the working year, taken at each show.
    int Year = 0;

    // Asks for the working date again (the main window's start question);
    // set by the program when it builds its windows.
    std::function<void()> onSetDate;
    // Ends the program after a rebuild that left tables half rebuilt; set by
    // the program when it builds its windows.
    std::function<void()> onMustEnd;
    // Today's date for the rebuild's year; the clock unless a test sets it.
    std::function<QDate()> today = [] { return QDate::currentDate(); };

    void ButtonSetDataClick();
    void ButtonSaveDataToArhClick();
    void ButtonServiceClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    std::unique_ptr<Ui::TServiceForm> ui;
};

// The one service window of the program (set when the windows are built).
extern TServiceForm *ServiceForm;
