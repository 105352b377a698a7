#include "link/tls_stream.h"

#include "link/tcp_stream.h"
#include "link/tls_context.h"

#include <QElapsedTimer>

#include <algorithm>
#include <optional>
#include <utility>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace kv306 {

namespace {

// How long TLS's own bytes may wait for the connection to take them.
constexpr int kFlushMs = 1000;
// How long a server that asked for our certificate has, after the handshake, to say whether it
// took it (TLS 1.3 says so only then).
constexpr int kVerdictMs = 500;

QString Text(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

QDateTime TimeOf(const ASN1_TIME *time)
{
    struct tm t = {};
    if (!time || ASN1_TIME_to_tm(time, &t) != 1)
        return {};
    return QDateTime(QDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday), QTime(t.tm_hour, t.tm_min, t.tm_sec),
                     Qt::UTC);
}

QString NameOf(const X509_NAME *name)
{
    // The common name alone where there is one: what a reader knows an authority by.
    const int at = X509_NAME_get_index_by_NID(name, NID_commonName, -1);
    if (at >= 0) {
        const ASN1_STRING *cn = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, at));
        return QString::fromUtf8(reinterpret_cast<const char *>(ASN1_STRING_get0_data(cn)),
                                 ASN1_STRING_length(cn));
    }
    char *line = X509_NAME_oneline(name, nullptr, 0);
    const QString text = Text(line);
    OPENSSL_free(line);
    return text;
}

// The names a certificate is for: its alternative names (DNS and IP), else its common name.
QStringList NamesOf(X509 *cert)
{
    QStringList names;
    auto *alt = static_cast<GENERAL_NAMES *>(X509_get_ext_d2i(cert, NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; alt && i < sk_GENERAL_NAME_num(alt); ++i) {
        const GENERAL_NAME *n = sk_GENERAL_NAME_value(alt, i);
        if (n->type == GEN_DNS) {
            names << QString::fromUtf8(reinterpret_cast<const char *>(ASN1_STRING_get0_data(n->d.dNSName)),
                                       ASN1_STRING_length(n->d.dNSName));
        } else if (n->type == GEN_IPADD) {
            const int length = ASN1_STRING_length(n->d.iPAddress);
            const unsigned char *bytes = ASN1_STRING_get0_data(n->d.iPAddress);
            QStringList parts;
            if (length == 4) {
                for (int i = 0; i < 4; ++i)
                    parts << QString::number(bytes[i]);
                names << parts.join(QLatin1Char('.'));
            } else if (length == 16) {
                for (int i = 0; i < 16; i += 2)
                    parts << QString::number(bytes[i] << 8 | bytes[i + 1], 16);
                names << parts.join(QLatin1Char(':'));
            }
        }
    }
    GENERAL_NAMES_free(alt);
    if (names.isEmpty())
        names << NameOf(X509_get_subject_name(cert));
    return names;
}

}  // namespace

bool LooksLikeTlsRecord(const QByteArray &bytes)
{
    // A record's type (alert 21, handshake 22) and the major version 3.
    return bytes.size() >= 2 && (bytes[0] == 21 || bytes[0] == 22) && bytes[1] == 3;
}

