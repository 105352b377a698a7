#pragma once

#include "link/port_access.h"
#include "link/serial_control.h"
#include "link/serial_link.h"
#include "panel/controls.h"
#include "panel/toolkit.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace kv306 {

// What the port list 选择串口 means: the scan of COM1 to COM20 at start-up, the port Com.TXT
// remembers (or the first port found, and why), the operator's pick, which Com.TXT then
// remembers, and the list following adapters plugged in or pulled since. The window owns the
// list and the serial control; this runs them.
class PortChooser {
public:
    PortChooser(DropList &list, SerialControl &serial, SerialLink &link, Toolkit &toolkit)
        : list_(list), serial_(serial), link_(link), toolkit_(toolkit)
    {
    }

    // Start-up from the serial set-up on: the line's settings, the scan, the remembered port.
    // False when no port exists at all: the operator has been told why.
    bool Start();
    // Refills the list with the ports 1 to 20 that open; returns their numbers ("2,5").
    QString ScanPorts();
    // On opening the list: when the devices behind COM1 to COM20 have changed since the last
    // scan, or a port was busy then, scans again without disturbing the port in use. Opens
    // nothing when nothing changed and nothing was busy; `always` scans in any case.
    void FollowPlug(bool always);
    // A port picked: the serial control takes it and Com.TXT remembers it.
    void OnPortChosen();
    // The port the list shows, as every front end takes a port; the reason when its text names
    // none (nothing picked yet).
    Checked<PortRef> Shown() const;
    // Why the port in use is not the one Com.TXT remembers; empty when it is.
    QString Problem() const { return problem_; }

    // The port in use may have changed.
    std::function<void()> Changed;
    // Runs before a port is opened of the window's own accord, so that a probe let go has ended.
    std::function<void()> SettleProbes;

private:
    // Tries port n on `comm`, lists it when it opens, notes it when refused or busy.
    bool TryPort(SerialControl &comm, int n);
    void DescribeEntries();
    void Change();

    DropList &list_;
    SerialControl &serial_;
    SerialLink &link_;
    Toolkit &toolkit_;
    // Off while start-up falls back on the first port for one run: the remembered port is kept.
    bool rememberChoice_ = true;
    QList<Refusal> refused_;
    QStringList busy_;  // ports that another program holds, found by the scan
    QString problem_;
    QStringList presence_;
};

}  // namespace kv306
