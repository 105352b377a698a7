#include "protocol/frames.h"

#include "link/serial_link.h"

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

Bytes CommandFrame(Op op, std::uint8_t arg)
{
    Bytes frame{kFrameStart, kCommandMark, static_cast<std::uint8_t>(op), arg, 0xFF, 0x01, 0x00};
    frame[6] = Xor(frame, 1, 5);
    return frame;
}

std::optional<Bytes> ParameterFrame(const Params &params)
{
    Bytes frame{kFrameStart, kParameterMark, 0x00, 0x00, 0xFF};
    for (int value : params) {
        if (value < 0 || value > 0xFF)
            return std::nullopt;
        frame.push_back(static_cast<std::uint8_t>(value));
    }
    frame.push_back(Xor(frame, kFirstParamByte, kFirstParamByte + kParamCount - 1));
    return frame;
}

bool IsAcknowledgement(const Bytes &reply)
{
    return reply.size() == static_cast<std::size_t>(kAckLength) && reply[0] == kAck;
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
    for (int k = 0; k < kParamCount; ++k) {
        if (!InRange(k, reply[static_cast<std::size_t>(k)]))
            return false;
    }
    return true;
}

QString SentFrameDisplay(const Bytes &frame)
{
    return HexPairs(frame, static_cast<qsizetype>(frame.size()), "  ");
}

}  // namespace kv306
