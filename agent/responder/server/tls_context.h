// The responder's TLS server context: its server certificate and key, TLS 1.2
// and newer, the cipher list the pages' browsers have always been offered.
#pragma once

#include <memory>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;

namespace responder {

class TlsContext {
 public:
  // nullptr with the failed step and the library's reason in *error.
  static std::unique_ptr<TlsContext> Create(const std::string& certificate_file,
                                            const std::string& key_file, std::string* error);
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  SSL_CTX* get() const { return ctx_; }

 private:
  explicit TlsContext(SSL_CTX* ctx) : ctx_(ctx) {}
  SSL_CTX* ctx_;
};

}  // namespace responder
