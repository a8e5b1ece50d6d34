#pragma once
// The status panels of the work windows: labels in a status bar, each text
// drawn bold blue at the panel's top-left corner. Every panel but the last
// has a width that it grows beyond when its text needs more room; the last
// takes the rest of the bar. The panels are named "StatusPanel0", ...
//
//   StatusPanels panels(ui->StatusBar1, {150, 275, 50});
//   panels.setText(0, "Период: 2015 / 2016");

#include <QString>
#include <QVector>

#include <initializer_list>

class QLabel;
class QStatusBar;

class StatusPanels {
public:
    StatusPanels() = default;
    StatusPanels(QStatusBar *Bar, std::initializer_list<int> Widths);

    int count() const { return int(m_labels.size()); }
    QString text(int Panel) const; // empty for a panel that does not exist
    void setText(int Panel, const QString &Text);

private:
    QVector<QLabel *> m_labels;
    QVector<int> m_widths;
};
