#pragma once

#include "panel/toolkit.h"

#include <QProgressDialog>
#include <QWidget>

namespace kv306 {

// The desktop as the running program has it: real boxes, real sleeps.
class QtToolkit : public Toolkit {
public:
    void MsgBox(const QString &text, int code, const std::optional<QString> &title) override;
    void DoEvents() override;
    QString AppPath() override;
    bool StartProgram(const QString &program, const QStringList &arguments) override;
    bool StartOpener(const QString &program, const QStringList &arguments,
                     std::function<void()> failed) override;
    QString AskSaveFile(const QString &title, const QString &suggested, const QString &filter) override;
    bool AskYesNo(const QString &text, const QString &title) override;
    bool ProgressCancelled() override;
    QString AskOpenFile(const QString &title, const QString &folder, const QString &filter) override;
    bool ShowProgress(const QString &text, int done, int total) override;
    bool ShowTextFile(const QString &title, const QString &path) override;

    // The main window: every box belongs to it, so none can open behind another program.
    void SetOwner(QWidget *owner) { owner_ = owner; }

private:
    QWidget *owner_ = nullptr;
    QProgressDialog *progress_ = nullptr;
};

}  // namespace kv306
