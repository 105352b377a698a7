#include "link/port_claim.h"

#include "link/network_port.h"

namespace kv306 {

QString PortClaim::DeviceKey(const QString &devicePath)
{
    // A server port is held by this computer's stations as a device is; a station on another
    // computer is the server's to refuse while a connection is open.
    if (const std::optional<NetworkPort> network = ParseNetworkPort(devicePath)) {
        QString key = QStringLiteral("n") + ServerKey(*network);
        for (QChar &c : key) {
            if (!c.isLetterOrNumber() && c != QLatin1Char('.'))
                c = QLatin1Char('_');
        }
        return key;
    }
    return SystemDeviceKey(devicePath);
}

}  // namespace kv306
