#include "link/port_access.h"

#include "link/port_ref.h"

#include "link/network_port.h"
#include "link/port_map.h"
#include "link/texts.h"

#include <QSerialPortInfo>

namespace kv306 {

// What differs from system to system (who the user is, what stands behind a name, who holds a
// device) is in port_access_posix.cpp and port_access_win.cpp; the messages and the matching of
// adapters are here.

namespace {

// The fix for the groups that may open their devices; the rest need an administrator.
QString Fix(const QList<Refusal> &refusals)
{
    QStringList groups;
    bool needAdmin = false;
    for (const Refusal &r : refusals) {
        if (!r.groupMayOpen)
            needAdmin = true;
        else if (!groups.contains(r.group))
            groups << r.group;
    }
    QString fix;
    if (!groups.isEmpty()) {
        const QString user = EffectiveUserName();
        fix += Tx::tr("请把用户 %1 加入 %2 组：\nsudo usermod -aG %3 %1\n然后注销并重新登录。")
                   .arg(user, groups.join(Tx::tr("、")), groups.join(QLatin1Char(',')));
    }
    if (needAdmin) {
        if (!fix.isEmpty())
            fix += QLatin1Char('\n');
        fix += Tx::tr("设备的所属组也没有读写权限，请让管理员为它设置访问权限（udev 规则）。");
    }
    return fix;
}

}  // namespace

QString PermissionMessage(const Refusal &refusal)
{
    return Tx::tr("没有权限打开串口 %1（属于 %2 组）。").arg(refusal.device, refusal.group) +
           QLatin1Char('\n') + Fix({refusal});
}

QString PermissionStartupMessage(const QList<Refusal> &refusals)
{
    QString text = Tx::tr("找到串口，但当前用户没有权限打开：") + QLatin1Char('\n');
    for (qsizetype i = 0; i < refusals.size() && i < kLastPort; ++i)
        text += Tx::tr("%1（%2 组）").arg(refusals[i].device, refusals[i].group) + QLatin1Char('\n');
    return text + Fix(refusals) + QLatin1Char('\n') + Tx::tr("之后重新打开程序。");
}

QList<PortIdentity> IdentifyPorts(const QList<PortRef> &ports)
{
    QList<PortIdentity> identities;
    QList<QSerialPortInfo> adapters;
    bool asked = false;
    for (const PortRef &port : ports) {
        const QString path = port.Device();
        PortIdentity id;
        id.device = DeviceBehind(path);
        // A pseudo-terminal is no adapter; asking the system costs some 15 ms.
        if (!id.device.isEmpty() && !NeverAnAdapter(id.device)) {
            if (!asked) {
                adapters = QSerialPortInfo::availablePorts();
                asked = true;
            }
            QStringList parts;
            for (const QSerialPortInfo &info : std::as_const(adapters)) {
                if (info.systemLocation() != id.device && info.portName() != id.device &&
                    info.portName() != path)
                    continue;
                id.serial = info.serialNumber();
                for (const QString &part : {info.description(), info.manufacturer(), info.serialNumber()}) {
                    if (!part.isEmpty() && !parts.contains(part))
                        parts << part;
                }
                break;
            }
            id.adapter = parts.join(QStringLiteral(" · "));
        }
        identities << id;
    }
    return identities;
}

QString DeviceBehind(const QString &path)
{
    if (const Checked<NetworkPort> network = ParseNetworkPort(path))
        return network->Name();
    return SystemDeviceBehind(path);
}

bool NeverAnAdapter(const QString &device)
{
    return LooksLikeNetworkPort(device) || SystemNeverAnAdapter(device);
}

bool PortNameThere(const QString &path)
{
    return LooksLikeNetworkPort(path) || SystemPortNameThere(path);
}

QStringList PortPresence()
{
    QStringList presence;
    for (int n = kFirstPort; n <= kLastPort; ++n)
        presence << DeviceBehind(DevicePathForPort(n));
    return presence;
}

}  // namespace kv306
