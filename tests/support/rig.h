#pragma once

#include "support/sim_ports.h"
#include "support/window.h"

namespace kv306::test {

// The window connected to a simulated unit on COM3, after start-up.
struct Rig {
    explicit Rig(sim::SimOptions options = SimPorts::Instant()) : unit(ports.Add(3, options))
    {
        w.toolkit.realSleep = false;
        if (!w.form.Load())
            qFatal("start-up failed");
        w.toolkit.Clear();
    }
    // Sets the six lists without the preset getting in the way.
    void SetLists(const Params &p)
    {
        w.form.HoldPreset(true);
        for (int k = 0; k < 6; ++k)
            w.form.SelectListIndex(k, p[static_cast<std::size_t>(k)]);
        w.form.HoldPreset(false);
    }
    Params Lists() const
    {
        Params p{};
        for (int k = 0; k < 6; ++k)
            p[static_cast<std::size_t>(k)] = w.form.ListIndex(k);
        return p;
    }
    QByteArray Wire() const { return Hex(unit.Received()); }
    void Reply(sim::Bytes bytes)
    {
        unit.SetReplyOverride([bytes](const sim::Bytes &) { return bytes; });
    }

    SimPorts ports;
    sim::SimUnit &unit;
    Window w;
};

}  // namespace kv306::test
