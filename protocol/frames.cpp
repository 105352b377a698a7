#include "protocol/frames.h"

#include "link/serial_link.h"

#include <string>

namespace kv306 {

namespace {

std::uint8_t Xor(const Bytes &bytes, std::size_t first, std::size_t last)
{
    std::uint8_t x = 0;
    for (std::size_t i = first; i <= last; ++i)
        x ^= bytes[i];
    return x;
}

}  // namespace

std::uint8_t ToFrameByte(int value)
{
    if (value < 0 || value > 255)
        throw FrameValueError("frame byte out of range: " + std::to_string(value));
    return static_cast<std::uint8_t>(value);
}

Bytes CommandFrame(Op op, int arg)
{
    Bytes frame{0x55, 0xD0, static_cast<std::uint8_t>(op), ToFrameByte(arg), 0xFF, 0x01, 0x00};
    frame[6] = Xor(frame, 1, 5);
    return frame;
}

Bytes ParameterFrame(const Params &params)
{
    Bytes frame{0x55, 0xEE, 0x00, 0x00, 0xFF};
    for (int value : params)
        frame.push_back(ToFrameByte(value));
    frame.push_back(0x00);
    frame[11] = Xor(frame, 5, 10);
    return frame;
}

bool IsAcknowledgement(const QString &replyText)
{
    return replyText == QLatin1String("99");
}

bool IsEchoReply(const Bytes &reply)
{
    return reply.size() >= 2 && reply[0] == reply[1];
}

bool IsParameterReply(const Bytes &reply)
{
    return reply.size() >= 7 && Xor(reply, 0, 5) == reply[6];
}

bool ParamsInRange(const Bytes &reply)
{
    if (reply.size() < kParamCount)
        return false;
    for (std::size_t i = 0; i < kParamCount; ++i) {
        if (reply[i] >= kParamEntries[i])
            return false;
    }
    return true;
}

QString SentFrameDisplay(const Bytes &frame)
{
    return HexPairs(frame, static_cast<qsizetype>(frame.size()), "  ");
}

}  // namespace kv306
