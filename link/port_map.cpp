#include "link/port_map.h"

#include "link/network_port.h"
#include "link/port_file.h"
#include "link/system.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace kv306 {

namespace {

QString FixedDevice(int number)
{
    if (number >= 1 && number <= 4)
        return QStringLiteral("/dev/ttyS%1").arg(number - 1);
    if (number >= 5 && number <= 12)
        return QStringLiteral("/dev/ttyUSB%1").arg(number - 5);
    if (number >= 13 && number <= 20)
        return QStringLiteral("/dev/ttyACM%1").arg(number - 13);
    return {};
}

}  // namespace

QString PortNameOfNumber(int number)
{
    return QStringLiteral("COM%1").arg(number);
}

int PortNumberOfName(const QString &name)
{
    if (!name.startsWith(QLatin1String("COM")) || name.size() < 4 || name.size() > 8)
        return 0;
    int number = 0;
    for (QChar c : name.mid(3)) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
        number = number * 10 + (c.unicode() - '0');
    }
    return number;
}

QString DevicePathForPort(int number)
{
    if (number < 1)
        return {};
    if (const std::optional<QString> systems = SystemPortName(number))
        return *systems;
    const QString name = PortNameOfNumber(number);
    // An entry of the ports folder may be a small file that names a network port: that port.
    const auto entry = [](const QString &path) { return NetworkPortOfEntry(path).value_or(path); };
    const QByteArray portDir = qgetenv("KV306_PORT_DIR");
    if (!portDir.isEmpty())
        return entry(QDir(QString::fromLocal8Bit(portDir)).absoluteFilePath(name));  // relative: from here

    const QString own = UserConfigDir() + QStringLiteral("/ports/") + name;
    if (QFileInfo(own).isSymLink() || QFileInfo::exists(own))
        return entry(own);
    return FixedDevice(number);
}

}  // namespace kv306
