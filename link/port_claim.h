#pragma once

#include "link/checked.h"

#include <QString>

#include <memory>

namespace kv306 {

// A station's hold on a port for as long as it serves it, not only during an exchange. Between
// two exchanges the port is closed, and another station on the same device (or a second slot of
// this one, named by another link to it) would take the unit there for a unit of its own. The
// hold is a lock on a small file named after the device, so every name of one device leads to one
// lock; the system lets it go when the process ends, however it ends.
// One file a system: port_claim_posix.cpp, port_claim_win.cpp.
class PortClaim {
public:
    PortClaim();
    ~PortClaim();
    PortClaim(const PortClaim &) = delete;
    PortClaim &operator=(const PortClaim &) = delete;

    // A device's identity, the same for every name of it ("c136.3" for a terminal), as the
    // system names its devices; empty when nothing is there. A port's identity (PortRef) is
    // made from it.
    static QString SystemDeviceKey(const QString &devicePath);

    // The terminal a serial device server on this computer serves at `port` of `address` (one
    // of this computer's own addresses), as SystemDeviceKey names it: the server holds it open
    // while a connection of ours is open, so asked then. Empty where the system cannot tell (the
    // server elsewhere, its process not ours to look into, or no such system).
    static QString ServedDeviceKey(const QString &address, quint16 port);

    // Holds the device `key` (letting go of one held before); when another holder has it, says
    // so, with who that is where the system tells ("另一个工位正在使用它：kv306ctl（进程 4242）").
    Done Take(const QString &key);
    void Release();
    QString Key() const { return key_; }

private:
    // Another station holds the device: who, where the system tells.
    static Done HeldBy(const QString &holder);

    struct System;
    std::unique_ptr<System> system_;
    QString key_;
};

}  // namespace kv306
