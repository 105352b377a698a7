#include "panel/unit_actions.h"

#include "link/comm_error.h"
#include "link/texts.h"
#include "protocol/traffic_log.h"

namespace kv306 {

namespace {

// Looked up when shown: the language is installed after start-up code has run.
QString CommErrorSaid()
{
    return Tx::tr("通信错误！");
}
QString NoReply()
{
    return Tx::tr("通信错误！1");
}
QString Saved()
{
    return Tx::tr("OK！");
}
QString ReadDone()
{
    return Tx::tr("读出成功！");
}

// The list each pair of buttons steps; the circle-size pair rests 10 ms after its display and
// after an error.
struct NudgeRule {
    int list;
    bool pauses;
};

NudgeRule RuleOf(NudgePair pair)
{
    switch (pair) {
    case NudgePair::Horizontal: return {0, false};
    case NudgePair::Vertical: return {1, false};
    case NudgePair::CircleSize: break;
    }
    return {2, true};
}

}  // namespace

void UnitActions::Say(const QString &text)
{
    toolkit_.MsgBox(text, kMsgOkOnly, QString());
}

bool UnitActions::ReportedPortFailure(const Outcome &outcome)
{
    if (outcome.failure != Failure::Port)
        return false;
    toolkit_.MsgBox(outcome.errorText, kMsgCritical, Tx::tr("错误"));
    if (!outcome.beforeSending)
        link_.CloseLink();
    return true;
}

void UnitActions::SaveClick()
{
    const Params params = view_.Lists();
    const Outcome o = core_.Write(params);
    if (ReportedPortFailure(o))
        return;
    if (o.Ok()) {
        view_.SetDisplayText(SentFrameDisplay(o.traffic.back().sent));
        if (VerifyAfterSave) {
            VerifySaved(params);
            return;
        }
        Say(Saved());
    } else {
        Say(CommErrorSaid());
    }
    // The port stays open while the operator reads the outcome.
    link_.CloseLink();
}

void UnitActions::VerifySaved(const Params &written)
{
    link_.CloseLink();
    const Outcome check = core_.Read();
    if (ReportedPortFailure(check))
        return;
    link_.CloseLink();
    QString text = Saved() + QLatin1Char('\n');
    if (check.failure == Failure::NoReply) {
        text += Tx::tr("校验读出失败：") + NoReply();
    } else if (!check.Ok()) {
        text += Tx::tr("校验读出失败：") + CommErrorSaid();
    } else if (check.values == written) {
        text += Tx::tr("校验一致：设备保存的六个参数与写入的相同。");
    } else {
        text += Tx::tr("校验不一致：");
        for (int k = 0; k < kParamCount; ++k) {
            const int wrote = written[static_cast<std::size_t>(k)];
            const int holds = check.values[static_cast<std::size_t>(k)];
            if (wrote != holds)
                text +=
                    QLatin1Char('\n') + Tx::tr("%1：写入 %2，设备为 %3")
                                            .arg(ParamCaption(k), ParamShown(k, wrote), ParamShown(k, holds));
        }
    }
    Say(text);
}

void UnitActions::ReadClick()
{
    view_.SetDisplayText(QString());
    const Outcome o = core_.Read();
    if (ReportedPortFailure(o))
        return;
    link_.CloseLink();
    if (o.failure == Failure::NoReply) {
        Say(NoReply());
        return;
    }
    if (!o.Ok()) {
        Say(CommErrorSaid());
        return;
    }
    // The lists show what the unit holds, so a change of video standard presets nothing here.
    view_.ShowParams(o.values);
    toolkit_.DoEvents();
    if (view_.DisplayText().isEmpty()) {
        view_.SetDisplayText(SentFrameDisplay(o.traffic.back().sent));
        toolkit_.Sleep(10);
    }
    Say(ReadDone());
}

void UnitActions::ToggleClick(qint16 index)
{
    view_.SetDisplayText(QString());
    const Outcome o = core_.Toggle(index != 0);
    if (ReportedPortFailure(o))
        return;
    link_.CloseLink();
    if (o.Ok()) {
        if (view_.DisplayText().isEmpty())
            view_.SetDisplayText(SentFrameDisplay(o.traffic.back().sent));
    } else {
        Say(CommErrorSaid());
    }
    toolkit_.Sleep(10);
}

void UnitActions::NudgePress(NudgePair pair, qint16 index)
{
    const NudgeRule rule = RuleOf(pair);
    NudgeStop = false;
    view_.SetDisplayText(QString());
    while (!NudgeStop) {
        const Outcome o = core_.Step(rule.list, index);
        if (ReportedPortFailure(o))
            return;
        if (!o.Ok()) {
            Say(CommErrorSaid());
            if (rule.pauses)
                toolkit_.Sleep(10);
            // The release made while the box was open never reaches the button: stop here,
            // and the operator presses again to go on.
            return;
        }
        view_.SelectListIndex(rule.list, o.value);
        link_.CloseLink();
        // A release since the press is handled here; this cycle still finishes.
        toolkit_.DoEvents();
        if (view_.DisplayText().isEmpty()) {
            view_.SetDisplayText(SentFrameDisplay(o.traffic.back().sent));
            if (rule.pauses)
                toolkit_.Sleep(10);
        }
    }
}

}  // namespace kv306
