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

void UnitActions::Tell(const QString &text)
{
    if (Told)
        Told(text);
}

void UnitActions::TellFailure(const QString &action, const Outcome &outcome)
{
    const QString why = outcome.failure == Failure::Port      ? PortFailureWords(outcome)
                        : outcome.failure == Failure::NoReply ? NoReply()
                                                              : CommErrorSaid();
    Tell(Tx::tr("%1失败：%2").arg(action, why));
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
    if (ReportedPortFailure(o)) {
        TellFailure(Tx::tr("保存"), o);
        return;
    }
    if (o.Ok()) {
        view_.SetDisplayText(SentFrameDisplay(o.traffic.back().sent));
        if (VerifyAfterSave) {
            VerifySaved(params);
            return;
        }
        Say(Saved());
        Tell(Tx::tr("保存成功"));
    } else {
        Say(CommErrorSaid());
        TellFailure(Tx::tr("保存"), o);
    }
    // The port stays open while the operator reads the outcome.
    link_.CloseLink();
}

void UnitActions::VerifySaved(const Params &written)
{
    link_.CloseLink();
    const Outcome check = core_.Read();
    if (ReportedPortFailure(check)) {
        TellFailure(Tx::tr("校验读出"), check);
        return;
    }
    link_.CloseLink();
    QString text = Saved() + QLatin1Char('\n');
    if (check.failure == Failure::NoReply) {
        text += Tx::tr("校验读出失败：") + NoReply();
        TellFailure(Tx::tr("校验读出"), check);
    } else if (!check.Ok()) {
        text += Tx::tr("校验读出失败：") + CommErrorSaid();
        TellFailure(Tx::tr("校验读出"), check);
    } else if (check.values == written) {
        text += Tx::tr("校验一致：设备保存的六个参数与写入的相同。");
        Tell(Tx::tr("保存成功，校验一致"));
    } else {
        // Not an "OK": what the unit holds is not what was written.
        text = Tx::tr("校验不一致：设备保存的参数与写入的不同。");
        for (int k = 0; k < kParamCount; ++k) {
            const int wrote = written[static_cast<std::size_t>(k)];
            const int holds = check.values[static_cast<std::size_t>(k)];
            if (wrote != holds)
                text +=
                    QLatin1Char('\n') + Tx::tr("%1：写入 %2，设备为 %3")
                                            .arg(ParamCaption(k), ParamShown(k, wrote), ParamShown(k, holds));
        }
        toolkit_.MsgBox(text, kMsgExclamation, QString());
        Tell(Tx::tr("保存后校验不一致"));
        return;
    }
    Say(text);
}

void UnitActions::ReadClick()
{
    view_.SetDisplayText(QString());
    const Outcome o = core_.Read();
    if (ReportedPortFailure(o)) {
        TellFailure(Tx::tr("读出"), o);
        return;
    }
    link_.CloseLink();
    if (o.failure == Failure::NoReply) {
        Say(NoReply());
        TellFailure(Tx::tr("读出"), o);
        return;
    }
    if (!o.Ok()) {
        Say(CommErrorSaid());
        TellFailure(Tx::tr("读出"), o);
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
    Tell(Tx::tr("读出成功"));
}

void UnitActions::ReadQuietly()
{
    const Outcome o = core_.Read();
    if (!o.beforeSending)
        link_.CloseLink();
    if (!o.Ok()) {
        TellFailure(Tx::tr("启动时读出"), o);
        return;
    }
    view_.ShowParams(o.values);
    view_.SetDisplayText(SentFrameDisplay(o.traffic.back().sent));
    Tell(Tx::tr("启动时读出成功"));
}

void UnitActions::ToggleClick(qint16 index)
{
    view_.SetDisplayText(QString());
    const Outcome o = core_.Toggle(index != 0);
    const QString action = index != 0 ? Tx::tr("十字线开关") : Tx::tr("叠加开关");
    if (ReportedPortFailure(o)) {
        TellFailure(action, o);
        return;
    }
    link_.CloseLink();
    if (o.Ok()) {
        if (view_.DisplayText().isEmpty())
            view_.SetDisplayText(SentFrameDisplay(o.traffic.back().sent));
        // The echo's value has no documented meaning: no on or off is claimed.
        Tell(Tx::tr("%1：设备已应答").arg(action));
    } else {
        Say(CommErrorSaid());
        TellFailure(action, o);
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
        if (ReportedPortFailure(o)) {
            TellFailure(ParamCaption(rule.list), o);
            return;
        }
        if (!o.Ok()) {
            Say(CommErrorSaid());
            TellFailure(ParamCaption(rule.list), o);
            if (rule.pauses)
                toolkit_.Sleep(10);
            // The release made while the box was open never reaches the button: stop here,
            // and the operator presses again to go on.
            return;
        }
        view_.SelectListIndex(rule.list, o.value);
        Tell(QStringLiteral("%1 = %2").arg(ParamCaption(rule.list), ParamShown(rule.list, o.value)));
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
