#pragma once

#include <QString>

namespace kv306 {

constexpr int kFirstPort = 1;
constexpr int kLastPort = 20;

// Where port number n ("COMn") lives on this system.
//
// Windows: the system's own "COMn".
// Elsewhere, in this order:
//   KV306_PORT_DIR set: DIR/COMn and nothing else (a link to a terminal, or the node itself);
//   an entry COMn in $XDG_CONFIG_HOME/kv306/ports (default ~/.config/kv306/ports);
//   (either entry may be a small text file naming a network port, "rfc2217://host:2217": then
//   that name is the port's place;)
//   the fixed table COM1-4 /dev/ttyS0-3, COM5-12 /dev/ttyUSB0-7, COM13-20 /dev/ttyACM0-7.
// Returns an empty string for a number that has no place at all.
QString DevicePathForPort(int number);

// "COM12" -> 12; 0 when the name is not "COM" followed by a decimal number.
int PortNumberOfName(const QString &name);

QString PortNameOfNumber(int number);

}  // namespace kv306
