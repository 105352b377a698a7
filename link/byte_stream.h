#pragma once

#include <QByteArray>
#include <QString>

namespace kv306 {

// A connection's bytes both ways, every wait bounded: plain TCP (TcpStream) or TLS over it
// (TlsStream). The Telnet of rfc2217:// and the raw bytes of socket:// run over either alike.
class ByteStream {
public:
    virtual ~ByteStream() = default;
    virtual bool IsOpen() const = 0;
    // The address connected to, as text ("127.0.0.1"); empty while not connected.
    virtual QString PeerAddress() const = 0;
    // Hands every byte to the connection within `ms`; false when the peer is gone.
    virtual bool Send(const QByteArray &bytes, int ms) = 0;
    // What arrives within `ms`, at once when something waits; empty when nothing did. `closed`
    // is set once the peer has closed the connection (what it sent before is still returned).
    virtual QByteArray Receive(int ms, bool *closed) = 0;
    virtual void Close() = 0;
    // The system's (or the TLS library's) words for the last failure.
    virtual QString ErrorText() const = 0;
};

}  // namespace kv306