struct TlsStream::Session {
    SSL_CTX *ctx = nullptr;
    SSL *ssl = nullptr;
    BIO *in = nullptr;   // what the server sent, for TLS to read
    BIO *out = nullptr;  // what TLS wrote, for the server
    // The first failure of the certificate's check, as the check met it.
    int verifyError = X509_V_OK;
    QString issuer;
    QStringList names;
    QDateTime notBefore, notAfter;
    bool asked = false;  // the server asked for our certificate
    ~Session()
    {
        if (ssl)
            SSL_free(ssl);  // and its two BIOs
        if (ctx)
            SSL_CTX_free(ctx);
    }
    static int Index()
    {
        static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
        return index;
    }
    static int Verify(int ok, X509_STORE_CTX *store)
    {
        auto *ssl =
            static_cast<SSL *>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
        auto *self = static_cast<Session *>(SSL_get_ex_data(ssl, Index()));
        if (!ok && self && self->verifyError == X509_V_OK) {
            self->verifyError = X509_STORE_CTX_get_error(store);
            X509 *cert = X509_STORE_CTX_get_current_cert(store);
            if (cert) {
                self->issuer = NameOf(X509_get_issuer_name(cert));
                self->names = NamesOf(cert);
                self->notBefore = TimeOf(X509_get0_notBefore(cert));
                self->notAfter = TimeOf(X509_get0_notAfter(cert));
            }
        }
        return ok;
    }
    static int Asked(SSL *ssl, void *)
    {
        if (auto *self = static_cast<Session *>(SSL_get_ex_data(ssl, Index())))
            self->asked = true;
        return 1;
    }
};

TlsStream::TlsStream(TcpStream &tcp) : tcp_(tcp), session_(std::make_unique<Session>()) {}

TlsStream::~TlsStream() = default;

bool TlsStream::Flush(int ms)
{
    char *data = nullptr;
    const long size = BIO_get_mem_data(session_->out, &data);
    if (size <= 0)
        return true;
    const QByteArray bytes(data, static_cast<qsizetype>(size));
    (void)BIO_reset(session_->out);
    if (!tcp_.Send(bytes, ms)) {
        error_ = tcp_.ErrorText();
        failed_ = true;
        return false;
    }
    return true;
}

