#pragma once

#include "link/serial_link.h"
#include "protocol/frames.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace kv306 {

// What went wrong in talking to the unit, if anything.
enum class Failure {
    None,
    Port,        // a numbered error of the port or of the value (see Outcome)
    NoReply,     // nothing, or too little, within the silence limit
    BadAck,      // a parameter frame answered with something other than 0x99
    BadCheck,    // a parameter reply whose check byte is wrong
    BadEcho,     // an echo whose two bytes differ
    OutOfRange,  // a reply value that no list can show
    Mismatch,    // read back after a write, the unit holds something else
};

// One request and what came back.
struct Traffic {
    Bytes sent;
    Bytes received;  // empty when nothing whole came within the limit
    qint64 ms = -1;  // from the request sent to the reply complete; -1 without a reply
    qint16 expected = 0;
    qint64 seen = 0;          // bytes that came in all, a whole reply or not (a flood is counted too)
    Bytes heard;              // the first of them (64 at most), also when no whole reply came
    qint64 longestGapMs = 0;  // the longest silence between two of them
};

struct Outcome {
    Failure failure = Failure::None;
    // A port failure: the error number, the operator's text for it and the system's reason.
    int errorNumber = 0;
    QString errorText;
    QString reason;
    // The failure came before anything was sent (the port did not open, a value did not fit):
    // there is no exchange to close.
    bool beforeSending = false;
    // A write that was acknowledged but, stopped on the way, never read back.
    bool unverified = false;
    // The unit acknowledged the parameter frame (also when the check after writing then failed).
    bool acknowledged = false;
    // A reply taken, but one that may not be the unit's (an echo whose two bytes came far apart,
    // as line noise does): what makes it doubtful, in a few words. Empty when nothing does.
    QString doubt;
    // A step answered with the value the parameter had, away from the limit the step moves to:
    // a step the unit did not make (a dead unit on a noisy line answers so).
    bool unmoved = false;
    // When the operation ended.
    QDateTime at;
    std::vector<Traffic> traffic;
    Params values{};   // a read: what the unit holds; a verified write: what it holds after
    Params written{};  // a verified write: what was sent
    int value = -1;    // a step: the new value; a toggle: the echoed byte, which means nothing documented

    bool Ok() const { return failure == Failure::None; }
};

// The unit's operations, once, for every front end. Each sends one request through the link
// (OpenLink's pause, the 1000 ms silence limit and the 3 s bound of a reply wait) and judges the
// reply. Nothing is shown: the caller tells the outcome its own way. The port is left as the
// exchange left it, open after a reply, so the caller closes the link where its order of
// messages wants the pause.
class TrafficLog;

class UnitCore {
public:
    static constexpr qint32 kReplyTimeoutMs = 1000;
    // A unit sends the two bytes of an echo one right after the other; bytes this far apart are
    // more likely noise on a line whose unit is dead.
    static constexpr qint64 kEchoGapDoubtMs = 100;

    UnitCore(SerialLink &link, SerialControl &comm, Pacer &pacer) : link_(link), comm_(comm), pacer_(pacer) {}

    // The six parameters in one parameter frame; the unit acknowledges with 0x99.
    Outcome Write(const Params &params);
    // The unit's six parameters.
    Outcome Read();
    // The whole overlay or only its crosshair on or off.
    Outcome Toggle(ToggleTarget target);
    // One step of the horizontal offset, the vertical offset or the circle size. `before`, when
    // known, is the value the parameter had: an answer with that value away from the step's limit
    // is marked `unmoved`.
    Outcome Step(ParamId param, StepWay way, std::optional<int> before = std::nullopt);
    // Write, close, read back and compare: Mismatch names what differs. The last read is left
    // open like any exchange. `goOn`, when given, is asked between the write and the read-back;
    // false stops there, and the write's own outcome comes back marked `unverified`.
    Outcome WriteAndVerify(const Params &params, const std::function<bool()> &goOn = {});

    // Every operation is recorded here from now on (nothing when null).
    void SetLog(TrafficLog *log) { log_ = log; }

private:
    Outcome Exchange(const Bytes &frame, qint16 count);
    Outcome Logged(Outcome outcome);
    // Marks a taken echo whose bytes came far apart as doubtful.
    static void DoubtSpreadEcho(Outcome &o);

    SerialLink &link_;
    SerialControl &comm_;
    Pacer &pacer_;
    TrafficLog *log_ = nullptr;
};

// Makes `o` a port failure: the error's number, the operator's text for it and its reason.
void PortFailure(Outcome &o, const CommError &error, bool beforeSending);

}  // namespace kv306
