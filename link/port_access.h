#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace kv306 {

class PortRef;

// Who may open a port and what stands behind its name. The messages and the matching of
// adapters are portable (port_access.cpp); what each system says of its devices is in
// port_access_posix.cpp and port_access_win.cpp.

// Why this user may not open a serial device, read off the device itself.
struct Refusal {
    QString device;     // the node behind the port's name, links resolved ("/dev/ttyUSB0")
    QString group;      // the group that owns it ("dialout", "uucp", ...); a number if unnamed
    bool groupMayOpen;  // the group has read and write: joining it is the fix
};

// The refusal when the device exists and the effective user may not read and write it; nothing
// when the user may, or when there is no device at all.
std::optional<Refusal> PermissionRefusal(const QString &path);

// Why the thing a port name leads to cannot be a serial port ("它是一个文件夹", a symbolic link
// loop, a path through a plain file, a plain file, a device that is no terminal), or nothing when
// it may be one (or is missing). Asked only after an open failed.
std::optional<QString> NotSerialCause(const QString &path);

// The operator's message for a port refused for permission (an action or a port choice).
QString PermissionMessage(const Refusal &refusal);
// Start-up's message when no port opened but these were refused for permission.
QString PermissionStartupMessage(const QList<Refusal> &refusals);

// What the system knows of the device behind a port path: the resolved device, and for a USB
// adapter its description, maker and serial number. A pseudo-terminal or a plain port has its
// path alone.
struct PortIdentity {
    QString device;   // links resolved; empty when nothing is there
    QString adapter;  // "FT232R USB UART · FTDI · A50285BI" for a USB adapter; else empty
    QString serial;   // the adapter's serial number ("A50285BI"), where the system gives one
    // "/dev/ttyUSB0  FT232R USB UART · FTDI · A50285BI"
    QString Text() const { return adapter.isEmpty() ? device : device + QStringLiteral("  ") + adapter; }
};
// Where each port leads now, and the adapter there: a server port's device is its name, as only
// a connection could tell more. The system is asked for its adapters once for the whole list.
QList<PortIdentity> IdentifyPorts(const QList<PortRef> &ports);

// Who holds a device open, as far as this user may see: "kv306ctl (pid 4242)", "this program"
// when it is this very process; empty when nobody visible does (or on Windows, which does not
// say).
QString PortHolder(const QString &path);

// Whether a port's name is there at all, whatever it leads to (a link to nothing too). Opens
// nothing.
bool PortNameThere(const QString &path);

// The system's device behind a port's name ("/dev/ttyUSB0" with links resolved, "\Device\Serial2"
// on Windows; a network port's name as it is, as only a connection could tell); empty when
// nothing is there.
QString DeviceBehind(const QString &path);
// A device that no adapter stands behind (a pseudo-terminal): the system need not be asked.
bool NeverAnAdapter(const QString &device);
// The user whose rights decide an open ("alice").
QString EffectiveUserName();

// What the system says of a device path, for the three above: port_access_posix.cpp and
// port_access_win.cpp. (A network port's name is no path: the portable functions answer for it.)
QString SystemDeviceBehind(const QString &path);
bool SystemNeverAnAdapter(const QString &device);
bool SystemPortNameThere(const QString &path);

// Which devices stand behind COM1 to COM20 now: one word per port, the resolved device or empty.
// Looks at the file system only; opens nothing.
QStringList PortPresence();

}  // namespace kv306
