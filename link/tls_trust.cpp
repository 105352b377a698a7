#include "link/tls_context.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <mutex>

// Windows' certificate store first: OpenSSL's headers take back the names wincrypt.h defines.
#ifdef Q_OS_WIN
#include <windows.h>
// wincrypt.h needs windows.h before it.
#include <wincrypt.h>
#endif

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace kv306 {

namespace {

std::mutex trustMutex;
TlsTrust processTrust;

#ifdef Q_OS_WIN
// Windows keeps its trusted authorities in its own store, where OpenSSL does not look.
void AddSystemRoots(SSL_CTX *ctx)
{
    HCERTSTORE store = CertOpenSystemStoreW(0, L"ROOT");
    if (!store)
        return;
    X509_STORE *into = SSL_CTX_get_cert_store(ctx);
    for (PCCERT_CONTEXT c = CertEnumCertificatesInStore(store, nullptr); c;
         c = CertEnumCertificatesInStore(store, c)) {
        const unsigned char *der = c->pbCertEncoded;
        if (X509 *x = d2i_X509(nullptr, &der, static_cast<long>(c->cbCertEncoded))) {
            X509_STORE_add_cert(into, x);
            X509_free(x);
        }
    }
    CertCloseStore(store, 0);
}
#endif

// The TLS library's words for its errors, taken off its queue.
QString LibraryErrors()
{
    QStringList said;
    while (const unsigned long e = ERR_get_error()) {
        char text[256];
        ERR_error_string_n(e, text, sizeof text);
        said << QString::fromUtf8(text);
    }
    return said.join(QStringLiteral("; "));
}

// What makes a kept context stale: another file named, or one of them written since.
QString StampOf(const TlsTrust &trust)
{
    QStringList parts;
    for (const QString &path : {trust.caFile, trust.certFile, trust.keyFile})
        parts << path << QString::number(QFileInfo(path).lastModified().toMSecsSinceEpoch());
    return parts.join(QLatin1Char('\n'));
}

Checked<SSL_CTX *> MakeContext(const TlsTrust &trust)
{
    SSL_CTX *ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx)
        return Checked<SSL_CTX *>::Refused(LibraryErrors());
    const auto refuse = [ctx](const QString &why) {
        SSL_CTX_free(ctx);
        return Checked<SSL_CTX *>::Refused(why);
    };
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    if (trust.caFile.isEmpty()) {
        SSL_CTX_set_default_verify_paths(ctx);
#ifdef Q_OS_WIN
        AddSystemRoots(ctx);
#endif
    } else if (SSL_CTX_load_verify_locations(ctx, QFile::encodeName(trust.caFile).constData(), nullptr) !=
               1) {
        return refuse(
            QStringLiteral("%1 holds no authority's certificate (%2)").arg(trust.caFile, LibraryErrors()));
    }
    if (!trust.certFile.isEmpty() &&
        (SSL_CTX_use_certificate_chain_file(ctx, QFile::encodeName(trust.certFile).constData()) != 1 ||
         SSL_CTX_use_PrivateKey_file(ctx, QFile::encodeName(trust.keyFile).constData(), SSL_FILETYPE_PEM) !=
             1 ||
         SSL_CTX_check_private_key(ctx) != 1))
        return refuse(QStringLiteral("the certificate %1 and the key %2 cannot serve together (%3)")
                          .arg(trust.certFile, trust.keyFile, LibraryErrors()));
    return ctx;
}

}  // namespace

void SetTlsTrust(const TlsTrust &trust)
{
    std::lock_guard lock(trustMutex);
    processTrust = trust;
}

TlsTrust CurrentTlsTrust()
{
    std::lock_guard lock(trustMutex);
    return processTrust;
}

Done CheckTlsTrust(const TlsTrust &trust)
{
    if (trust.certFile.isEmpty() != trust.keyFile.isEmpty())
        return Done::Refused(
            trust.certFile.isEmpty()
                ? QStringLiteral("a key (%1) without its certificate: name both").arg(trust.keyFile)
                : QStringLiteral("a certificate (%1) without its key: name both").arg(trust.certFile));
    for (const QString &path : {trust.caFile, trust.certFile, trust.keyFile}) {
        if (path.isEmpty())
            continue;
        QFile f(path);
        if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly))
            return Done::Refused(QStringLiteral("%1 cannot be read: %2")
                                     .arg(path, QFileInfo::exists(path)
                                                    ? f.errorString()
                                                    : QStringLiteral("there is no such file")));
    }
#ifndef Q_OS_WIN
    // A key that others may read is no secret: refused, as ssh refuses one.
    if (!trust.keyFile.isEmpty()) {
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                QFileDevice::ReadOther | QFileDevice::WriteOther;
        if (QFileInfo(trust.keyFile).permissions() & others)
            return Done::Refused(QStringLiteral("the key %1 may be read by other users: make it yours alone "
                                                "(chmod 600 %1)")
                                     .arg(trust.keyFile));
    }
#endif
    return Done::Ok();
}

Checked<SSL_CTX *> TlsContextFor(const TlsTrust &trust)
{
    static std::mutex mutex;
    static SSL_CTX *kept = nullptr;
    static QString keptStamp;
    const QString stamp = StampOf(trust);
    std::lock_guard lock(mutex);
    if (!kept || stamp != keptStamp) {
        const Checked<SSL_CTX *> made = MakeContext(trust);
        if (!made)
            return made;
        if (kept)
            SSL_CTX_free(kept);
        kept = *made;
        keptStamp = stamp;
    }
    SSL_CTX_up_ref(kept);
    return kept;
}

}  // namespace kv306
