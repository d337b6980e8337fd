#include "agent/responder/server/tls_context.h"

// The TLS 1.1 method is asked for only to learn whether the library has it.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/err.h>
#include <openssl/ssl.h>

#include "agent/responder/server/responder.h"

namespace responder {

namespace {

constexpr char kCipherList[] =
    "ALL:ECDHE-RSA-AES128-GCM-SHA256:ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES256-GCM-SHA384:"
    "ECDHE-ECDSA-AES256-GCM-SHA384:!aNULL:!eNULL:!LOW:!EXPORT:HIGH:!SHA1:!3DES";

// The step that failed and every reason the library queued for it.
std::string StepError(const std::string& step) {
  std::string text = step + " failed";
  const char* separator = ": ";
  for (unsigned long code = ERR_get_error(); code != 0; code = ERR_get_error(), separator = "; ") {
    char reason[256];
    ERR_error_string_n(code, reason, sizeof reason);
    text += separator;
    text += reason;
  }
  return text;
}

void SetOptions(SSL_CTX* ctx) {
  // No compression (CRIME); no renegotiation, which a client could use to make
  // the server repeat expensive handshake work on one connection.
  SSL_CTX_set_options(ctx, SSL_OP_NO_SSLv2 | SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION |
                               SSL_OP_CIPHER_SERVER_PREFERENCE | SSL_OP_NO_TICKET);
  // Each page asks once per connection: resumption would only keep state
  // per client in a long-running process.
  SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
  SSL_CTX_set_num_tickets(ctx, 0);
  SSL_CTX_set_ecdh_auto(ctx, 1);
}

bool Configure(SSL_CTX* ctx, const std::string& certificate, const std::string& key,
               std::string* error) {
  SetOptions(ctx);
  if (SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) != 1) {
    *error = StepError("limiting to TLS 1.2 and newer");
  } else if (SSL_CTX_set_cipher_list(ctx, kCipherList) != 1) {
    *error = StepError("setting the cipher list");
  } else if (SSL_CTX_load_verify_locations(ctx, certificate.c_str(), nullptr) != 1) {
    *error = StepError("loading the trust file " + certificate);
  } else if (SSL_CTX_set_default_verify_paths(ctx) != 1) {
    *error = StepError("setting the default verify paths");
  } else if (SSL_CTX_use_certificate_file(ctx, certificate.c_str(), SSL_FILETYPE_PEM) <= 0) {
    *error = StepError("loading the certificate file " + certificate);
  } else if (SSL_CTX_use_PrivateKey_file(ctx, key.c_str(), SSL_FILETYPE_PEM) <= 0) {
    *error = StepError("loading the private-key file " + key);
  } else if (SSL_CTX_check_private_key(ctx) != 1) {
    *error = StepError("checking that " + key + " is the key of " + certificate);
  } else if (SSL_CTX_build_cert_chain(ctx, SSL_BUILD_CHAIN_FLAG_IGNORE_ERROR) == 0) {
    // Once here instead of at every handshake, where the library would otherwise
    // look for the issuers in the trust file and the default paths again.
    *error = StepError("building the certificate chain");
  } else {
    ERR_clear_error();  // an incomplete chain is sent as far as it goes
    return true;
  }
  return false;
}

}  // namespace

bool TlsServerMethodAvailable() {
#ifdef OPENSSL_NO_TLS1_1_METHOD
  return false;
#else
  return TLSv1_1_server_method() != nullptr && TLS_server_method() != nullptr;
#endif
}

std::unique_ptr<TlsContext> TlsContext::Create(const std::string& certificate_file,
                                               const std::string& key_file, std::string* error) {
  // No configuration file: the library's compiled-in folder may be one that any
  // user can create on Windows, and the agent runs elevated.
  if (OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS |
                           OPENSSL_INIT_NO_LOAD_CONFIG,
                       nullptr) != 1) {
    *error = StepError("initialising the TLS library");
    return nullptr;
  }
  ERR_clear_error();
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (ctx == nullptr) {
    *error = StepError("creating the TLS server context");
    return nullptr;
  }
  if (!Configure(ctx, certificate_file, key_file, error)) {
    SSL_CTX_free(ctx);
    return nullptr;
  }
  return std::unique_ptr<TlsContext>(new TlsContext(ctx));
}

TlsContext::~TlsContext() { SSL_CTX_free(ctx_); }

}  // namespace responder
