#include "sim/unit_frames.h"

#include <algorithm>
#include <array>

// What the unit does with a whole frame: its answer and the state it keeps.

namespace kv306::sim {

namespace {

constexpr std::array<std::uint8_t, 6> kLimits{63, 63, 51, 1, 3, 1};

}  // namespace

std::size_t FrameLength(std::uint8_t mark)
{
    return mark == kCommand ? kCommandLength : mark == kParameters ? kParameterLength : 0;
}

std::uint8_t Xor(const Bytes &b, std::size_t first, std::size_t last)
{
    std::uint8_t x = 0;
    for (std::size_t i = first; i <= last; ++i)
        x ^= b[i];
    return x;
}

std::optional<Bytes> SimUnit::Answer(const Bytes &request, UnitState &state)
{
    if (request.size() == kParameterLength && request[1] == kParameters) {
        if (request[2] != 0x00 || request[3] != 0x00 || request[4] != 0xFF ||
            Xor(request, 5, 10) != request[11])
            return std::nullopt;
        for (std::size_t i = 0; i < 6; ++i) {
            if (request[5 + i] > kLimits[i])
                return std::nullopt;
        }
        std::copy(request.begin() + 5, request.begin() + 11, state.params.begin());
        return Bytes{0x99};
    }
    if (request.size() != kCommandLength || request[1] != kCommand || request[4] != 0xFF ||
        request[5] != 0x01 || Xor(request, 1, 5) != request[6])
        return std::nullopt;
    const std::uint8_t op = request[2];
    const std::uint8_t arg = request[3];
    if (op >= 0xA0 && op <= 0xA2) {
        // Argument 0 steps up, 1 down, within the parameter's range.
        const std::size_t k = op - 0xA0;
        std::uint8_t &v = state.params[k];
        if (arg == 0 && v < kLimits[k])
            ++v;
        else if (arg == 1 && v > 0)
            --v;
        else if (arg > 1)
            return std::nullopt;
        return Bytes{v, v};
    }
    if (op == 0xA3) {
        Bytes reply(state.params.begin(), state.params.end());
        reply.push_back(Xor(reply, 0, 5));
        return reply;
    }
    if (op == 0xA4 || op == 0xA5) {
        bool &on = op == 0xA4 ? state.overlayOn : state.crosshairOn;
        on = !on;
        const std::uint8_t v = on ? 1 : 0;
        return Bytes{v, v};
    }
    return std::nullopt;
}

}  // namespace kv306::sim
