#include "panel/controls.h"

#include <QLineEdit>
#include <QMouseEvent>

namespace kv306 {

DropList::DropList(QWidget *parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // activated is the operator's pick (also an Enter on text that names an entry); picks from
    // code go through SetListIndex. currentIndexChanged is left alone: Qt raises it by itself
    // when a list is filled, and not at all when the position does not change.
    connect(this, &QComboBox::activated, this, [this](int) { emit Click(); });
}

void DropList::SetListIndex(int position)
{
    setCurrentIndex(position);
    emit Click();
}

void DropList::focusOutEvent(QFocusEvent *event)
{
    QComboBox::focusOutEvent(event);
    if (keepsSelection_ && currentIndex() >= 0 && currentText() != itemText(currentIndex()))
        setEditText(itemText(currentIndex()));
}

void NudgeButton::mousePressEvent(QMouseEvent *event)
{
    // The left button also shows the button pushed in; the others step all the same.
    if (event->button() == Qt::LeftButton)
        QPushButton::mousePressEvent(event);
    event->accept();
    emit MouseDown();
}

void NudgeButton::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        QPushButton::mouseReleaseEvent(event);
    event->accept();
    emit MouseUp();
}

}  // namespace kv306
