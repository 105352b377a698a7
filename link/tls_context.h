#pragma once

#include "link/checked.h"
#include "link/tls_stream.h"

#include <openssl/ssl.h>

namespace kv306 {

// The TLS context of a trust: its authorities loaded (on Windows, the system's store read) and
// our certificate with its key, made once and kept while the files stay as they are, not again
// at every exchange. A reference of the caller's own (SSL_CTX_free); the reason when the files
// cannot serve.
Checked<SSL_CTX *> TlsContextFor(const TlsTrust &trust);

}  // namespace kv306
