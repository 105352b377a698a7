#include "protocol/traffic_log.h"

#include "link/texts.h"

#include <QTime>

namespace kv306 {

namespace {

}  // namespace

QStringList LogHeaders()
{
    return {Tx::tr("时间"), Tx::tr("端口"), Tx::tr("发送"),    Tx::tr("含义"),
            Tx::tr("应答"), Tx::tr("含义"), Tx::tr("用时(ms)")};
}

QString ParamsInWords(const Params &p)
{
    static const char *const kStandards[] = {"PAL", "NTSC"};
    static const char *const kOutside[] = {QT_TRANSLATE_NOOP("Tx", "保留"), QT_TRANSLATE_NOOP("Tx", "去除")};
    return QStringLiteral("%1 %2 %3 %4 %5 %6")
        .arg(p[0])
        .arg(p[1])
        .arg(p[2])
        .arg(p[3] == 0 || p[3] == 1 ? QString::fromLatin1(kStandards[p[3]]) : QString::number(p[3]))
        .arg(p[4])
        .arg(p[5] == 0 || p[5] == 1 ? Tx::tr(kOutside[p[5]]) : QString::number(p[5]));
}

QString FrameMeaning(const Bytes &frame)
{
    if (frame.size() == 12 && frame[1] == 0xEE) {
        Params p{};
        for (std::size_t k = 0; k < kParamCount; ++k)
            p[k] = frame[5 + k];
        return Tx::tr("保存参数") + QLatin1Char(' ') + ParamsInWords(p);
    }
    if (frame.size() != 7)
        return {};
    const int arg = frame[3];
    // The arrows as the window draws them, by the pressed button's index.
    switch (static_cast<Op>(frame[2])) {
    case Op::StepHorizontal:
        return Tx::tr("水平偏移") + QLatin1Char(' ') + (arg == 0 ? QStringLiteral(">") : QStringLiteral("<"));
    case Op::StepVertical:
        return Tx::tr("垂直偏移") + QLatin1Char(' ') + (arg == 0 ? QStringLiteral("∨") : QStringLiteral("∧"));
    case Op::StepCircleSize:
        return Tx::tr("圆大小") + QLatin1Char(' ') + (arg == 0 ? QStringLiteral("∧") : QStringLiteral("∨"));
    case Op::ReadParams: return Tx::tr("读出参数");
    case Op::ToggleOverlay: return Tx::tr("叠加开关");
    case Op::ToggleCrosshair: return Tx::tr("十字线开关");
    }
    return {};
}

QString ReplyMeaning(const Traffic &t, const Outcome &o)
{
    const bool last = o.traffic.empty() || &t == &o.traffic.back();
    if (o.failure == Failure::Port && last)
        return Tx::tr("错误 %1 %2").arg(o.errorNumber).arg(QString(o.errorText).replace('\n', ' '));
    if (t.received.empty())
        return Tx::tr("无应答");
    const Failure failure = last ? o.failure : Failure::None;
    switch (failure) {
    case Failure::BadCheck: return Tx::tr("校验错误");
    case Failure::BadEcho: return Tx::tr("回显不等");
    case Failure::OutOfRange: return Tx::tr("数值超出范围");
    case Failure::BadAck: return Tx::tr("应答错误");
    default: break;
    }
    if (t.expected == kAckLength)
        return Tx::tr("应答") + QLatin1Char(' ') + HexWords(t.received);
    if (t.expected == kEchoLength)
        return Tx::tr("回显") + QLatin1Char(' ') + HexWords(t.received);
    Params p{};
    for (std::size_t k = 0; k < kParamCount && k < t.received.size(); ++k)
        p[k] = t.received[k];
    return Tx::tr("六个参数") + QLatin1Char(' ') + ParamsInWords(p);
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
        added.push_back({time, port, HexWords(t.sent), FrameMeaning(t.sent), HexWords(t.received),
                         ReplyMeaning(t, outcome), t.ms});
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
