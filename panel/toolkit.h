#pragma once

#include "link/comm_error.h"
#include "link/pacer.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace kv306 {

// Button-and-icon codes of a message box.
constexpr int kMsgOkOnly = 0;
constexpr int kMsgCritical = 16;
constexpr int kMsgExclamation = 48;

// What the window needs of its desktop: modal boxes, pauses and a millisecond clock (the link's),
// pending-event processing, its own directory and starting another program. QtToolkit is the
// real one; tests put a recorder in its place and read what a box would have said.
class Toolkit : public Pacer {
public:
    // A modal box with an OK button; returns when the operator closes it. `title` empty gives
    // an empty title bar, nullopt the application's title.
    virtual void MsgBox(const QString &text, int code, const std::optional<QString> &title) = 0;
    // Handles every window event waiting now, nested inside the call.
    virtual void DoEvents() = 0;
    // The directory that holds the program, without a trailing separator.
    virtual QString AppPath() = 0;
    // Starts a program with its own window and returns at once; false when it could not start.
    virtual bool StartProgram(const QString &program, const QStringList &arguments) = 0;

    // The window's extras. Unless a toolkit says otherwise they answer as an operator who
    // cancels would.

    // Starts an opener (xdg-open) and returns at once; `failed` runs later if it ends in failure.
    virtual bool StartOpener(const QString &program, const QStringList &arguments,
                             std::function<void()> failed)
    {
        (void)failed;
        return StartProgram(program, arguments);
    }
    // Asks for a file to write or to read; empty when the operator cancels. The name comes back
    // as given: the caller decides about an ending (ChooseSaveTarget), so that a name that is
    // there (/dev/full) is never made another one (/dev/full.json).
    virtual QString AskSaveFile(const QString &title, const QString &suggested, const QString &filter)
    {
        (void)title, (void)suggested, (void)filter;
        return {};
    }
    // A question with Yes and No; true for Yes.
    virtual bool AskYesNo(const QString &text, const QString &title)
    {
        (void)text, (void)title;
        return false;
    }
    virtual QString AskOpenFile(const QString &title, const QString &folder, const QString &filter)
    {
        (void)title, (void)folder, (void)filter;
        return {};
    }
    // Shows how far a long task is (done of total; done == total closes it) and keeps the window
    // painted; false once the operator has cancelled.
    virtual bool ShowProgress(const QString &text, int done, int total)
    {
        (void)text, (void)done, (void)total;
        return true;
    }
    // Whether the operator has cancelled the progress shown, asked while waiting inside a step.
    virtual bool ProgressCancelled() { return false; }
    // Shows a text file in a read-only window of the tool's own; false when it cannot be read.
    virtual bool ShowTextFile(const QString &title, const QString &path)
    {
        (void)title, (void)path;
        return false;
    }
};

// Shows the text of a serial error in a critical box titled "错误"; error number 0 shows nothing.
void ReportCommError(Toolkit &toolkit, int number);
// The same for a caught error: its own message when it has one (a refusal for permission).
void ReportCommError(Toolkit &toolkit, const CommError &error);

}  // namespace kv306
