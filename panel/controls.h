#pragma once

#include <QComboBox>
#include <QPushButton>

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
    // Sets the text field only; raises nothing.
    void SetText(const QString &text) { setEditText(text); }
    QString Text() const { return currentText(); }
    // A parameter list puts its selected entry back when typed text names none.
    void SetKeepsSelection(bool keeps) { keepsSelection_ = keeps; }

signals:
    void Click();

protected:
    void focusOutEvent(QFocusEvent *event) override;

private:
    bool keepsSelection_ = false;
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
};

}  // namespace kv306
