#include "protocol/unit_actions.h"

#include "link/comm_error.h"

namespace kv306 {

namespace {

const QString kCommError = QStringLiteral("通信错误！");
const QString kNoReply = QStringLiteral("通信错误！1");
const QString kSaved = QStringLiteral("OK！");
const QString kReadDone = QStringLiteral("读出成功！");

struct NudgeRule {
    Op op;
    int list;
    bool pauses;  // the circle-size pair rests 10 ms after its display and after an error
};

NudgeRule RuleOf(NudgePair pair)
{
    switch (pair) {
    case NudgePair::Command6: return {Op::StepHorizontal, 0, false};
    case NudgePair::Command8: return {Op::StepVertical, 1, false};
    case NudgePair::Command2: break;
    }
    return {Op::StepCircleSize, 2, true};
}

}  // namespace

void UnitActions::Say(const QString &text)
{
    toolkit_.MsgBox(text, kMsgOkOnly, QString());
}

std::optional<QString> UnitActions::Exchange(const Bytes &frame, qint16 count)
{
    link_.OpenLink();
    if (!comm_.PortOpen())
        return std::nullopt;
    try {
        comm_.Output(frame);
        return link_.ReadReplyHex(count, kReplyTimeoutMs);
    } catch (const CommError &error) {
        link_.ReportCommError(error);
        link_.CloseLink();
        return std::nullopt;
    }
}

void UnitActions::SaveClick()
{
    Params params{};
    for (int i = 0; i < kParamCount; ++i)
        params[static_cast<std::size_t>(i)] = view_.ListIndex(i);
    Bytes frame;
    try {
        frame = ParameterFrame(params);
    } catch (const FrameValueError &) {
        link_.ReportCommError(ErrorNo::Overflow);
        return;
    }
    const std::optional<QString> reply = Exchange(frame, kAckLength);
    if (!reply)
        return;
    if (IsAcknowledgement(*reply)) {
        view_.SetDisplayText(SentFrameDisplay(frame));
        Say(kSaved);
    } else {
        Say(kCommError);
    }
    // The port stays open while the operator reads the outcome.
    link_.CloseLink();
}

void UnitActions::ReadClick()
{
    view_.SetDisplayText(QString());
    const Bytes frame = CommandFrame(Op::ReadParams, 0x00);
    const std::optional<QString> reply = Exchange(frame, kParamReplyLength);
    if (!reply)
        return;
    link_.CloseLink();
    if (reply->isEmpty()) {
        Say(kNoReply);
        return;
    }
    const Bytes values = link_.ReplyBuffer;
    // A value that no list can show is refused whole: never a half-applied read.
    if (!IsParameterReply(values) || !ParamsInRange(values)) {
        Say(kCommError);
        return;
    }
    // The lists show what the unit holds, so a change of video standard presets nothing here.
    view_.HoldPreset(true);
    for (int j = 0; j < kParamCount; ++j)
        view_.SelectListIndex(j, values[static_cast<std::size_t>(j)]);
    view_.HoldPreset(false);
    toolkit_.DoEvents();
    if (view_.DisplayText().isEmpty()) {
        view_.SetDisplayText(SentFrameDisplay(frame));
        toolkit_.Sleep(10);
    }
    Say(kReadDone);
}

void UnitActions::ToggleClick(qint16 index)
{
    view_.SetDisplayText(QString());
    const Bytes frame = CommandFrame(index == 0 ? Op::ToggleOverlay : Op::ToggleCrosshair, 0x02);
    const std::optional<QString> reply = Exchange(frame, kEchoLength);
    if (!reply)
        return;
    link_.CloseLink();
    // A missing echo leaves two zero bytes behind; that is no answer, not an equal pair.
    if (!reply->isEmpty() && IsEchoReply(link_.ReplyBuffer)) {
        if (view_.DisplayText().isEmpty())
            view_.SetDisplayText(SentFrameDisplay(frame));
    } else {
        Say(kCommError);
    }
    toolkit_.Sleep(10);
}

void UnitActions::NudgePress(NudgePair pair, qint16 index)
{
    const NudgeRule rule = RuleOf(pair);
    NudgeStop = false;
    view_.SetDisplayText(QString());
    while (!NudgeStop) {
        // The index of the pressed button, not a direction, goes on the wire.
        const Bytes frame = CommandFrame(rule.op, index);
        const std::optional<QString> reply = Exchange(frame, kEchoLength);
        if (!reply)
            return;
        // The unit answers a step with its new value twice.
        const Bytes &echo = link_.ReplyBuffer;
        const auto entries = kParamEntries[static_cast<std::size_t>(rule.list)];
        if (reply->isEmpty() || !IsEchoReply(echo) || echo[0] >= entries) {
            Say(kCommError);
            if (rule.pauses)
                toolkit_.Sleep(10);
            // The release made while the box was open never reaches the button: stop here,
            // and the operator presses again to go on.
            return;
        }
        view_.SelectListIndex(rule.list, echo[0]);
        link_.CloseLink();
        // A release since the press is handled here; this cycle still finishes.
        toolkit_.DoEvents();
        if (view_.DisplayText().isEmpty()) {
            view_.SetDisplayText(SentFrameDisplay(frame));
            if (rule.pauses)
                toolkit_.Sleep(10);
        }
    }
}

}  // namespace kv306
