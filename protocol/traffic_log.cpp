#include "protocol/traffic_log.h"

#include "link/texts.h"

#include <QDateTime>

namespace kv306 {

QStringList LogHeaders()
{
    return {Tx::tr("时间"), Tx::tr("端口"), Tx::tr("发送"),    Tx::tr("含义"),
            Tx::tr("应答"), Tx::tr("含义"), Tx::tr("用时(ms)")};
}

QString FrameMeaning(const Bytes &frame)
{
    if (frame.size() == kParameterFrameLength && frame[1] == kParameterMark) {
        Params p{};
        for (std::size_t k = 0; k < kParamCount; ++k)
            p[k] = frame[kFirstParamByte + k];
        return Tx::tr("保存参数") + QLatin1Char(' ') + ParamsInWords(p);
    }
    if (frame.size() != kCommandFrameLength || frame[1] != kCommandMark)
        return {};
    const int arg = frame[kArgByte];
    // The arrows as the window draws them, by the pressed button's index.
    const auto step = [arg](int k, const char *up, const char *down) {
        return ParamCaption(k) + QLatin1Char(' ') + QString::fromUtf8(arg == 0 ? up : down);
    };
    switch (static_cast<Op>(frame[kOpByte])) {
    case Op::StepHorizontal: return step(0, ">", "<");
    case Op::StepVertical: return step(1, "∨", "∧");
    case Op::StepCircleSize: return step(2, "∧", "∨");
    case Op::ReadParams: return Tx::tr("读出参数");
    case Op::ToggleOverlay: return Tx::tr("叠加开关");
    case Op::ToggleCrosshair: return Tx::tr("十字线开关");
    }
    return {};
}

QString ReplyColumn(const Traffic &t)
{
    if (!t.received.empty())
        return HexWords(t.received);
    QString shown = HexWords(t.heard);
    if (t.seen > static_cast<qint64>(t.heard.size()))
        shown += Tx::tr(" …（共 %1 个字节）").arg(t.seen);
    return shown;
}

QString ReplyMeaning(const Traffic &t, const Outcome &o)
{
    const bool last = o.traffic.empty() || &t == &o.traffic.back();
    if (o.failure == Failure::Port && last)
        return PortFailureWords(o);
    if (t.received.empty())
        return t.seen > 0 ? ArrivalWords(t) : Tx::tr("无应答");
    const Failure failure = last ? o.failure : Failure::None;
    switch (failure) {
    case Failure::BadCheck: return Tx::tr("校验错误");
    case Failure::BadEcho: return Tx::tr("回显不等");
    case Failure::OutOfRange: return Tx::tr("数值超出范围");
    case Failure::BadAck: return Tx::tr("应答错误");
    default: break;
    }
    if (t.expected == kAckLength)
        return Tx::tr("已保存");
    if (t.expected == kEchoLength) {
        const bool command = t.sent.size() == kCommandFrameLength && t.sent[1] == kCommandMark;
        const int step = command ? t.sent[kOpByte] - static_cast<int>(Op::StepHorizontal) : -1;
        // A step's echo is the new value; a toggle's has no documented meaning.
        if (step >= 0 && step < 3)
            return QStringLiteral("%1 = %2").arg(ParamCaption(step), ParamShown(step, t.received[0]));
        return Tx::tr("已应答") + QLatin1Char(' ') + HexWords(t.received);
    }
    Params p{};
    for (std::size_t k = 0; k < kParamCount && k < t.received.size(); ++k)
        p[k] = t.received[k];
    return Tx::tr("六个参数") + QLatin1Char(' ') + ParamsInWords(p);
}

void TrafficLog::Record(const QString &port, const Outcome &outcome)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QString time = now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    std::vector<LogEntry> added;
    if (outcome.traffic.empty()) {
        // Refused before anything was sent: the port did not open.
        added.push_back({time, port, {}, {}, {}, ReplyMeaning(Traffic{}, outcome), -1, now});
    }
    for (const Traffic &t : outcome.traffic) {
        QString meaning = ReplyMeaning(t, outcome);
        if (&t == &outcome.traffic.back() && !outcome.doubt.isEmpty())
            meaning += Tx::tr("（可疑：%1）").arg(outcome.doubt);
        added.push_back(
            {time, port, HexWords(t.sent), FrameMeaning(t.sent), ReplyColumn(t), meaning, t.ms, now});
    }
    {
        std::lock_guard lock(mutex_);
        for (LogEntry &e : added) {
            ++total_;
            entries_.push_back(std::move(e));
            if (entries_.size() > kCapacity)
                entries_.pop_front();
        }
    }
    if (onRecord_)
        onRecord_();
}

std::vector<LogEntry> TrafficLog::Entries() const
{
    std::lock_guard lock(mutex_);
    return {entries_.begin(), entries_.end()};
}

TrafficLog::Tail TrafficLog::Since(std::uint64_t seen) const
{
    std::lock_guard lock(mutex_);
    const std::uint64_t fresh = std::min<std::uint64_t>(total_ - std::min(seen, total_), entries_.size());
    return {total_, clearings_, {entries_.end() - static_cast<std::ptrdiff_t>(fresh), entries_.end()}};
}

std::size_t TrafficLog::Size() const
{
    std::lock_guard lock(mutex_);
    return entries_.size();
}

void TrafficLog::Clear()
{
    {
        std::lock_guard lock(mutex_);
        entries_.clear();
        total_ = 0;
        ++clearings_;
    }
    if (onRecord_)
        onRecord_();
}

QByteArray TrafficLog::Tsv() const
{
    QByteArray out = (LogHeaders().join(QLatin1Char('\t')) + QLatin1Char('\n')).toUtf8();
    for (const LogEntry &e : Entries()) {
        out += QStringList{e.when.toString(Qt::ISODateWithMs),
                           e.port,
                           e.sent,
                           e.sentMeaning,
                           e.reply,
                           e.replyMeaning,
                           e.ms < 0 ? QString() : QString::number(e.ms)}
                   .join(QLatin1Char('\t'))
                   .toUtf8();
        out += '\n';
    }
    return out;
}

}  // namespace kv306
