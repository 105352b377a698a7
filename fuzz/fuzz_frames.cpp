// The frame builders fed arbitrary values: a value outside a byte is refused, never wrapped;
// every frame that is built carries its check byte over the right span.
#include "protocol/frames.h"

#include <cstdlib>
#include <cstring>

using namespace kv306;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    int values[8] = {};
    std::memcpy(values, data, std::min(size, sizeof values));
    Params params{};
    bool fits = true;
    for (std::size_t i = 0; i < 6; ++i) {
        params[i] = values[i] % 512 - 128;  // mostly near a byte, often outside it
        fits = fits && params[i] >= 0 && params[i] <= 255;
    }
    if (const std::optional<Bytes> frame = ParameterFrame(params)) {
        if (!fits || frame->size() != 12 || (*frame)[0] != 0x55 || (*frame)[1] != 0xEE)
            std::abort();
        std::uint8_t x = 0;
        for (std::size_t i = 5; i <= 10; ++i)
            x ^= (*frame)[i];
        if (x != (*frame)[11] || SentFrameDisplay(*frame).size() != 48)
            std::abort();
    } else if (fits) {
        std::abort();
    }
    const int op = 0xA0 + (values[6] & 7) % 6;
    const Bytes frame = CommandFrame(static_cast<Op>(op), static_cast<std::uint8_t>(values[7]));
    if (frame.size() != 7 || frame[3] != static_cast<std::uint8_t>(values[7]))
        std::abort();
    if ((frame[1] ^ frame[2] ^ frame[3] ^ frame[4] ^ frame[5]) != frame[6])
        std::abort();
    return 0;
}
