#pragma once

#include "link/checked.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace kv306 {

// A TCP connection to a serial device server, used without an event loop from whatever thread
// holds the port, every wait bounded. One file a system: tcp_stream_posix.cpp on Qt Network's
// QTcpSocket, tcp_stream_win.cpp on Winsock (the Qt of the Windows build has no Network module).
class TcpStream {
public:
    enum class Failure {
        None,
        NotFound,  // the host name is not known
        Refused,   // nothing listens there
        TimedOut,  // no connection (or no answer to the name) within the time given
        Other,
    };

    TcpStream();
    ~TcpStream();
    TcpStream(const TcpStream &) = delete;
    TcpStream &operator=(const TcpStream &) = delete;

    // Looks the host up and connects within `ms`, with Nagle's delay off (the frames are small
    // and each waits for its answer).
    Failure Connect(const QString &host, quint16 port, int ms);
    bool IsOpen() const;
    // The address connected to, as text ("127.0.0.1"); empty while not connected.
    QString PeerAddress() const;
    // Hands every byte to the connection within `ms`; false when the peer is gone.
    bool Send(const QByteArray &bytes, int ms);
    // What arrives within `ms`, at once when something waits, at most kReceiveMax bytes (a
    // server that floods is read as fast as it is taken, never held whole); empty when nothing
    // did. `closed` is set once the peer has closed the connection (what it sent before is still
    // returned).
    static constexpr qint64 kReceiveMax = 64 * 1024;
    QByteArray Receive(int ms, bool *closed);
    void Close();
    // The system's words for the last failure.
    QString ErrorText() const { return error_; }
    // A failure found out without trying again (a name known not to be there).
    void SetErrorText(const QString &text) { error_ = text; }

private:
    struct System;
    std::unique_ptr<System> system_;
    QString error_;
};

// The host's first address as text, looked up within `ms` on a thread of its own so that a name
// server that does not answer cannot hold the caller; why not, when it is not known ("not found"
// or "no answer within 2000 ms"). An address given as such comes back as it is.
Checked<QString> LookUpHost(const QString &host, int ms);

}  // namespace kv306
