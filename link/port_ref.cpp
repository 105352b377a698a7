#include "link/port_ref.h"

#include "link/comm_error.h"
#include "link/network_port.h"
#include "link/output_file.h"
#include "link/port_claim.h"
#include "link/port_map.h"
#include "link/serial_control.h"
#include "link/texts.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace kv306 {

PortRef PortRef::Com(int number)
{
    return {Kind::Com, PortNameOfNumber(number), number, {}};
}

Checked<PortRef> PortRef::Read(const QString &text)
{
    // "com3" is COM3, as Windows has it.
    const QString upper = text.startsWith(QLatin1String("com"), Qt::CaseInsensitive) ? text.toUpper() : text;
    const int number = PortNumberOfName(upper);
    if (number >= kFirstPort && number <= kLastPort && upper == PortNameOfNumber(number))
        return Com(number);
    // A port behind a serial device server, kept as written.
    if (LooksLikeNetworkPort(text)) {
        const Checked<NetworkPort> server = ParseNetworkPort(text);
        if (!server)
            return Checked<PortRef>::Refused(server.reason);
        return PortRef{Kind::Server, text, 0, *server};
    }
    // A scheme of no kind of ours ("rfc2217s://", "tls://") is a misspelt server, not a path.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    if (scheme.match(text).hasMatch())
        return Checked<PortRef>::Refused(ParseNetworkPort(text).reason);
    if (text.contains(QLatin1Char('/'))) {
        // A device's path has no blank in it; one typed or scanned with one is two words.
        if (std::any_of(text.begin(), text.end(),
                        [](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; }))
            return Checked<PortRef>::Refused(Tx::tr("设备路径“%1”里有空白或控制字符").arg(text));
        return PortRef{Kind::Path, text, 0, {}};
    }
    return Checked<PortRef>::Refused(Tx::tr("“%1”不是串口（应为 COM1 到 COM20，或设备路径）").arg(text));
}

QString PortRef::Device() const
{
    switch (kind_) {
    case Kind::Com: return DevicePathForPort(number_);
    case Kind::Server: return server_.Name();
    case Kind::Path: break;
    }
    return QFileInfo(label_).absoluteFilePath();
}

std::optional<NetworkPort> PortRef::Server() const
{
    switch (kind_) {
    case Kind::Server: return server_;
    case Kind::Com: return ParseNetworkPort(DevicePathForPort(number_)).value;
    case Kind::Path: break;
    }
    return std::nullopt;
}

void PortRef::LookUpServers(const QList<PortRef> &ports)
{
    QStringList hosts;
    for (const PortRef &port : ports) {
        if (const std::optional<NetworkPort> server = port.Server())
            hosts << server->host;
    }
    kv306::LookUpServers(hosts);
}

QString PortRef::Identity() const
{
    if (const std::optional<NetworkPort> server = Server()) {
        QString key = QStringLiteral("n") + ServerKey(*server);
        for (QChar &c : key) {
            if (!c.isLetterOrNumber() && c != QLatin1Char('.'))
                c = QLatin1Char('_');
        }
        return key;
    }
    const QString device = Device();
    const QString key = PortClaim::SystemDeviceKey(device);
    return key.isEmpty() ? QStringLiteral("p") + FileIdentity(device) : key;
}

bool PortRef::SameAs(const PortRef &other) const
{
    return label_ == other.label_ || Identity() == other.Identity();
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
