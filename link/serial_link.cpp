#include "link/serial_link.h"

#include "link/comm_error.h"
#include "link/texts.h"

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

void SerialLink::OpenLink()
{
    if (const std::optional<CommError> error = OpenLinkQuietly())
        ReportCommError(*error);
}

std::optional<CommError> SerialLink::OpenLinkQuietly()
{
    try {
        if (comm_.PortOpen())
            return std::nullopt;
        comm_.SetPortOpen(true);
        toolkit_.Sleep(5);
    } catch (const CommError &error) {
        return error;
    }
    return std::nullopt;
}

void SerialLink::CloseLink()
{
    try {
        toolkit_.Sleep(100);
        comm_.SetPortOpen(false);
        toolkit_.Sleep(5);
    } catch (const CommError &) {
        // Closing is best effort: a port that will not close is no news to the operator.
    }
}

QString SerialLink::ReadReplyHex(qint16 count, const qint32 &timeoutMs)
{
    ReplyBuffer.assign(static_cast<std::size_t>(std::max<qint16>(count, 0)), 0);
    qint32 progress = 0;
    qint64 start = toolkit_.Clock();
    const qint64 firstStart = start;
    const qint64 wholeLimit = std::max(kWholeWaitMs, timeoutMs);

    for (;;) {
        if (comm_.InBufferCount() == count)
            break;
        const qint64 now = toolkit_.Clock();
        if (comm_.InBufferCount() > progress) {
            // Each arriving byte restarts the silence limit.
            ++progress;
            start = now;
            continue;
        }
        const qint64 silent = std::llabs(now - start);
        if (silent > timeoutMs || now - firstStart > wholeLimit) {
            comm_.SetRThreshold(0);
            comm_.SetInBufferCount(0);
            return {};
        }
        // Sleep on the port until a byte comes or the limit (plus the strict 1 ms) runs out.
        const qint64 left = std::min<qint64>(timeoutMs - silent, wholeLimit - (now - firstStart)) + 1;
        comm_.WaitForInput(static_cast<int>(std::max<qint64>(left, 1)));
    }

    ReplyBuffer = comm_.Input();
    if (ReplyBuffer.size() < static_cast<std::size_t>(count))
        ReplyBuffer.resize(static_cast<std::size_t>(count), 0);
    const QString text = HexPairs(ReplyBuffer, count, "");
    comm_.SetRThreshold(0);
    comm_.SetInBufferCount(0);
    return text;
}

void SerialLink::ReportCommError(int number)
{
    if (number == 0)
        return;
    toolkit_.MsgBox(CommErrorText(number), kMsgCritical, Tx::tr("错误"));
}

void SerialLink::ReportCommError(const CommError &error)
{
    if (error.number() == 0)
        return;
    toolkit_.MsgBox(CommErrorText(error), kMsgCritical, Tx::tr("错误"));
}

}  // namespace kv306
