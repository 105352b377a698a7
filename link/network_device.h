#pragma once

#include "link/network_port.h"
#include "link/port_device.h"
#include "link/rfc2217.h"
#include "link/tcp_stream.h"
#include "link/tls_stream.h"

#include <map>
#include <optional>

namespace kv306 {

// A port behind a serial device server ("rfc2217://HOST:PORT", "socket://HOST:PORT"), opened
// and closed around each exchange as a local port is: each open connects (and, for rfc2217://,
// sets the server's line to the settings given and checks what it applied), each close ends
// the connection, and every wait is bounded. Its failures are the serial control's numbers,
// each with a message that names the server and the fix:
//
//   the host not known, nothing listening, no connection within 2 s    8002  该串口不存在！
//   the server serves another client (it says so and closes)           8005  串口已被占用
//   rfc2217:// and the server refuses to set the line, or sets another  8015
//   the server closes the connection during an exchange                 8020
//   +tls: the server's certificate or our own refused, a plain server,   8030
//   the handshake not ended within 2 s; a plain scheme at a TLS server
class NetworkDevice : public PortDevice {
public:
    static constexpr int kConnectMs = 2000;
    // How long the server has to agree to the line settings after the connection is made.
    static constexpr int kNegotiateMs = 1000;
    // How long a write may wait for the connection to take the bytes.
    static constexpr int kSendMs = 1000;
    // The most data kept waiting to be taken: more is a flood, and its oldest bytes go (the link
    // counts a flood by what it sees, and no reply is this long).
    static constexpr qsizetype kWaitingMax = 64 * 1024;

    // False with the error in OpenError().
    bool Open(const NetworkPort &port);
    CommError OpenError() const { return openError_.value_or(CommError(0, {})); }
    // The terminal the server serves, where it is on this computer and the system tells
    // (PortClaim::ServedDeviceKey), as found at the last open while `FindServedDevice` was on;
    // empty otherwise. Looking costs a few milliseconds an open: only the station asks.
    QString ServedDevice() const { return served_; }
    void FindServedDevice(bool find) { findServed_ = find; }

    bool SetLine(const LineSettings &line) override;
    void Close() override;
    bool IsOpen() const override;
    bool Pump(int ms) override;
    qint64 Waiting() const override { return buffer_.size(); }
    QByteArray Take(qint64 max) override;
    void DiscardInput() override;
    bool Write(const QByteArray &bytes) override;
    bool Faulted() const override { return faulted_; }
    QString ErrorText() const override { return error_; }
    CommError Fault(int usual, const QString &reason) const override;

private:
    // Takes in what the server sent within `ms`, answering its Telnet; true when data came.
    bool Receive(int ms);
    bool Negotiate();
    // An open that fails: the connection ended, the error kept; false.
    bool Refuse(int number, const QString &reason, const QString &message);
    bool Refuse(const CommError &error);
    bool Fail();
    // The TLS handshake of a +tls port; false, with its refusal kept, when it failed.
    bool Secure(int ms);
    CommError TlsRefused(const TlsStream::Outcome &outcome, int ms) const;
    // Closed by a +tls server that asked for our certificate, before it said anything.
    std::optional<CommError> OurCertificateRefused() const;
    // The connection as the port speaks over it: TLS over TCP, or TCP.
    ByteStream &Stream() { return tls_ ? static_cast<ByteStream &>(*tls_) : stream_; }
    const ByteStream &Stream() const { return tls_ ? static_cast<const ByteStream &>(*tls_) : stream_; }
    // Whether the server of a plain port speaks TLS: it answered with a TLS alert, or it said
    // nothing at all (a TLS server says nothing to a plain client, and closes) and answers a TLS
    // greeting on a connection of its own.
    bool ServerSpeaksTls() const;
    CommError SpeaksTls(const QString &reason) const;

    TcpStream stream_;
    std::unique_ptr<TlsStream> tls_;
    NetworkPort port_;
    LineSettings line_;
    telnet::Decoder decoder_;
    telnet::Answerer answerer_;
    QByteArray buffer_;
    bool faulted_ = false;
    bool closedByServer_ = false;
    bool sent_ = false;   // this connection carried a request
    bool heard_ = false;  // the server sent something, Telnet included
    QByteArray said_;     // what the server sent before anything was asked (a refusal's words)
    QString error_;
    QString served_;
    bool findServed_ = false;
    std::optional<CommError> openError_;
    // The Telnet of rfc2217://: whether the server agreed to COM-PORT-OPTION, and its answers.
    std::optional<bool> comPortAgreed_;
    std::map<std::uint8_t, QByteArray> answers_;
};

}  // namespace kv306
