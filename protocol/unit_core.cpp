#include "protocol/unit_core.h"

#include "link/comm_error.h"
#include "link/texts.h"
#include "protocol/traffic_log.h"

namespace kv306 {

namespace {

// The reply's bytes the wait counted; anything that slipped in after them is not the reply.
Bytes Received(const Outcome &o, qint16 count)
{
    const Bytes &bytes = o.traffic.back().received;
    return Bytes(bytes.begin(),
                 bytes.begin() + std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(count)));
}

// "22 20 25 0 3 -1"
QString FormatValues(const Params &params)
{
    QStringList values;
    for (int v : params)
        values << QString::number(v);
    return values.join(QLatin1Char(' '));
}

}  // namespace

void PortFailure(Outcome &o, const CommError &error, bool beforeSending)
{
    o.failure = Failure::Port;
    o.errorNumber = error.number();
    o.errorText = CommErrorText(error);
    o.reason = QString::fromStdString(error.what());
    o.beforeSending = beforeSending;
}

Outcome UnitCore::Exchange(const Bytes &frame, qint16 count)
{
    Outcome o;
    if (const std::optional<CommError> error = link_.OpenLink()) {
        PortFailure(o, *error, true);
        return o;
    }
    Traffic t;
    t.sent = frame;
    t.expected = count;
    try {
        // Whatever waits now (a byte the unit sent unasked, an answer to an earlier request
        // that came too late) is not the answer to this request.
        comm_.SetInBufferCount(0);
        comm_.Output(frame);
        const qint64 sent = pacer_.Clock();
        Reply reply = link_.Receive(count, kReplyTimeoutMs);
        t.seen = reply.seen;
        t.heard = std::move(reply.heard);
        t.longestGapMs = reply.longestGapMs;
        if (reply.whole) {
            t.received = std::move(reply.bytes);
            t.ms = pacer_.Clock() - sent;
        } else {
            o.failure = Failure::NoReply;
            // The protocol numbers no request: a unit that answers late must not answer the next.
            link_.DiscardLateReply();
        }
    } catch (const CommError &error) {
        PortFailure(o, error, false);
    }
    o.traffic.push_back(std::move(t));
    return o;
}

Outcome UnitCore::Logged(Outcome outcome)
{
    outcome.at = QDateTime::currentDateTime();
    if (log_)
        log_->Record(comm_.PortLabel(), outcome);
    return outcome;
}

Outcome UnitCore::Write(const Params &params)
{
    const std::optional<Bytes> frame = ParameterFrame(params);
    if (!frame) {
        Outcome o;
        PortFailure(o,
                    CommError(ErrorNo::Overflow,
                              QStringLiteral("a value does not fit a frame byte: ") + FormatValues(params)),
                    true);
        return o;  // nothing was exchanged
    }
    Outcome o = Exchange(*frame, kAckLength);
    if (o.Ok() && !IsAcknowledgement(Received(o, kAckLength)))
        o.failure = Failure::BadAck;
    o.acknowledged = o.Ok();
    o.written = params;
    return Logged(std::move(o));
}

Outcome UnitCore::Read()
{
    Outcome o = Exchange(CommandFrame(Op::ReadParams, 0x00), kParamReplyLength);
    if (!o.Ok())
        return Logged(std::move(o));
    const Bytes reply = Received(o, kParamReplyLength);
    if (!IsParameterReply(reply))
        o.failure = Failure::BadCheck;
    else if (!ParamsInRange(reply))
        o.failure = Failure::OutOfRange;  // refused whole: never a half-applied read
    else
        for (int j = 0; j < kParamCount; ++j)
            o.values[static_cast<std::size_t>(j)] = reply[static_cast<std::size_t>(j)];
    return Logged(std::move(o));
}

Outcome UnitCore::Toggle(ToggleTarget target)
{
    Outcome o = Exchange(
        CommandFrame(target == ToggleTarget::Crosshair ? Op::ToggleCrosshair : Op::ToggleOverlay, 0x02),
        kEchoLength);
    if (!o.Ok())
        return Logged(std::move(o));
    // The unit acknowledges a toggle with two equal bytes; their value means nothing documented.
    const Bytes echo = Received(o, kEchoLength);
    if (!IsEchoReply(echo))
        o.failure = Failure::BadEcho;
    else
        o.value = echo[0];
    DoubtSpreadEcho(o);
    return Logged(std::move(o));
}

Outcome UnitCore::Step(ParamId param, StepWay way, std::optional<int> before)
{
    static constexpr std::array<Op, 3> kOps{Op::StepHorizontal, Op::StepVertical, Op::StepCircleSize};
    // On the wire goes the index of the window's button that steps so: 0 raises the value and 1
    // lowers it, for each of the three pairs.
    const std::uint8_t argument = way == StepWay::Up ? 0 : 1;
    Outcome o = Exchange(CommandFrame(kOps[static_cast<std::size_t>(IndexOf(param))], argument), kEchoLength);
    if (!o.Ok())
        return Logged(std::move(o));
    // The unit answers a step with its new value twice.
    const Bytes echo = Received(o, kEchoLength);
    if (!IsEchoReply(echo))
        o.failure = Failure::BadEcho;
    else if (!InRange(IndexOf(param), echo[0]))
        o.failure = Failure::OutOfRange;
    else
        o.value = echo[0];
    o.unmoved = o.Ok() && before && o.value == *before && *before != StepLimit(param, way);
    DoubtSpreadEcho(o);
    return Logged(std::move(o));
}

void UnitCore::DoubtSpreadEcho(Outcome &o)
{
    const qint64 gap = o.traffic.empty() ? 0 : o.traffic.back().longestGapMs;
    if (o.Ok() && gap > kEchoGapDoubtMs)
        o.doubt = Tx::tr("两个应答字节相隔 %1 ms，可能是线路噪声而不是设备").arg(gap);
}

Outcome UnitCore::WriteAndVerify(const Params &params, const std::function<bool()> &goOn)
{
    Outcome o = Write(params);
    if (!o.Ok())
        return o;
    link_.CloseLink();
    if (goOn && !goOn()) {
        o.unverified = true;
        return o;
    }
    Outcome check = Read();
    check.traffic.insert(check.traffic.begin(), o.traffic.begin(), o.traffic.end());
    check.written = params;
    check.acknowledged = true;
    if (check.Ok() && check.values != params)
        check.failure = Failure::Mismatch;
    return check;
}

}  // namespace kv306
