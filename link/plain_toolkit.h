#pragma once

#include "link/toolkit.h"

#include <QElapsedTimer>

namespace kv306 {

// The toolkit without a desktop: exact pauses and the clock, boxes written to standard error.
// The window's toolkit builds on it; the command line and the probes use it as it is.
class PlainToolkit : public Toolkit {
public:
    PlainToolkit() { clock_.start(); }

    void MsgBox(const QString &text, int code, const std::optional<QString> &title) override;
    void Sleep(int ms) override;
    qint64 Clock() override { return clock_.elapsed(); }
    void DoEvents() override;
    QString AppPath() override;
    bool StartProgram(const QString &program, const QStringList &arguments) override;

private:
    QElapsedTimer clock_;
};

}  // namespace kv306
