#pragma once

#include "link/serial_link.h"
#include "panel/panel_view.h"
#include "panel/toolkit.h"
#include "protocol/frames.h"
#include "protocol/unit_core.h"

#include <QDateTime>

#include <functional>
#include <optional>
#include <vector>

namespace kv306 {

// The three pairs of arrow buttons beside the first three lists.
enum class NudgePair {
    Horizontal,  // horizontal offset: ">" index 0, "<" index 1 (Command6)
    Vertical,    // vertical offset: "∨" index 0, "∧" index 1 (Command8)
    CircleSize,  // circle size: "∧" index 0, "∨" index 1 (Command2)
};

// The buttons that talk to the unit. Each action is one operation of the unit's core; this
// tells its outcome in boxes with an empty title, closing the link where each action does.
class UnitActions {
public:
    UnitActions(SerialLink &link, SerialControl &comm, Toolkit &toolkit, PanelView &view)
        : link_(link), comm_(comm), core_(link, comm, toolkit), toolkit_(toolkit), view_(view)
    {
    }

    // "保存": writes the six selected positions in one parameter frame.
    void SaveClick();
    // "读出": reads the unit's six parameters into the lists.
    void ReadClick();
    // The same without a box (the read at start-up): the outcome goes to Told alone.
    void ReadQuietly();
    // "叠加开关" (index 0) and "十字线开关" (index 1).
    void ToggleClick(qint16 index);
    // Mouse down on a nudge button: steps the unit until the button is released.
    void NudgePress(NudgePair pair, qint16 index);
    // Mouse up on any nudge button.
    void NudgeRelease() { NudgeStop = true; }

    // Ends the repeat of a held nudge button; read before every cycle.
    bool NudgeStop = false;
    // A successful save is followed by a read of the unit, and the box tells whether it holds
    // what was written. Off unless the operator turns it on.
    bool VerifyAfterSave = false;

    UnitCore &Core() { return core_; }

    // Each action's outcome in a few words ("读出成功", "水平偏移 = 23", "读出失败：通信错误！1"),
    // with the time its exchange ended, for the window's status line; called after the action's
    // own box.
    std::function<void(const QString &, const QDateTime &)> Told;
    // An exchange is under way ("读出中…"), and, with an empty text, it is over: called before the
    // request goes out (the window shows it is busy) and again before any box.
    std::function<void(const QString &)> Busy;

private:
    // A port failure is shown with its number, what it means for this port and the fix; a
    // failure on the way (not at the open) also closes the link. True when the outcome was one.
    bool ReportedPortFailure(const Outcome &outcome, const QString &heading = {});
    void VerifySaved(const Params &written);
    // A box for the operator, shown once the status line says what happened (Tell): never over a
    // status line that still says "读出中…".
    void Say(const QString &text);
    void Warn(const QString &text);
    void Tell(const QString &text, const Outcome &outcome);
    // "读出失败：通信错误！1（收到 3 个字节，应为 7 个）"
    void TellFailure(const QString &action, const Outcome &outcome);
    // "通信错误！", with what came when a reply came that was not whole.
    static QString Failed(const QString &said, const Outcome &outcome);
    void BeginBusy(const QString &what);
    void EndBusy();

    struct Box {
        QString text;
        int code;
        std::optional<QString> title;
    };
    std::vector<Box> boxes_;  // said, to be shown by Tell

    SerialLink &link_;
    SerialControl &comm_;
    UnitCore core_;
    Toolkit &toolkit_;
    PanelView &view_;
    bool busy_ = false;
};

// What a port failure means for the operator's port and what to do, in the window's language
// ("COM4（/dev/ttyUSB0）不存在：请检查…"); empty when the error's own text says it all.
QString PortAdvice(int errorNumber, const SerialControl &comm);

}  // namespace kv306
