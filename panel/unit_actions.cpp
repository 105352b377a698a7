#include "panel/unit_actions.h"

#include "link/comm_error.h"
#include "link/port_access.h"
#include "link/texts.h"
#include "protocol/outcome_text.h"

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

// The parameter each pair of buttons steps; the circle-size pair rests 10 ms after its display
// and after an error.
struct NudgeRule {
    ParamId param;
    bool pauses;
};

NudgeRule RuleOf(NudgePair pair)
{
    switch (pair) {
    case NudgePair::Horizontal: return {ParamId::Horizontal, false};
    case NudgePair::Vertical: return {ParamId::Vertical, false};
    case NudgePair::CircleSize: break;
    }
    return {ParamId::Size, true};
}

}  // namespace

QString PortAdvice(int errorNumber, const SerialControl &comm)
{
    const QString label = comm.PortLabel();
    const QString device = comm.DevicePath();
    const QString port = device.isEmpty() || device == label ? label : Tx::tr("%1（%2）").arg(label, device);
    switch (errorNumber) {
    case ErrorNo::NoSuchPort:
        return Tx::tr("%1 不存在：请检查 USB 转串口转接器是否插好，或在“选择串口”中换一个串口。").arg(port);
    case ErrorNo::PortInUse: {
        const QString holder = PortHolder(device);
        return holder.isEmpty() ? Tx::tr("%1 正被其他程序占用：请关闭那个程序，或换一个串口。").arg(port)
                                : Tx::tr("%1 正被 %2 占用：请关闭它，或换一个串口。").arg(port, holder);
    }
    case ErrorNo::DeviceBusy:
    case ErrorNo::ReadFailed:
        return Tx::tr("与 %1 的连接断了：转接器可能被拔出了。插好后再试一次。").arg(port);
    case ErrorNo::BadCommState:
        return Tx::tr("%1 不接受 9600 波特、无校验、8 位数据、1 位停止位的设置。").arg(port);
    default: return {};
    }
}

void UnitActions::BeginBusy(const QString &what)
{
    busy_ = true;
    if (Busy)
        Busy(what);
}

void UnitActions::EndBusy()
{
    if (!busy_)
        return;
    busy_ = false;
    if (Busy)
        Busy(QString());
}

void UnitActions::Say(const QString &text)
{
    boxes_.push_back({text, kMsgOkOnly, QString()});
}

void UnitActions::Warn(const QString &text)
{
    boxes_.push_back({text, kMsgExclamation, QString()});
}

void UnitActions::Tell(const QString &text, const Outcome &outcome)
{
    EndBusy();
    if (Told)
        Told(text, outcome.at.isValid() ? outcome.at : QDateTime::currentDateTime());
    const std::vector<Box> boxes = std::move(boxes_);
    boxes_.clear();
    for (const Box &box : boxes)
        toolkit_.MsgBox(box.text, box.code, box.title);
}

QString UnitActions::Failed(const QString &said, const Outcome &outcome)
{
    const QString came = ArrivalWords(outcome);
    return came.isEmpty() ? said : said + QLatin1Char('\n') + came + Tx::tr("。");
}

void UnitActions::TellFailure(const QString &action, const Outcome &outcome)
{
    QString why = outcome.failure == Failure::Port      ? PortFailureWords(outcome)
                  : outcome.failure == Failure::NoReply ? NoReply()
                                                        : CommErrorSaid();
    const QString came = ArrivalWords(outcome);
    if (!came.isEmpty())
        why += Tx::tr("（%1）").arg(came);
    Tell(outcome.acknowledged ? Tx::tr("已写入，校验失败：%1").arg(why)
                              : Tx::tr("%1失败：%2").arg(action, why),
         outcome);
}

bool UnitActions::ReportedPortFailure(const Outcome &outcome, const QString &heading)
{
    if (outcome.failure != Failure::Port)
        return false;
    // The serial control's own text first, then what it means for this port.
    QString text = outcome.errorText;
    const QString advice = PortAdvice(outcome.errorNumber, comm_);
    if (!advice.isEmpty())
        text += QLatin1Char('\n') + advice;
    if (!heading.isEmpty())
        text = heading + QLatin1Char('\n') + text;
    boxes_.push_back({text, kMsgCritical, Tx::tr("错误")});
    if (!outcome.beforeSending)
        link_.CloseLink();
    return true;
}

void UnitActions::SaveClick()
{
    const Params params = view_.Lists();
    BeginBusy(Tx::tr("保存中…"));
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
        Tell(Tx::tr("保存成功"), o);
    } else {
        Say(Failed(CommErrorSaid(), o));
        TellFailure(Tx::tr("保存"), o);
    }
    // The port stays open while the operator reads the outcome.
    link_.CloseLink();
}

