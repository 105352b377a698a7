#pragma once

#include "link/serial_control.h"
#include "protocol/params.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace kv306 {

// Op codes of the command frame.
enum class Op : std::uint8_t {
    StepHorizontal = 0xA0,
    StepVertical = 0xA1,
    StepCircleSize = 0xA2,
    ReadParams = 0xA3,
    ToggleOverlay = 0xA4,
    ToggleCrosshair = 0xA5,
};

// Both frames begin with 55 and a mark; a command frame is 55 D0 op arg FF 01 check, a
// parameter frame 55 EE 00 00 FF p0..p5 check.
constexpr std::uint8_t kFrameStart = 0x55;
constexpr std::uint8_t kCommandMark = 0xD0;
constexpr std::uint8_t kParameterMark = 0xEE;
constexpr std::size_t kCommandFrameLength = 7;
constexpr std::size_t kParameterFrameLength = 12;
constexpr std::size_t kOpByte = 2;
constexpr std::size_t kArgByte = 3;
constexpr std::size_t kFirstParamByte = 5;  // parameter k is byte 5 + k

// Reply lengths.
constexpr qint16 kAckLength = 1;
constexpr qint16 kEchoLength = 2;
constexpr qint16 kParamReplyLength = 7;
// The unit's acknowledgement of a parameter frame.
constexpr std::uint8_t kAck = 0x99;

// 55 D0 op arg FF 01 check; the check is the XOR of bytes 1 to 5.
Bytes CommandFrame(Op op, std::uint8_t arg);
// 55 EE 00 00 FF p0..p5 check; the check is the XOR of the six parameters only. Nothing when a
// value does not fit a byte: it is never wrapped or clipped.
std::optional<Bytes> ParameterFrame(const Params &params);

// The acknowledgement of a parameter frame: exactly one byte, 99.
bool IsAcknowledgement(const Bytes &reply);
// Two equal bytes.
bool IsEchoReply(const Bytes &reply);
// Six values and their XOR.
bool IsParameterReply(const Bytes &reply);
// Every value of a parameter reply has an entry in its list.
bool ParamsInRange(const Bytes &reply);

// The frame as the operator sees it: two spaces and two upper-case hex digits per byte.
QString SentFrameDisplay(const Bytes &frame);

}  // namespace kv306
