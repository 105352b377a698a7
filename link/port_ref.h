#pragma once

#include "link/port_access.h"

#include <QList>
#include <QString>

#include <optional>

namespace kv306 {

class CommError;

// One shape for a port, whoever names it: the window's list, a command line, Com.TXT, the
// station's slots. Made once from what was written and resolved the same way everywhere, so that
// one port is recognised as one port: by its name, or by the device two names lead to.
struct PortRef {
    QString label;   // as shown: "COM3", or a device path as it was written ("pts/9")
    int number = 0;  // n for COMn; 0 for a device path

    // COMn.
    static PortRef Com(int number);
    // A name as a user writes it: "COM3", "com3" (as Windows writes it), or a device path, which
    // has a "/" in it. Nothing, with the reason, for text that names no port.
    static std::optional<PortRef> Parse(const QString &text, QString *error);

    // Where the port leads now: COMn's place on this system (link/port_map.h), or the path, a
    // relative one taken from the current folder.
    QString Device() const;
    // Behind a serial device server: a server's name, or COMn whose ports-folder entry names one.
    bool Served() const;
    // The same name, or two names that lead to one device (links followed, also while the
    // device is not there).
    bool SameAs(const PortRef &other) const;
    // The servers' hosts of these ports looked up all at once, within one bound, before their
    // names are compared: a host that is never known costs one wait, not one a pair.
    static void LookUpServers(const QList<PortRef> &ports);
};

// How a port would take an open now, and why not.
struct PortExamination {
    enum class State { Free, Busy, NoPermission, Missing, NotSerial, Unusable };
    State state = State::Free;
    int errorNumber = 0;
    // Why, when it is not free: "a link to /dev/ttyUSB3, which is not there", "/tmp/p/COM3 is a
    // named pipe", "held by minicom (process 4242)", the refusal's message, the error.
    QString cause;
    // Who holds a busy port, where the system tells.
    QString holder;
    // Why this user may not open it.
    std::optional<Refusal> refusal;

    bool Free() const { return state == State::Free; }
    // "free", "busy", "no permission", "missing", "not a serial device", "unusable"
    QString StateWord() const;
};

// Opens the port and closes it at once: a free port is left as it was, a port another program
// holds is not disturbed (its open is refused).
PortExamination ExaminePort(const PortRef &port);
// What an open's failure says of the port.
PortExamination ExamineFailure(const PortRef &port, const CommError &error);

// COM1 to COM20 whose name is there at all, whatever it leads to (a link to nothing, a loop, a
// pipe: their examination says what is wrong), or, with `present`, only those that lead to
// something that is there. Opens nothing.
QList<PortRef> NamedPorts();
QList<PortRef> PresentPorts();

}  // namespace kv306