TlsStream::Outcome TlsStream::Handshake(const QString &host, const TlsTrust &trust, int ms)
{
    QElapsedTimer clock;
    clock.start();
    Session &s = *session_;
    Outcome outcome;
    const auto refuse = [this, &outcome](Refusal refusal, const QString &detail) {
        outcome.refusal = refusal;
        outcome.detail = detail;
        error_ = detail;
        failed_ = true;
        return outcome;
    };
    // The TLS library's reason for the first of its errors, and all their words, taken off its
    // queue.
    int reason = 0;
    const auto libraryError = [&reason] {
        reason = ERR_GET_REASON(ERR_peek_error());
        QStringList said;
        while (const unsigned long e = ERR_get_error()) {
            char text[256];
            ERR_error_string_n(e, text, sizeof text);
            said << Text(text);
        }
        return said.join(QStringLiteral("; "));
    };
    ERR_clear_error();
    // The trust's context, made once while its files stay as they are.
    const Checked<SSL_CTX *> context = TlsContextFor(trust);
    if (!context)
        return refuse(Refusal::Other, context.reason);
    s.ctx = *context;
    s.ssl = SSL_new(s.ctx);
    s.in = BIO_new(BIO_s_mem());
    s.out = BIO_new(BIO_s_mem());
    if (!s.ssl || !s.in || !s.out)
        return refuse(Refusal::Other, libraryError());
    SSL_set_bio(s.ssl, s.in, s.out);
    SSL_set_ex_data(s.ssl, Session::Index(), &s);
    SSL_set_verify(s.ssl, SSL_VERIFY_PEER, &Session::Verify);
    SSL_set_cert_cb(s.ssl, &Session::Asked, nullptr);
    // The name the certificate must hold: an address is checked against its IP names.
    const QByteArray name = host.toUtf8();
    ASN1_OCTET_STRING *address = a2i_IPADDRESS(name.constData());
    ASN1_OCTET_STRING_free(address);
    if (!address) {
        SSL_set1_host(s.ssl, name.constData());
        SSL_set_tlsext_host_name(s.ssl, name.constData());
    } else {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(s.ssl), name.constData());
    }
    SSL_set_connect_state(s.ssl);

    bool heard = false;
    const auto feed = [&](int left) -> std::optional<Outcome> {
        bool closed = false;
        const QByteArray got = tcp_.Receive(left, &closed);
        if (!got.isEmpty()) {
            // A server that answers a TLS greeting with anything but TLS speaks plain.
            if (!heard && !LooksLikeTlsRecord(got))
                return refuse(Refusal::PlainServer, QStringLiteral("the server answered without TLS"));
            heard = true;
            BIO_write(s.in, got.constData(), static_cast<int>(got.size()));
        } else if (closed) {
            return refuse(heard ? Refusal::Closed : Refusal::PlainServer,
                          QStringLiteral("the server closed the connection during the handshake"));
        }
        return std::nullopt;
    };
    // What a failed handshake or a refused certificate says.
    const auto judge = [&](const QString &said) -> Outcome {
        switch (s.verifyError) {
        case X509_V_OK: break;
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            outcome.names = s.names;
            return refuse(Refusal::NameMismatch, QStringLiteral("the certificate is for %1, not %2")
                                                     .arg(s.names.join(QStringLiteral(", ")), host));
        case X509_V_ERR_CERT_HAS_EXPIRED:
            outcome.notBefore = s.notBefore;
            outcome.notAfter = s.notAfter;
            return refuse(
                Refusal::Expired,
                QStringLiteral("the certificate expired on %1").arg(s.notAfter.toString(Qt::ISODate)));
        case X509_V_ERR_CERT_NOT_YET_VALID:
            outcome.notBefore = s.notBefore;
            outcome.notAfter = s.notAfter;
            return refuse(Refusal::NotYetValid, QStringLiteral("the certificate is valid from %1 only")
                                                    .arg(s.notBefore.toString(Qt::ISODate)));
        default:
            outcome.issuer = s.issuer;
            return refuse(Refusal::NotTrusted,
                          QStringLiteral("the certificate is signed by %1, whom we do not trust (%2)")
                              .arg(s.issuer, Text(X509_verify_cert_error_string(s.verifyError))));
        }
        if (reason == SSL_R_TLSV13_ALERT_CERTIFICATE_REQUIRED ||
            (!s.asked && trust.certFile.isEmpty() && reason == SSL_R_SSLV3_ALERT_HANDSHAKE_FAILURE))
            return refuse(Refusal::ClientCertWanted,
                          QStringLiteral("the server wants our certificate (%1)").arg(said));
        if (reason == SSL_R_SSLV3_ALERT_BAD_CERTIFICATE || reason == SSL_R_TLSV1_ALERT_UNKNOWN_CA ||
            reason == SSL_R_SSLV3_ALERT_CERTIFICATE_UNKNOWN || reason == SSL_R_TLSV1_ALERT_ACCESS_DENIED ||
            reason == SSL_R_SSLV3_ALERT_CERTIFICATE_EXPIRED || reason == SSL_R_TLSV1_ALERT_DECRYPT_ERROR ||
            reason == SSL_R_SSLV3_ALERT_HANDSHAKE_FAILURE)
            return refuse(trust.certFile.isEmpty() ? Refusal::ClientCertWanted : Refusal::ClientCertRefused,
                          QStringLiteral("the server refused our certificate (%1)").arg(said));
        if (reason == SSL_R_WRONG_VERSION_NUMBER || reason == SSL_R_PACKET_LENGTH_TOO_LONG)
            return refuse(Refusal::PlainServer,
                          QStringLiteral("the server answered without TLS (%1)").arg(said));
        return refuse(Refusal::Other, said);
    };
    for (;;) {
        const int r = SSL_do_handshake(s.ssl);
        if (!Flush(kFlushMs))
            return refuse(heard ? Refusal::Closed : Refusal::PlainServer, error_);
        if (r == 1)
            break;
        if (SSL_get_error(s.ssl, r) != SSL_ERROR_WANT_READ)
            return judge(libraryError());
        const int left = static_cast<int>(ms - clock.elapsed());
        if (left <= 0)
            return refuse(Refusal::TimedOut,
                          QStringLiteral("the handshake did not end within %1 ms").arg(ms));
        if (std::optional<Outcome> refused = feed(left))
            return *refused;
    }
    // With TLS 1.3 a server judges our certificate (or its want of one) after our side of the
    // handshake has ended: its verdict, an alert or its session tickets, is awaited a moment
    // before anything is sent, so that a refusal is said and nothing reaches the unit.
    if (s.asked) {
        const qint64 until = std::min<qint64>(ms, clock.elapsed() + kVerdictMs);
        for (;;) {
            char buffer[4096];
            const int n = SSL_read(s.ssl, buffer, sizeof buffer);
            if (n > 0) {
                pending_.append(buffer, n);
                break;
            }
            if (SSL_get_error(s.ssl, n) != SSL_ERROR_WANT_READ)
                return judge(libraryError());
            if (SSL_SESSION_is_resumable(SSL_get0_session(s.ssl)))
                break;  // a session ticket came: the server took us
            const int left = static_cast<int>(until - clock.elapsed());
            if (left <= 0)
                break;
            bool closed = false;
            const QByteArray got = tcp_.Receive(left, &closed);
            if (!got.isEmpty())
                BIO_write(s.in, got.constData(), static_cast<int>(got.size()));
            else if (closed)
                return refuse(
                    trust.certFile.isEmpty() ? Refusal::ClientCertWanted : Refusal::ClientCertRefused,
                    QStringLiteral("the server closed the connection after it asked for our certificate"));
        }
    }
    error_.clear();
    return outcome;
}

