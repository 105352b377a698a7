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
    connect(this, &QComboBox::activated, this, [this](int index) {
        // Qt also "activates" an entry whose name is left typed in the field when it loses the
        // focus; nobody picked it.
        if (picksOnly_ && leaving_)
            return;
        shownText_ = itemText(index);
        if (picksOnly_)
            setToolTip(itemData(index, Qt::ToolTipRole).toString());
        emit Click();
    });
    connect(lineEdit(), &QLineEdit::returnPressed, this, [this] {
        const QString typed = currentText().trimmed();
        if (picksOnly_ && AcceptTyped && findText(typed, Qt::MatchExactly) < 0 && AcceptTyped(typed)) {
            addItem(typed);
            SetListIndex(count() - 1);
        }
    });
    // Runs after Qt's own handling of Enter and of leaving the field.
    connect(lineEdit(), &QLineEdit::editingFinished, this, [this] {
        if (picksOnly_ && currentText() != shownText_)
            PutBackShownText();
    });
}

void DropList::SetListIndex(int position)
{
    setCurrentIndex(position);
    shownText_ = itemText(position);
    emit Click();
}

void DropList::SetText(const QString &text)
{
    const int entry = findText(text, Qt::MatchExactly);
    if (entry >= 0)
        setCurrentIndex(entry);
    setEditText(text);
    shownText_ = text;
    lineEdit()->setCursorPosition(0);
    setToolTip(entry >= 0 ? itemData(entry, Qt::ToolTipRole).toString() : text);
}

void DropList::PutBackShownText()
{
    const int entry = findText(shownText_, Qt::MatchExactly);
    if (entry >= 0 && entry != currentIndex())
        setCurrentIndex(entry);
    setEditText(shownText_);
    lineEdit()->setCursorPosition(0);
}

void DropList::showPopup()
{
    emit AboutToOpen();
    QComboBox::showPopup();
}

void DropList::focusOutEvent(QFocusEvent *event)
{
    leaving_ = true;
    QComboBox::focusOutEvent(event);
    leaving_ = false;
    if (picksOnly_ && currentText() != shownText_)
        PutBackShownText();
    PutBackTypedText();
}

bool DropList::PutBackTypedText()
{
    if (!keepsSelection_ || currentIndex() < 0 || currentText() == itemText(currentIndex()))
        return false;
    const QString typed = currentText();
    setEditText(itemText(currentIndex()));
    emit TypedTextPutBack(typed);
    return true;
}

QString PortEntryDelegate::Line(const QString &name, const QString &description)
{
    return description.isEmpty() ? name : name + QStringLiteral("   ") + description;
}

void PortEntryDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    option->text = Line(index.data(Qt::DisplayRole).toString(), index.data(Qt::ToolTipRole).toString());
}

void NudgeButton::mousePressEvent(QMouseEvent *event)
{
    // The left button also shows the button pushed in; the others step all the same.
    if (event->button() == Qt::LeftButton)
        QPushButton::mousePressEvent(event);
    event->accept();
    released_ = false;
    emit MouseDown();
    // The repeat ran inside this press. When a box ended it, the release went to the box and
    // never comes here: do not leave the button drawn pushed in.
    if (!released_ && isDown())
        setDown(false);
}

void NudgeButton::mouseReleaseEvent(QMouseEvent *event)
{
    released_ = true;
    if (event->button() == Qt::LeftButton)
        QPushButton::mouseReleaseEvent(event);
    event->accept();
    emit MouseUp();
}

}  // namespace kv306
