#include "protocol/traffic_log.h"

#include <QTime>

namespace kv306 {

namespace {

QString Hex(const Bytes &bytes)
{
    return HexPairs(bytes, static_cast<qsizetype>(bytes.size()), " ").mid(1);
}

}  // namespace

QString ParamsInWords(const Params &p)
{
    static const char *const kStandards[] = {"PAL", "NTSC"};
    static const char *const kOutside[] = {"保留", "去除"};
    return QStringLiteral("%1 %2 %3 %4 %5 %6")
        .arg(p[0])
        .arg(p[1])
        .arg(p[2])
        .arg(p[3] == 0 || p[3] == 1 ? QString::fromLatin1(kStandards[p[3]]) : QString::number(p[3]))
        .arg(p[4])
        .arg(p[5] == 0 || p[5] == 1 ? QString::fromUtf8(kOutside[p[5]]) : QString::number(p[5]));
}

QString FrameMeaning(const Bytes &frame)
{
    if (frame.size() == 12 && frame[1] == 0xEE) {
        Params p{};
        for (std::size_t k = 0; k < kParamCount; ++k)
            p[k] = frame[5 + k];
        return QStringLiteral("保存参数 ") + ParamsInWords(p);
    }
    if (frame.size() != 7)
        return {};
    const int arg = frame[3];
    // The arrows as the window draws them, by the pressed button's index.
    switch (static_cast<Op>(frame[2])) {
    case Op::StepHorizontal:
        return QStringLiteral("水平偏移 ") + (arg == 0 ? QStringLiteral(">") : QStringLiteral("<"));
    case Op::StepVertical:
        return QStringLiteral("垂直偏移 ") + (arg == 0 ? QStringLiteral("∨") : QStringLiteral("∧"));
    case Op::StepCircleSize:
        return QStringLiteral("圆大小 ") + (arg == 0 ? QStringLiteral("∧") : QStringLiteral("∨"));
    case Op::ReadParams: return QStringLiteral("读出参数");
    case Op::ToggleOverlay: return QStringLiteral("叠加开关");
    case Op::ToggleCrosshair: return QStringLiteral("十字线开关");
    }
    return {};
}

QString ReplyMeaning(const Traffic &t, const Outcome &o)
{
    const bool last = o.traffic.empty() || &t == &o.traffic.back();
    if (o.failure == Failure::Port && last)
        return QStringLiteral("错误 %1 %2").arg(o.errorNumber).arg(QString(o.errorText).replace('\n', ' '));
    if (t.received.empty())
        return QStringLiteral("无应答");
    const Failure failure = last ? o.failure : Failure::None;
    switch (failure) {
    case Failure::BadCheck: return QStringLiteral("校验错误");
    case Failure::BadEcho: return QStringLiteral("回显不等");
    case Failure::OutOfRange: return QStringLiteral("数值超出范围");
    case Failure::BadAck: return QStringLiteral("应答错误");
    default: break;
    }
    if (t.expected == kAckLength)
        return QStringLiteral("应答 ") + Hex(t.received);
    if (t.expected == kEchoLength)
        return QStringLiteral("回显 ") + Hex(t.received);
    Params p{};
    for (std::size_t k = 0; k < kParamCount && k < t.received.size(); ++k)
        p[k] = t.received[k];
    return QStringLiteral("六个参数 ") + ParamsInWords(p);
}

void TrafficLog::Record(const QString &port, const Outcome &outcome)
{
    const QString time = QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz"));
    std::vector<LogEntry> added;
    if (outcome.traffic.empty()) {
        // Refused before anything was sent: the port did not open.
        added.push_back({time, port, {}, {}, {}, ReplyMeaning(Traffic{}, outcome), -1});
    }
    for (const Traffic &t : outcome.traffic)
        added.push_back(
            {time, port, Hex(t.sent), FrameMeaning(t.sent), Hex(t.received), ReplyMeaning(t, outcome), t.ms});
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
    QByteArray out = QStringLiteral("时间\t端口\t发送\t含义\t应答\t含义\t用时(ms)\n").toUtf8();
    for (const LogEntry &e : Entries()) {
        out += QStringList{e.time,
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
