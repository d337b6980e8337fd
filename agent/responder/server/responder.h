// The presence responder's server: a TLS listener on one TCP port that answers
// every request with the JSONP reply of core/jsonp_reply.h and closes. The same
// code runs in the agent, in the keep-alive service and, for tests and
// benchmarks, as a Linux program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace responder {

struct ResponderConfig {
  std::string certificate_file;  // PEM server certificate; also the trust file
  std::string key_file;          // PEM private key of that certificate
  std::string address = "0.0.0.0";
  std::uint16_t port = 12500;
  // Called on a worker thread after each accepted connection; must not block.
  std::function<void()> on_connection;

  // Handshake, request read and reply of one connection end by this time.
  int connection_deadline_ms = 3000;
  // Connections in progress at once, shared out evenly among the workers; at a
  // worker's share its oldest one is ended so that a new page is still answered.
  std::size_t max_connections = 1024;
  // Event loops that accept and serve connections side by side.
  std::size_t workers = 2;
  // Pause before binding again while the port is taken.
  int bind_retry_ms = 5000;
  // Called on the listener thread once it listens, with the port (useful with
  // port 0), and after each failed bind with the reason.
  std::function<void(std::uint16_t port)> on_listening;
  std::function<void(const std::string& reason)> on_bind_failed;
};

// Whether the linked TLS library offers a TLS 1.1-capable server method, which
// the responder requires before it listens at all.
bool TlsServerMethodAvailable();

class Responder {
 public:
  // Sets up the TLS context (certificate, key and their match checked); nullptr
  // with a reason in *error when any step fails. Binds nothing yet.
  static std::unique_ptr<Responder> Create(const ResponderConfig& config, std::string* error);
  ~Responder();
  Responder(const Responder&) = delete;
  Responder& operator=(const Responder&) = delete;

  // Listens and serves until RequestStop, on this thread and workers - 1 more.
  // While the port is taken it retries every few seconds, waking at once for a stop.
  void Run();
  // Safe from any thread, also before Run; Run returns soon after.
  void RequestStop();

  struct Impl;

 private:
  explicit Responder(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace responder
