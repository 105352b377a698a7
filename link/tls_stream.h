#pragma once

#include "link/byte_stream.h"
#include "link/checked.h"

#include <QDateTime>
#include <QStringList>

#include <memory>

namespace kv306 {

class TcpStream;

// Whom a TLS port trusts and who we are to it: the authorities' certificates (the system's when
// no file is named), and our own certificate with its key for a server that asks for one.
struct TlsTrust {
    QString caFile;
    QString certFile;
    QString keyFile;
};
// The process's trust, set once by a front end (kv306ctl's options, the window's settings) and
// read at each TLS connection.
void SetTlsTrust(const TlsTrust &trust);
TlsTrust CurrentTlsTrust();
// Whether the files can serve: each readable; a certificate with its key, never one alone; a key
// that no other user may read (as ssh refuses one). The reason, in English, otherwise.
Done CheckTlsTrust(const TlsTrust &trust);

// TLS over an open TCP connection, the server's certificate checked against the trust and its
// name (a host name, or an IP address in the certificate's alternative names). There is no way
// to leave the check out: a port that is not to be checked is named with the plain scheme.
class TlsStream : public ByteStream {
public:
    // Why a handshake did not end in a checked connection.
    enum class Refusal {
        None,
        NotTrusted,         // signed by an authority the trust does not hold
        NameMismatch,       // the certificate is for other names
        Expired,            // its time is over
        NotYetValid,        // its time has not come
        ClientCertWanted,   // the server asks for our certificate, and none is set
        ClientCertRefused,  // the server refused ours
        PlainServer,        // the server does not speak TLS
        TimedOut,           // the handshake did not end within the time given
        Closed,             // the server closed the connection during the handshake
        Other,
    };
    struct Outcome {
        Refusal refusal = Refusal::None;
        QString detail;     // English, for the reason and for whoever debugs
        QString issuer;     // NotTrusted: who signed the certificate
        QStringList names;  // NameMismatch: the names the certificate holds
        QDateTime notBefore, notAfter;
    };

    // Wraps `tcp`, which stays the caller's and must outlive this.
    explicit TlsStream(TcpStream &tcp);
    ~TlsStream() override;
    TlsStream(const TlsStream &) = delete;
    TlsStream &operator=(const TlsStream &) = delete;

    // The handshake with the server `host`, within `ms`.
    Outcome Handshake(const QString &host, const TlsTrust &trust, int ms);
    // The server asked for our certificate in the handshake.
    bool AskedForCertificate() const;

    bool IsOpen() const override;
    QString PeerAddress() const override;
    bool Send(const QByteArray &bytes, int ms) override;
    QByteArray Receive(int ms, bool *closed) override;
    void Close() override;
    QString ErrorText() const override { return error_; }

private:
    struct Session;
    // Hands what TLS has written to the connection.
    bool Flush(int ms);
    TcpStream &tcp_;
    std::unique_ptr<Session> session_;
    QByteArray pending_;  // the server's data read while the handshake was being judged
    bool failed_ = false;
    QString error_;
};

// Whether bytes a server sent first are a TLS record (an alert, a handshake): what a TLS server
// answers a plain client with.
bool LooksLikeTlsRecord(const QByteArray &bytes);

}  // namespace kv306
