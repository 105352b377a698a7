#pragma once

#include <QtGlobal>

namespace kv306 {

// A line's settings: 9600 baud, parity 'n', 'e', 'o', 'm' or 's', 8 data bits, stop bits 1, 15
// (one and a half) or 2. No flow control: a pseudo-terminal refuses line signals and the unit
// needs none.
struct LineSettings {
    qint32 baud = 9600;
    char parity = 'n';
    int dataBits = 8;
    int stopBits = 1;
};

}  // namespace kv306
