#include "link/serial_link.h"

#include "link/comm_error.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace kv306 {

QString HexPairs(const Bytes &bytes, qsizetype count, const char *separator)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const qsizetype sep = static_cast<qsizetype>(std::char_traits<char>::length(separator));
    QString text;
    text.reserve(count * (2 + sep));
    for (qsizetype i = 0; i < count; ++i) {
        const std::uint8_t b = bytes[static_cast<std::size_t>(i)];
        text += QLatin1String(separator);
        text += QLatin1Char(kDigits[b >> 4]);
        text += QLatin1Char(kDigits[b & 0x0F]);
    }
    return text;
}

QString HexWords(const Bytes &bytes)
{
    return HexPairs(bytes, static_cast<qsizetype>(bytes.size()), " ").mid(1);
}

std::optional<CommError> SerialLink::OpenLink()
{
    try {
        if (comm_.PortOpen())
            return std::nullopt;
        comm_.SetPortOpen(true);
        pacer_.Sleep(5);
    } catch (const CommError &error) {
        return error;
    }
    return std::nullopt;
}

void SerialLink::CloseLink()
{
    try {
        pacer_.Sleep(100);
        comm_.SetPortOpen(false);
        pacer_.Sleep(5);
    } catch (const CommError &) {
        // Closing is best effort: a port that will not close is no news to the operator.
    }
}

namespace {

// Keeps the first bytes that came, up to the limit.
void Heard(Reply &reply, const Bytes &bytes)
{
    const std::size_t room = SerialLink::kHeardLimit - std::min(SerialLink::kHeardLimit, reply.heard.size());
    reply.heard.insert(reply.heard.end(), bytes.begin(), bytes.begin() + std::min(room, bytes.size()));
}

}  // namespace

Reply SerialLink::Receive(qint16 count, qint32 timeoutMs)
{
    Reply reply;
    qint64 dropped = 0;    // bytes read off the line and thrown away during this wait
    bool tooMany = false;  // more than `count` came: this wait can no longer succeed
    qint64 start = pacer_.Clock();
    waitStarted_ = start;
    waitLimit_ = std::max<qint64>(kWholeWaitMs, timeoutMs);
    const auto timedOut = [this, &reply] {
        // What came of a reply that never was whole is kept to be shown, then discarded.
        Heard(reply, comm_.Input());
        comm_.SetRThreshold(0);
        comm_.SetInBufferCount(0);
        return reply;
    };

    // Arriving bytes restart the silence limit; the longest gap between two is kept.
    const auto note = [&](qint64 waiting, qint64 now) {
        if (dropped + waiting <= reply.seen)
            return;
        if (reply.seen > 0)
            reply.longestGapMs = std::max(reply.longestGapMs, now - start);
        reply.seen = dropped + waiting;
        start = now;
    };
    for (;;) {
        qint64 waiting = comm_.InBufferCount();
        note(waiting, pacer_.Clock());
        if (!tooMany && waiting == count) {
            // Whole, unless a further byte follows at once.
            comm_.WaitForInput(kSettleMs);
            waiting = comm_.InBufferCount();
            if (waiting == count)
                break;
        }
        if (waiting > count) {
            tooMany = true;
            // Never hold a flood: what can no longer be a reply is counted and let go.
            const Bytes flood = comm_.Input();
            Heard(reply, flood);
            dropped += static_cast<qint64>(flood.size());
            waiting = 0;
        }
        const qint64 now = pacer_.Clock();
        note(waiting, now);
        const qint64 silent = std::llabs(now - start);
        const qint64 whole = now - waitStarted_;
        if (silent > timeoutMs || whole > waitLimit_)
            return timedOut();
        // Sleep on the port until a byte comes or the limit (plus the strict 1 ms) runs out.
        const qint64 left = std::min<qint64>(timeoutMs - silent, waitLimit_ - whole) + 1;
        comm_.WaitForInput(static_cast<int>(std::max<qint64>(left, 1)));
    }

    reply.bytes = comm_.Input();
    reply.whole = true;
    reply.seen = static_cast<qint64>(reply.bytes.size());
    reply.ms = pacer_.Clock() - waitStarted_;
    Heard(reply, reply.bytes);
    comm_.SetRThreshold(0);
    comm_.SetInBufferCount(0);
    return reply;
}

QString SerialLink::ReadReplyHex(qint16 count, qint32 timeoutMs)
{
    const auto wanted = static_cast<std::size_t>(std::max<qint16>(count, 0));
    ReplyBuffer.assign(wanted, 0);
    const Reply reply = Receive(count, timeoutMs);
    if (!reply.whole)
        return {};
    ReplyBuffer = reply.bytes;
    if (ReplyBuffer.size() < wanted)
        ReplyBuffer.resize(wanted, 0);
    return HexPairs(ReplyBuffer, count, "");
}

qint64 SerialLink::DiscardLateReply()
{
    const qint64 begun = pacer_.Clock();
    const qint64 until = std::min(begun + kLateReplyMs, waitStarted_ + waitLimit_);
    qint64 dropped = 0;
    qint64 lastByte = -1;
    for (;;) {
        const qint64 now = pacer_.Clock();
        if (now >= until || (lastByte >= 0 && now - lastByte >= kQuietMs))
            break;
        const qint64 left = lastByte >= 0 ? std::min(until, lastByte + kQuietMs) - now : until - now;
        if (comm_.WaitForInput(static_cast<int>(std::max<qint64>(left, 1)))) {
            const auto n = static_cast<qint64>(comm_.Input().size());
            if (n > 0) {
                dropped += n;
                lastByte = pacer_.Clock();
            }
        }
    }
    comm_.SetInBufferCount(0);
    return dropped;
}

}  // namespace kv306
