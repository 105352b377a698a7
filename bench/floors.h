#pragma once

// What an action costs whatever the tool does: the bytes on a 9600-baud line and the link's own
// pauses. Every benchmark row stands beside one of these.

#include "link/serial_link.h"

namespace kv306::bench {

constexpr double kByteMs = 10.0 / 9.6;  // ten bits a byte
constexpr double kOpenMs = 5;           // the pause after opening the port
constexpr double kCloseMs = 105;        // 100 ms before closing it and 5 ms after
// A reply is whole only once the line has stayed quiet a moment after it.
constexpr double kSettleMs = SerialLink::kSettleMs;

constexpr double Wire(int bytes)
{
    return bytes * kByteMs;
}

// One exchange of a request of `sent` bytes and a reply of `received`, the port opened before
// it and closed after it.
constexpr double ExchangeFloor(int sent, int received)
{
    return kOpenMs + Wire(sent) + Wire(received) + kSettleMs + kCloseMs;
}

// Steps a second while an arrow button is held: one step exchange after the other.
constexpr double HeldNudgeFloor()
{
    return 1000 / ExchangeFloor(7, 2);
}

}  // namespace kv306::bench
