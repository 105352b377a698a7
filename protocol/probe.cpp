#include "protocol/probe.h"

namespace kv306 {

namespace {

TrafficLog *traced = nullptr;

}  // namespace

void UnitOnPort::TraceAll(TrafficLog *log)
{
    traced = log;
}

UnitOnPort::UnitOnPort(const PortRef &port)
{
    SetUpLine(comm);
    comm.SetPort(port);
    core.SetLog(traced);
}

Outcome ProbePort(const PortRef &port, TrafficLog *log)
{
    UnitOnPort unit(port);
    // A port held by another program, or refused, is left alone.
    if (const std::optional<CommError> error = unit.link.OpenLink()) {
        Outcome refused;
        PortFailure(refused, *error, true);
        return refused;
    }
    if (log)
        unit.core.SetLog(log);
    Outcome o = unit.core.Read();
    unit.link.CloseLink();
    return o;
}

std::optional<Params> Probe(const PortRef &port, TrafficLog *log)
{
    const Outcome o = ProbePort(port, log);
    return o.Ok() ? std::optional<Params>(o.values) : std::nullopt;
}

}  // namespace kv306
