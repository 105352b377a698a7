#pragma once

#include <QComboBox>
#include <QPushButton>
#include <QStyledItemDelegate>

#include <functional>

namespace kv306 {

// A drop-down list with an editable text field whose selection by position from code raises its
// Click at once, exactly as an operator's pick does (even when the position is already selected).
// Typed text never becomes a new entry: text that names an entry selects it on Enter.
class DropList : public QComboBox {
    Q_OBJECT
public:
    explicit DropList(QWidget *parent);

    void SetListIndex(int position);
    int ListIndex() const { return currentIndex(); }
    // Sets the text field and raises nothing. Text that names an entry also makes it the current
    // one, so the open list highlights what the field shows. The field shows the text's start,
    // and the whole of it in the tooltip.
    void SetText(const QString &text);
    QString Text() const { return currentText(); }
    // A parameter list puts its selected entry back when typed text names none.
    void SetKeepsSelection(bool keeps) { keepsSelection_ = keeps; }
    // The port list: only a pick runs its Click (an entry chosen in the open list, or typed and
    // Enter); leaving the field never does. Typed text that is not picked is replaced by what the
    // field showed before, on Enter or on leaving.
    void SetPicksOnly(bool picksOnly) { picksOnly_ = picksOnly; }
    // Text typed and Enter that names no entry, but that this accepts (a network port's name),
    // becomes an entry and is picked.
    std::function<bool(const QString &)> AcceptTyped;

    // A parameter list: puts the selected entry back when the field shows typed text that names
    // none, and raises TypedTextPutBack with that text. False when there was nothing to put back.
    bool PutBackTypedText();

signals:
    void Click();
    void TypedTextPutBack(const QString &typed);
    // The operator is opening the list; raised before it shows.
    void AboutToOpen();

public:
    void showPopup() override;

protected:
    void focusOutEvent(QFocusEvent *event) override;

private:
    void PutBackShownText();

    bool keepsSelection_ = false;
    bool picksOnly_ = false;
    bool leaving_ = false;
    QString shownText_;
};

// Draws a port entry in the open list as its name followed by what the device is (the entry's
// tooltip); the entry itself stays the bare name.
class PortEntryDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    static QString Line(const QString &name, const QString &description);
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};

// An arrow button that reports the mouse going down and up, with any mouse button. It has no
// click of its own: activating it from the keyboard does nothing.
class NudgeButton : public QPushButton {
    Q_OBJECT
public:
    NudgeButton(const QString &caption, QWidget *parent) : QPushButton(caption, parent) {}

signals:
    void MouseDown();
    void MouseUp();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool released_ = false;
};

}  // namespace kv306
