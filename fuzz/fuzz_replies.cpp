// Reply judging fed arbitrary bytes and counts: never a crash, and the verdicts agree with
// their definitions.
#include "link/serial_link.h"
#include "protocol/frames.h"

#include <cstdlib>

using namespace kv306;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t count = data[0] % 16 + 1;
    const Bytes reply(data + 1, data + size);
    if (reply.size() < count)
        return 0;
    const QString text = HexPairs(reply, static_cast<qsizetype>(count), "");
    if (text.size() != static_cast<qsizetype>(2 * count))
        std::abort();
    if (IsAcknowledgement(Bytes(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(count))) !=
        (count == 1 && reply[0] == 0x99))
        std::abort();
    if (IsEchoReply(reply) != (reply.size() >= 2 && reply[0] == reply[1]))
        std::abort();
    if (IsParameterReply(reply)) {
        std::uint8_t x = 0;
        for (std::size_t i = 0; i < 6; ++i)
            x ^= reply[i];
        if (x != reply[6])
            std::abort();
    }
    if (ParamsInRange(reply)) {
        for (std::size_t i = 0; i < 6; ++i) {
            if (reply[i] >= kParams[i].entries)
                std::abort();
        }
    }
    return 0;
}
