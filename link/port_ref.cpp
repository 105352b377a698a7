#include "link/port_ref.h"

#include "link/comm_error.h"
#include "link/network_port.h"
#include "link/output_file.h"
#include "link/port_map.h"
#include "link/serial_control.h"
#include "link/texts.h"

#include <QFileInfo>

namespace kv306 {

PortRef PortRef::Com(int number)
{
    return {PortNameOfNumber(number), number};
}

std::optional<PortRef> PortRef::Parse(const QString &text, QString *error)
{
    // "com3" is COM3, as Windows has it.
    const QString upper = text.startsWith(QLatin1String("com"), Qt::CaseInsensitive) ? text.toUpper() : text;
    const int number = PortNumberOfName(upper);
    if (number >= kFirstPort && number <= kLastPort && upper == PortNameOfNumber(number))
        return Com(number);
    // A port behind a serial device server, kept as written.
    if (LooksLikeNetworkPort(text)) {
        QString why;
        if (!ParseNetworkPort(text, &why)) {
            if (error)
                *error = why;
            return std::nullopt;
        }
        return PortRef{text, 0};
    }
    if (text.contains(QLatin1Char('/')))
        return PortRef{text, 0};
    if (error)
        *error = Tx::tr("“%1”不是串口（应为 COM1 到 COM20，或设备路径）").arg(text);
    return std::nullopt;
}

QString PortRef::Device() const
{
    if (number)
        return DevicePathForPort(number);
    if (const std::optional<NetworkPort> network = ParseNetworkPort(label))
        return network->Name();
    return QFileInfo(label).absoluteFilePath();
}

bool PortRef::Served() const
{
    return ParseNetworkPort(Device()).has_value();
}

void PortRef::LookUpServers(const QList<PortRef> &ports)
{
    QStringList hosts;
    for (const PortRef &port : ports) {
        if (const std::optional<NetworkPort> network = ParseNetworkPort(port.Device()))
            hosts << network->host;
    }
    kv306::LookUpServers(hosts);
}

bool PortRef::SameAs(const PortRef &other) const
{
    if (label == other.label)
        return true;
    const QString mine = Device();
    const QString theirs = other.Device();
    const std::optional<NetworkPort> a = ParseNetworkPort(mine);
    const std::optional<NetworkPort> b = ParseNetworkPort(theirs);
    // Two names of one server port: its host written two ways, or spoken to two ways.
    if (a || b)
        return a && b && a->port == b->port && (a->host == b->host || ServerKey(*a) == ServerKey(*b));
    return SameFile(mine, theirs);
}

QString PortExamination::StateWord() const
{
    switch (state) {
    case State::Free: return QStringLiteral("free");
    case State::Busy: return QStringLiteral("busy");
    case State::NoPermission: return QStringLiteral("no permission");
    case State::Missing: return QStringLiteral("missing");
    case State::NotSerial: return QStringLiteral("not a serial device");
    case State::Unusable: return QStringLiteral("unusable");
    }
    return {};
}

PortExamination ExamineFailure(const PortRef &port, const CommError &error)
{
    PortExamination e;
    e.errorNumber = error.number();
    const QString device = port.Device();
    switch (error.number()) {
    case ErrorNo::PermissionDenied:
        e.state = PortExamination::State::NoPermission;
        e.refusal = PermissionRefusal(device);
        e.cause = QString(error.message()).replace(QLatin1Char('\n'), QLatin1Char(' '));
        break;
    case ErrorNo::NoSuchPort: {
        e.state = PortExamination::State::Missing;
        const QFileInfo entry(device);
        if (entry.isSymLink())
            e.cause = Tx::tr("指向 %1 的链接，那里什么也没有").arg(entry.symLinkTarget());
        break;
    }
    case ErrorNo::NotSerialDevice:
        e.state = PortExamination::State::NotSerial;
        e.cause = error.message().section(QStringLiteral("："), 1);
        if (e.cause.isEmpty())
            e.cause = error.message().section(QStringLiteral(": "), 1);
        break;
    case ErrorNo::PortInUse:
        e.state = PortExamination::State::Busy;
        e.holder = PortHolder(device);
        if (!e.holder.isEmpty())
            e.cause = Tx::tr("被 %1 占用").arg(e.holder);
        break;
    default:
        e.state = PortExamination::State::Unusable;
        e.cause =
            QStringLiteral("error %1: %2").arg(error.number()).arg(QString::fromStdString(error.what()));
        break;
    }
    return e;
}

PortExamination ExaminePort(const PortRef &port)
{
    SerialControl comm;
    SetUpLine(comm);
    try {
        comm.SetPort(port);
        comm.SetPortOpen(true);
        comm.SetPortOpen(false);
        return {};
    } catch (const CommError &error) {
        return ExamineFailure(port, error);
    }
}

QList<PortRef> NamedPorts()
{
    QList<PortRef> ports;
    const QStringList present = PortPresence();
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        if (!present[n - 1].isEmpty() || PortNameThere(DevicePathForPort(n)))
            ports << PortRef::Com(n);
    }
    return ports;
}

QList<PortRef> PresentPorts()
{
    QList<PortRef> ports;
    const QStringList present = PortPresence();
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        if (!present[n - 1].isEmpty())
            ports << PortRef::Com(n);
    }
    return ports;
}

}  // namespace kv306
