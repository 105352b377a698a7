#pragma once

#include "link/checked.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace kv306 {

// A port behind a serial device server, named "rfc2217://HOST:PORT" (Telnet with the RFC 2217
// COM-PORT-OPTION: the tool sets the server's line to 9600 8N1) or "socket://HOST:PORT" (raw TCP:
// the server's own line settings apply), each also over TLS ("rfc2217+tls://", "socket+tls://").
// HOST is a name, an IPv4 address or an IPv6 address in brackets ("rfc2217://[::1]:2217").
struct NetworkPort {
    enum class Kind { Rfc2217, Socket };
    Kind kind = Kind::Socket;
    bool tls = false;  // "rfc2217+tls://", "socket+tls://": the same over TLS, the server checked
    QString host;      // without brackets
    quint16 port = 0;

    // The name as the tool writes it: scheme in lower case, an IPv6 host in brackets.
    QString Name() const;
    // "127.0.0.1:2217", "[::1]:2217"
    QString HostAndPort() const;
};

// Whether the text starts as a network port's name does ("rfc2217://", "socket+tls://", ...,
// any case).
bool LooksLikeNetworkPort(const QString &text);
// The network port a name gives; nothing, with the reason, for one that is malformed.
Checked<NetworkPort> ParseNetworkPort(const QString &text);

// A ports-folder entry COMn may be a small text file whose one line names a network port: that
// name, or nothing for anything else (a link to a device, the device itself, another file).
std::optional<QString> NetworkPortOfEntry(const QString &path);

// What makes two names one server port: the server's address (the host looked up, within
// `ms`) and its port; the scheme does not count, as one server port serves one client whichever
// way it is spoken to. The host as written when it cannot be looked up in time. A host found is
// looked up once a run, one not found once in half a minute at most: a run that compares many
// ports waits for each name once.
QString ServerKey(const NetworkPort &port, int ms = 2000);
// Looks up every host not looked up lately, all at once within one bound of `ms`, for ServerKey.
void LookUpServers(const QStringList &hosts, int ms = 2000);
// Why a host's name was not known, or not answered for in time, when that was found out in the
// last half minute: a connection to it fails at once, as the one before did.
struct HostFailure {
    QString why;
    bool timedOut = false;
};
std::optional<HostFailure> RememberedHostFailure(const QString &host);
void RememberHostFailure(const QString &host, const HostFailure &failure);

}  // namespace kv306