void UnitActions::VerifySaved(const Params &written)
{
    link_.CloseLink();
    Outcome check = core_.Read();
    // The unit acknowledged the write: whatever the check then says, the values were sent.
    check.acknowledged = true;
    if (ReportedPortFailure(check, Tx::tr("已写入，校验失败："))) {
        TellFailure(Tx::tr("校验读出"), check);
        return;
    }
    link_.CloseLink();
    if (!check.Ok()) {
        Warn(Tx::tr("已写入，校验失败：") +
             Failed(check.failure == Failure::NoReply ? NoReply() : CommErrorSaid(), check));
        TellFailure(Tx::tr("校验读出"), check);
    } else if (check.values == written) {
        Say(Saved() + QLatin1Char('\n') + Tx::tr("校验一致：设备保存的六个参数与写入的相同。"));
        Tell(Tx::tr("保存成功，校验一致"), check);
    } else {
        // Not an "OK": what the unit holds is not what was written.
        const QStringList differ = WrittenAndHeld(written, check.values);
        Warn(Tx::tr("校验不一致：设备保存的参数与写入的不同。") + QLatin1Char('\n') +
             differ.join(QLatin1Char('\n')));
        Tell(Tx::tr("保存后校验不一致"), check);
    }
}

void UnitActions::ReadClick()
{
    view_.SetDisplayText(QString());
    BeginBusy(Tx::tr("读出中…"));
    const Outcome o = core_.Read();
    if (ReportedPortFailure(o)) {
        TellFailure(Tx::tr("读出"), o);
        return;
    }
    link_.CloseLink();
    if (o.failure == Failure::NoReply) {
        Say(Failed(NoReply(), o));
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
    Tell(Tx::tr("读出成功"), o);
}

void UnitActions::ReadQuietly()
{
    BeginBusy(Tx::tr("启动时读出中…"));
    const Outcome o = core_.Read();
    if (!o.beforeSending)
        link_.CloseLink();
    if (!o.Ok()) {
        TellFailure(Tx::tr("启动时读出"), o);
        return;
    }
    view_.ShowParams(o.values);
    view_.SetDisplayText(SentFrameDisplay(o.traffic.back().sent));
    Tell(Tx::tr("启动时读出成功"), o);
}

void UnitActions::ToggleClick(qint16 index)
{
    view_.SetDisplayText(QString());
    const QString action = index != 0 ? Tx::tr("十字线开关") : Tx::tr("叠加开关");
    BeginBusy(Tx::tr("%1…").arg(action));
    const Outcome o = core_.Toggle(index != 0 ? ToggleTarget::Crosshair : ToggleTarget::Overlay);
    if (ReportedPortFailure(o)) {
        TellFailure(action, o);
        return;
    }
    link_.CloseLink();
    if (o.Ok()) {
        if (view_.DisplayText().isEmpty())
            view_.SetDisplayText(SentFrameDisplay(o.traffic.back().sent));
        // The echo's value has no documented meaning: no on or off is claimed.
        QString said = Tx::tr("%1：设备已应答").arg(action);
        if (!o.doubt.isEmpty())
            said += Tx::tr("（可疑：%1）").arg(o.doubt);
        Tell(said, o);
    } else {
        Say(Failed(CommErrorSaid(), o));
        TellFailure(action, o);
    }
    toolkit_.Sleep(10);
}

void UnitActions::NudgePress(NudgePair pair, qint16 index)
{
    const NudgeRule rule = RuleOf(pair);
    const int list = IndexOf(rule.param);
    // Each pair's button 0 raises the value, 1 lowers it.
    const StepWay way = index == 0 ? StepWay::Up : StepWay::Down;
    NudgeStop = false;
    view_.SetDisplayText(QString());
    // No busy sign while a button is held: the list and the status line follow every step.
    while (!NudgeStop) {
        const Outcome o = core_.Step(rule.param, way, view_.ListIndex(list));
        if (ReportedPortFailure(o)) {
            TellFailure(ParamCaption(list), o);
            return;
        }
        if (!o.Ok()) {
            Say(Failed(CommErrorSaid(), o));
            TellFailure(ParamCaption(list), o);
            if (rule.pauses)
                toolkit_.Sleep(10);
            // The release made while the box was open never reaches the button: stop here,
            // and the operator presses again to go on.
            return;
        }
        view_.SelectListIndex(list, o.value);
        QString said = QStringLiteral("%1 = %2").arg(ParamCaption(list), ParamShown(list, o.value));
        if (o.unmoved)
            said += Tx::tr("（数值没有变：设备可能没有执行这一步）");
        if (!o.doubt.isEmpty())
            said += Tx::tr("（可疑：%1）").arg(o.doubt);
        Tell(said, o);
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
