#pragma once

#include "link/serial_link.h"
#include "protocol/frames.h"
#include "protocol/panel_view.h"

#include <optional>

namespace kv306 {

// The three pairs of arrow buttons beside the first three lists.
enum class NudgePair {
    Command6,  // horizontal offset: ">" index 0, "<" index 1
    Command8,  // vertical offset: "∨" index 0, "∧" index 1
    Command2,  // circle size: "∧" index 0, "∨" index 1
};

// The buttons that talk to the unit. Each action is one request and one reply over the link;
// outcomes are told in boxes with an empty title.
class UnitActions {
public:
    static constexpr qint32 kReplyTimeoutMs = 1000;

    UnitActions(SerialLink &link, MSComm &comm, Toolkit &toolkit, PanelView &view)
        : link_(link), comm_(comm), toolkit_(toolkit), view_(view)
    {
    }

    // "保存": writes the six selected positions in one parameter frame.
    void SaveClick();
    // "读出": reads the unit's six parameters into the lists.
    void ReadClick();
    // "叠加开关" (index 0) and "十字线开关" (index 1).
    void ToggleClick(qint16 index);
    // Mouse down on a nudge button: steps the unit until the button is released.
    void NudgePress(NudgePair pair, qint16 index);
    // Mouse up on any nudge button.
    void NudgeRelease() { NudgeStop = true; }

    // Ends the repeat of a held nudge button; read before every cycle.
    bool NudgeStop = false;

private:
    // Opens the link, sends the frame and waits for `count` reply bytes. Nothing when the port
    // did not open (already reported) or the control failed on the way (reported here, link
    // closed).
    std::optional<QString> Exchange(const Bytes &frame, qint16 count);
    void Say(const QString &text);

    SerialLink &link_;
    MSComm &comm_;
    Toolkit &toolkit_;
    PanelView &view_;
};

}  // namespace kv306
