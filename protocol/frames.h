#pragma once

#include "link/serial_control.h"

#include <QString>

#include <array>
#include <cstdint>
#include <stdexcept>

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

constexpr int kParamCount = 6;
using Params = std::array<int, kParamCount>;

// Number of entries of each parameter list, in wire order: horizontal offset, vertical offset,
// circle size, video standard (PAL, NTSC), roundness, crosshair outside the largest circle.
constexpr std::array<int, kParamCount> kParamEntries{64, 64, 52, 2, 4, 2};

// Reply lengths.
constexpr qint16 kAckLength = 1;
constexpr qint16 kEchoLength = 2;
constexpr qint16 kParamReplyLength = 7;

// A value that does not fit a frame byte; never wrapped or clipped.
class FrameValueError : public std::out_of_range {
public:
    using std::out_of_range::out_of_range;
};

// Checked conversion of a value into a frame byte.
std::uint8_t ToFrameByte(int value);

// 55 D0 op arg FF 01 check; the check is the XOR of bytes 1 to 5.
Bytes CommandFrame(Op op, int arg);
// 55 EE 00 00 FF p0..p5 check; the check is the XOR of the six parameters only.
Bytes ParameterFrame(const Params &params);

// The acknowledgement of a parameter frame: exactly the reply text "99".
bool IsAcknowledgement(const QString &replyText);
// Two equal bytes.
bool IsEchoReply(const Bytes &reply);
// Six values and their XOR.
bool IsParameterReply(const Bytes &reply);
// Every value of a parameter reply has an entry in its list.
bool ParamsInRange(const Bytes &reply);

// The frame as the operator sees it: two spaces and two upper-case hex digits per byte.
QString SentFrameDisplay(const Bytes &frame);

}  // namespace kv306
