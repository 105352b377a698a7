#pragma once

#include "link/toolkit.h"

#include <QElapsedTimer>
#include <QWidget>

namespace kv306 {

// The desktop as the running program has it: real boxes, real sleeps.
class QtToolkit : public Toolkit {
public:
    QtToolkit() { clock_.start(); }

    void MsgBox(const QString &text, int code, const std::optional<QString> &title) override;
    void Sleep(int ms) override;
    qint64 Clock() override { return clock_.elapsed(); }
    void DoEvents() override;
    QString AppPath() override;
    bool StartProgram(const QString &program, const QStringList &arguments) override;

    // The main window: every box belongs to it, so none can open behind another program.
    void SetOwner(QWidget *owner) { owner_ = owner; }

private:
    QElapsedTimer clock_;
    QWidget *owner_ = nullptr;
};

}  // namespace kv306
