#pragma once

#include "link/plain_toolkit.h"

#include <QWidget>

namespace kv306 {

// The desktop as the running program has it: real boxes, real sleeps.
class QtToolkit : public PlainToolkit {
public:
    void MsgBox(const QString &text, int code, const std::optional<QString> &title) override;

    // The main window: every box belongs to it, so none can open behind another program.
    void SetOwner(QWidget *owner) { owner_ = owner; }

private:
    QWidget *owner_ = nullptr;
};

}  // namespace kv306
