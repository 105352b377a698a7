#pragma once

#include "link/byte_stream.h"
#include "link/checked.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace kv306 {

// A TCP connection to a serial device server, used without an event loop from whatever thread
// holds the port, every wait bounded. One file a system: tcp_stream_posix.cpp on Qt Network's
// QTcpSocket, tcp_stream_win.cpp on Winsock (the Qt of the Windows build has no Network module).
class TcpStream : public ByteStream {
public:
    enum class Failure {
        None,
        NotFound,  // the host name is not known
        Refused,   // nothing listens there
        TimedOut,  // no connection (or no answer to the name) within the time given
        Other,
    };

    TcpStream();
    ~TcpStream() override;
    TcpStream(const TcpStream &) = delete;
    TcpStream &operator=(const TcpStream &) = delete;

    // Looks the host up and connects within `ms`, with Nagle's delay off (the frames are small
    // and each waits for its answer).
    Failure Connect(const QString &host, quint16 port, int ms);
    bool IsOpen() const override;
    QString PeerAddress() const override;
    bool Send(const QByteArray &bytes, int ms) override;
    // At most kReceiveMax bytes at a time: a server that floods is read as fast as it is taken,
    // never held whole.
    static constexpr qint64 kReceiveMax = 64 * 1024;
    QByteArray Receive(int ms, bool *closed) override;
    void Close() override;
    QString ErrorText() const override { return error_; }
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
