#pragma once

#include "sim/sim_unit.h"

#include <cstddef>
#include <cstdint>

namespace kv306::sim {

// The frames the unit knows, as it reads them off its line: a command frame 55 D0 op arg FF 01
// check, a parameter frame 55 EE 00 00 FF p0..p5 check. Written apart from the tool's own frames
// (protocol/), so that a fault there is not copied into the unit the tests check it against.
constexpr std::uint8_t kStart = 0x55;
constexpr std::uint8_t kCommand = 0xD0;
constexpr std::uint8_t kParameters = 0xEE;
constexpr std::size_t kCommandLength = 7;
constexpr std::size_t kParameterLength = 12;

// How long a frame whose second byte is `mark` is; 0 when the unit knows no such frame.
std::size_t FrameLength(std::uint8_t mark);
// The check byte: bytes first to last XORed.
std::uint8_t Xor(const Bytes &b, std::size_t first, std::size_t last);

}  // namespace kv306::sim
