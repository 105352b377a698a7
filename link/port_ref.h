#pragma once

#include "link/checked.h"
#include "link/network_port.h"
#include "link/port_access.h"

#include <QList>
#include <QString>

#include <optional>

namespace kv306 {

class CommError;

// A port, whoever names it: the window's list, a command line, Com.TXT, a ports-folder file, the
// station's slots. What kind of port it is, is decided once, where its name is read; every front
// end and the serial control take this value, never the text again.
class PortRef {
public:
    enum class Kind {
        Com,     // COMn: a place on this system (link/port_map.h), which may lead to a server
        Path,    // a device path as written ("/dev/ttyUSB0", "pts/9")
        Server,  // "rfc2217://HOST:PORT", "socket://HOST:PORT"
    };

    // COMn.
    static PortRef Com(int number);
    // A name as a user writes it: "COM3", "com3" (as Windows writes it), a server's name, or a
    // device path, which has a "/" in it; the reason for text that names no port.
    static Checked<PortRef> Read(const QString &text);

    Kind kind() const { return kind_; }
    // As shown: "COM3", a server's name or a device path as it was written.
    const QString &Label() const { return label_; }
    // n for COMn; 0 for any other kind.
    int Number() const { return kind_ == Kind::Com ? number_ : 0; }

    // Where the port leads now: COMn's place on this system (a device, or the server its
    // ports-folder entry names), the server's name, or the path (a relative one taken from the
    // current folder).
    QString Device() const;
    // The server the port reaches now: its own, or the one COMn's ports-folder entry names.
    std::optional<NetworkPort> Server() const;
    bool Served() const { return Server().has_value(); }

    // What makes two names one port, for every same-port rule: the device they lead to (links
    // followed, also while the device is not there), or the server's address and port (the
    // scheme does not count: one server port serves one client however it is spoken to). A
    // server's host is looked up once a run (link/network_port.h).
    QString Identity() const;
    // The same name, or the same identity.
    bool SameAs(const PortRef &other) const;
    // The servers' hosts of these ports looked up all at once, within one bound, before their
    // identities are asked: a host that is never known costs one wait, not one a pair.
    static void LookUpServers(const QList<PortRef> &ports);

    bool operator==(const PortRef &other) const { return label_ == other.label_; }

private:
    PortRef(Kind kind, QString label, int number, NetworkPort server)
        : kind_(kind), label_(std::move(label)), number_(number), server_(std::move(server))
    {
    }

    Kind kind_ = Kind::Com;
    QString label_;
    int number_ = 0;
    NetworkPort server_;  // for a server's own name
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
