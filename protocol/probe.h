#pragma once

#include "link/pacer.h"
#include "link/port_ref.h"
#include "protocol/traffic_log.h"
#include "protocol/unit_core.h"

#include <optional>

namespace kv306 {

// One unit behind one port, with a control, pauses and a link of its own, set up as the window
// sets up its own (9600,n,8,1, binary input). For other threads and other front ends.
struct UnitOnPort {
    explicit UnitOnPort(const PortRef &port);
    // Every exchange of every unit on a port made from now on is recorded in `log` too
    // (kv306ctl's --trace); nothing when null. Set before the first unit.
    static void TraceAll(TrafficLog *log);
    SerialControl comm;
    Pacer pacer;
    SerialLink link{comm, pacer};
    UnitCore core{link, comm, pacer};
};

// Sends a read, and only a read, to a port that is free. The outcome is the read's, or a port
// failure sent before anything (busy, missing, refused for permission), which sends nothing.
// Safe on any thread.
Outcome ProbePort(const PortRef &port, TrafficLog *log = nullptr);
// The unit's parameters, or nothing when the port would not open or no unit answered.
std::optional<Params> Probe(const PortRef &port, TrafficLog *log = nullptr);

}  // namespace kv306