bool TlsStream::AskedForCertificate() const
{
    return session_->asked;
}

bool TlsStream::IsOpen() const
{
    return !failed_ && tcp_.IsOpen();
}

QString TlsStream::PeerAddress() const
{
    return tcp_.PeerAddress();
}

bool TlsStream::Send(const QByteArray &bytes, int ms)
{
    if (failed_ || !session_->ssl)
        return false;
    if (!bytes.isEmpty() &&
        SSL_write(session_->ssl, bytes.constData(), static_cast<int>(bytes.size())) <= 0) {
        error_ = QStringLiteral("TLS refused the write");
        failed_ = true;
        return false;
    }
    return Flush(ms);
}

QByteArray TlsStream::Receive(int ms, bool *closed)
{
    if (!pending_.isEmpty())
        return std::exchange(pending_, {});
    if (failed_ || !session_->ssl) {
        *closed = true;
        return {};
    }
    QElapsedTimer clock;
    clock.start();
    QByteArray data;
    for (;;) {
        char buffer[4096];
        const int n = SSL_read(session_->ssl, buffer, sizeof buffer);
        if (n > 0) {
            data.append(buffer, n);
            if (data.size() >= TcpStream::kReceiveMax)
                return data;
            continue;
        }
        const int e = SSL_get_error(session_->ssl, n);
        Flush(kFlushMs);  // a key update's answer
        if (e != SSL_ERROR_WANT_READ) {
            // The server's close_notify, or a broken record: the connection is over.
            *closed = true;
            error_ = e == SSL_ERROR_ZERO_RETURN ? QStringLiteral("the server closed the connection")
                                                : QStringLiteral("the TLS connection broke");
            failed_ = true;
            return data;
        }
        if (!data.isEmpty())
            return data;
        const int left = static_cast<int>(ms - clock.elapsed());
        bool tcpClosed = false;
        const QByteArray got = tcp_.Receive(std::max(left, 0), &tcpClosed);
        if (!got.isEmpty()) {
            BIO_write(session_->in, got.constData(), static_cast<int>(got.size()));
            continue;
        }
        if (tcpClosed) {
            *closed = true;
            error_ = tcp_.ErrorText();
            return data;
        }
        if (left <= 0)
            return data;
    }
}

void TlsStream::Close()
{
    // A close_notify first, so that the server sees a close, not a cut.
    if (session_->ssl && !failed_ && tcp_.IsOpen() && SSL_is_init_finished(session_->ssl)) {
        SSL_shutdown(session_->ssl);
        Flush(50);
    }
    failed_ = true;
    tcp_.Close();
}

}  // namespace kv306
