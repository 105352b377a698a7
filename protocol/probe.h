#pragma once

#include "link/pacer.h"
#include "protocol/traffic_log.h"
#include "protocol/unit_core.h"

#include <optional>

namespace kv306 {

// One unit behind one port, with a control, pauses and a link of its own, set up as the window
// sets up its own (9600,n,8,1, binary input). For other threads and other front ends.
struct UnitOnPort {
    // Port number n, or the device at `devicePath` when that is given.
    explicit UnitOnPort(int number, const QString &devicePath = {});
    SerialControl comm;
    Pacer pacer;
    SerialLink link{comm, pacer};
    UnitCore core{link, comm, pacer};
};

// Sends a read, and only a read, to a port that is free. The outcome is the read's, or a port
// failure sent before anything (busy, missing, refused for permission), which sends nothing.
// Safe on any thread.
Outcome ProbePort(int number, const QString &devicePath = {}, TrafficLog *log = nullptr);
// The unit's parameters, or nothing when the port would not open or no unit answered.
std::optional<Params> Probe(int number, const QString &devicePath = {}, TrafficLog *log = nullptr);

}  // namespace kv306
