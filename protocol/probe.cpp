#include "protocol/probe.h"

namespace kv306 {

UnitOnPort::UnitOnPort(int number, const QString &devicePath)
{
    comm.SetSettings(QStringLiteral("9600,n,8,1"));
    comm.SetInputLen(0);
    comm.SetInputMode(1);
    comm.SetRThreshold(1);
    if (devicePath.isEmpty())
        comm.SetCommPort(number);
    else
        comm.SetDevicePath(devicePath);
}

std::optional<Params> Probe(int number, const QString &devicePath, TrafficLog *log)
{
    UnitOnPort unit(number, devicePath);
    // A port held by another program is left alone.
    if (unit.link.OpenLinkQuietly())
        return std::nullopt;
    unit.core.SetLog(log);
    const Outcome o = unit.core.Read();
    unit.link.CloseLink();
    return o.Ok() ? std::optional<Params>(o.values) : std::nullopt;
}

}  // namespace kv306
