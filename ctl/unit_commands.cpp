#include "ctl/ctl.h"
#include "ctl/ctl_internal.h"

#include "link/comm_error.h"
#include "protocol/params_text.h"
#include "protocol/probe.h"

#include <QJsonArray>

namespace kv306::ctl {

namespace {

int PrintValues(const PortRef &port, const Params &values)
{
    if (JsonMode())
        PrintJson(WithPort(port, ParamsJson(values)));
    else
        Out(FormatParams(values));
    return kExitOk;
}

}  // namespace

int ReadCommand(const Invocation &in)
{
    if (!in.words.isEmpty())
        return Usage(QStringLiteral("read takes no arguments"));
    const PortRef &port = in.ports.front();
    UnitOnPort unit(port);
    const Outcome o = unit.core.Read();
    unit.link.CloseLink();
    return o.Ok() ? PrintValues(port, o.values) : Fail(port, o);
}

// The values were checked, from the words or --from, before the port was looked for.
int WriteCommand(const Invocation &in)
{
    const PortRef &port = in.ports.front();
    if (Stopped())
        return Interrupted(port, QStringLiteral("not started"));
    UnitOnPort unit(port);
    const Outcome o = unit.core.Write(*in.profile);
    unit.link.CloseLink();
    if (!o.Ok())
        return Fail(port, o);
    if (Stopped())
        return Interrupted(port, QStringLiteral("written"));
    if (JsonMode())
        PrintJson(WithPort(port, {{QStringLiteral("result"), QStringLiteral("written")}}));
    return kExitOk;
}

int SetCommand(const Invocation &in)
{
    if (in.words.isEmpty())
        return Usage(QStringLiteral("set needs KEY=VALUE"));
    // Checked whole before anything is sent.
    const Checked<Assignments> checked = ParseAssignments(in.words);
    if (!checked)
        return Usage(checked.reason);
    const PortRef &port = in.ports.front();
    UnitOnPort unit(port);
    const Outcome read = unit.core.Read();
    unit.link.CloseLink();
    if (!read.Ok())
        return Fail(port, read);
    if (Stopped())
        return Interrupted(port, QStringLiteral("not started"));
    const Params wanted = ParseAssignments(in.words, read.values)->params;
    const Outcome o = unit.core.WriteAndVerify(wanted, [] { return !Stopped(); });
    unit.link.CloseLink();
    if (o.unverified)
        return Interrupted(port, QStringLiteral("written, not verified"));
    return o.Ok() ? PrintValues(port, o.values) : Fail(port, o);
}

int ToggleCommand(const Invocation &in)
{
    const QString what = in.words.value(0);
    if (in.words.size() != 1 || (what != QLatin1String("overlay") && what != QLatin1String("crosshair")))
        return Usage(QStringLiteral("toggle needs overlay or crosshair"));
    const PortRef &port = in.ports.front();
    UnitOnPort unit(port);
    const Outcome o = unit.core.Toggle(what == QLatin1String("crosshair") ? ToggleTarget::Crosshair
                                                                          : ToggleTarget::Overlay);
    unit.link.CloseLink();
    if (!o.Ok())
        return Fail(port, o);
    // The unit's echo carries no documented on/off meaning: say only that it answered.
    const QString echo = HexWords(o.traffic.back().received);
    const QJsonObject said{{QStringLiteral("toggled"), what}, {QStringLiteral("echo"), echo}};
    if (!o.doubt.isEmpty())
        return Unconfirmed(port, QStringLiteral("%1 toggle: echo %2, but %3").arg(what, echo, o.doubt), said);
    if (JsonMode())
        PrintJson(WithPort(port, said));
    else
        Out(QStringLiteral("%1 toggle acknowledged (echo %2)").arg(what, echo));
    return kExitOk;
}

int StepCommand(const Invocation &in)
{
    const int k = ParamKeyIndex(in.words.value(0));
    const QString way = in.words.value(1);
    if (in.words.size() < 2 || in.words.size() > 3 || k < 0 || !Steps(static_cast<ParamId>(k)) ||
        (way != QLatin1String("up") && way != QLatin1String("down")))
        return Usage(QStringLiteral("step needs horizontal, vertical or size, then up or down"));
    bool good = true;
    const int count = in.words.size() == 3 ? in.words[2].toInt(&good) : 1;
    if (!good || count < 1 || count > 1000)
        return Usage(QStringLiteral("step COUNT must be a whole number from 1 to 1000"));
    const PortRef &port = in.ports.front();
    const auto param = static_cast<ParamId>(k);
    const StepWay direction = way == QLatin1String("up") ? StepWay::Up : StepWay::Down;
    const QString key = in.words[0];
    UnitOnPort unit(port);
    QJsonArray values;
    std::optional<int> before;
    for (int i = 0; i < count; ++i) {
        if (Stopped()) {
            unit.link.CloseLink();
            return Interrupted(port, QStringLiteral("%1 of %2 steps made").arg(i).arg(count),
                               {{key, values}});
        }
        const Outcome o = unit.core.Step(param, direction, before);
        if (!(o.failure == Failure::Port && o.beforeSending))
            unit.link.CloseLink();
        if (!o.Ok()) {
            // With the steps made before; a port that went away on the way was pulled.
            const bool pulled = o.failure == Failure::Port && (i > 0 || !o.beforeSending) &&
                                o.errorNumber != ErrorNo::PortInUse &&
                                o.errorNumber != ErrorNo::PermissionDenied;
            const QString made = QStringLiteral("%1 of %2 steps made").arg(i).arg(count);
            return Fail(port, o, {{key, values}, {QStringLiteral("made"), i}},
                        count == 1 && !pulled ? QString()
                        : pulled              ? QStringLiteral("the unit was pulled after ") + made
                                              : made + QStringLiteral(", then"));
        }
        if (!o.doubt.isEmpty())
            return Unconfirmed(port, QStringLiteral("%1=%2, but %3").arg(key).arg(o.value).arg(o.doubt),
                               {{key, values}});
        if (o.unmoved)
            return Unconfirmed(port,
                               QStringLiteral("%1=%2 again after a step %3, away from its limit %4")
                                   .arg(key)
                                   .arg(o.value)
                                   .arg(way)
                                   .arg(StepLimit(param, direction)),
                               {{key, values}});
        before = o.value;
        values.append(o.value);
        if (!JsonMode())
            Out(key + QLatin1Char('=') + QString::number(o.value));
    }
    if (JsonMode())
        PrintJson(WithPort(port, {{key, values}}));
    return kExitOk;
}

}  // namespace kv306::ctl
