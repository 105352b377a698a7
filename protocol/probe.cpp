#include "protocol/probe.h"

namespace kv306 {

UnitOnPort::UnitOnPort(int number, const QString &devicePath)
{
    SetUpLine(comm);
    if (devicePath.isEmpty())
        comm.SetCommPort(number);
    else
        comm.SetDevicePath(devicePath);
}

Outcome ProbePort(int number, const QString &devicePath, TrafficLog *log)
{
    UnitOnPort unit(number, devicePath);
    // A port held by another program, or refused, is left alone.
    if (const std::optional<CommError> error = unit.link.OpenLink()) {
        Outcome refused;
        PortFailure(refused, *error, true);
        return refused;
    }
    unit.core.SetLog(log);
    Outcome o = unit.core.Read();
    unit.link.CloseLink();
    return o;
}

std::optional<Params> Probe(int number, const QString &devicePath, TrafficLog *log)
{
    const Outcome o = ProbePort(number, devicePath, log);
    return o.Ok() ? std::optional<Params>(o.values) : std::nullopt;
}

}  // namespace kv306
