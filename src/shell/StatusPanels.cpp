#include "shell/StatusPanels.h"

#include <QLabel>
#include <QStatusBar>

StatusPanels::StatusPanels(QStatusBar *Bar, std::initializer_list<int> Widths) : m_widths(Widths) {
    for (int i = 0; i < m_widths.size(); ++i) {
        auto *label = new QLabel(Bar);
        label->setObjectName(QStringLiteral("StatusPanel") + QString::number(i));
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setStyleSheet(QStringLiteral("font-weight: bold; color: #0000ff;"));
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        const bool last = i == m_widths.size() - 1;
        if (last)
            label->setMinimumWidth(m_widths[i]);
        else
            label->setFixedWidth(m_widths[i]);
        Bar->addWidget(label, last ? 1 : 0);
        m_labels.append(label);
    }
}

QString StatusPanels::text(int Panel) const {
    return Panel >= 0 && Panel < m_labels.size() ? m_labels[Panel]->text() : QString();
}

void StatusPanels::setText(int Panel, const QString &Text) {
    if (Panel < 0 || Panel >= m_labels.size())
        return;
    QLabel *label = m_labels[Panel];
    label->setText(Text);
    if (Panel < m_labels.size() - 1) {
        // The bold font comes from the panel's style sheet, applied on polish.
        label->ensurePolished();
        label->setFixedWidth(std::max(m_widths[Panel], label->sizeHint().width()));
    }
}
