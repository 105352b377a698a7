#include "ctl/ctl.h"
#include "ctl/ctl_internal.h"

#include "protocol/outcome_text.h"
#include "protocol/params_text.h"
#include "protocol/probe.h"

#include <QFileInfo>
#include <QJsonArray>

namespace kv306::ctl {

// The ports named with --port, or else every port whose name leads somewhere (a link to
// nothing, a loop or a pipe too: their examination says what is wrong).
int PortsCommand(const Invocation &in)
{
    if (!in.words.isEmpty())
        return Usage(QStringLiteral("ports takes no arguments"));
    if (in.names)
        return PortNamesCommand(in);
    const QList<PortRef> ports = in.ports.isEmpty() ? NamedPorts() : in.ports;
    const QList<PortIdentity> ids = IdentifyPorts(ports);
    QJsonArray list;
    for (int i = 0; i < ports.size(); ++i) {
        const PortExamination state = ExaminePort(ports[i]);
        // A name that leads nowhere shows where it points.
        const QString device = ids[i].device.isEmpty() ? ports[i].Device() : ids[i].device;
        if (JsonMode()) {
            QJsonObject row{{QStringLiteral("name"), ports[i].Label()},
                            {QStringLiteral("device"), device},
                            {QStringLiteral("description"), ids[i].adapter},
                            {QStringLiteral("state"), state.StateWord()}};
            if (!state.cause.isEmpty())
                row.insert(QStringLiteral("cause"), state.cause);
            list.append(row);
        } else {
            const QString shown = state.cause.isEmpty()
                                      ? state.StateWord()
                                      : QStringLiteral("%1 (%2)").arg(state.StateWord(), state.cause);
            Out(QStringLiteral("%1\t%2\t%3\t%4")
                    .arg(ports[i].Label(), device, shown, ids[i].adapter)
                    .trimmed());
        }
    }
    if (JsonMode())
        PrintJson(list);
    return kExitOk;
}

// For completion: the ports there are, opening nothing.
int PortNamesCommand(const Invocation &)
{
    for (const PortRef &p : PresentPorts())
        Out(p.Label());
    return kExitOk;
}

// Reads the ports named with --port, or else every port there is; never another.
int ProbeCommand(const Invocation &in)
{
    if (!in.words.isEmpty())
        return Usage(QStringLiteral("probe takes no arguments"));
    const QList<PortRef> ports = in.ports.isEmpty() ? PresentPorts() : in.ports;
    const std::vector<std::optional<Outcome>> outcomes =
        OnEveryPort(ports, [](const PortRef &p) { return ProbePort(p); });
    QJsonArray list;
    int found = 0;
    int refused = 0;
    for (int i = 0; i < ports.size(); ++i) {
        if (!outcomes[static_cast<std::size_t>(i)])
            continue;  // stopped first
        const Outcome &o = *outcomes[static_cast<std::size_t>(i)];
        if (o.failure == Failure::Port && o.beforeSending) {
            // Not tried: busy, missing or no permission. Said, so it is not taken for "no unit".
            ++refused;
            Err(ports[i].Label() + QStringLiteral(": not probed: ") + FailureText(o));
            if (JsonMode())
                list.append(WithPort(ports[i], FailureJson(o)));
            continue;
        }
        if (!o.Ok() || o.traffic.empty())
            continue;
        ++found;
        if (JsonMode()) {
            QJsonObject row = WithPort(ports[i], ParamsJson(o.values));
            row.insert(QStringLiteral("device"), IdentifyPorts({ports[i]}).value(0).device);
            list.append(row);
        } else {
            Out(ports[i].Label() + QLatin1Char('\t') + FormatParams(o.values));
        }
    }
    if (JsonMode())
        PrintJson(list);
    if (found > 0)
        return kExitOk;
    if (refused > 0 && refused == ports.size()) {
        Err(QStringLiteral("every port was refused (%1 tried)").arg(refused));
        return kExitPort;
    }
    Err(QStringLiteral("no unit answered on %1 port(s) tried").arg(ports.size() - refused));
    return kExitUnit;
}

}  // namespace kv306::ctl
