#pragma once
// The item an editable combo box stands on: its current item while the text
// is that item's, otherwise the first item whose text the user typed
// exactly; -1 when the text is empty or no item.

#include <QComboBox>

inline int ChosenComboItem(const QComboBox &Box) {
    const int current = Box.currentIndex();
    if (current >= 0 && Box.itemText(current) == Box.currentText())
        return current;
    if (Box.currentText().isEmpty())
        return -1;
    return Box.findText(Box.currentText(), Qt::MatchExactly);
}
