// The management-server simulator's server side: one loopback TCP listener that
// answers one call per connection, serves the policy file and logs every call.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "standins/mgmt_sim/core/sim_protocol.h"

namespace mgmt_sim {

// CP949 bytes to UTF-8 through iconv; a byte that starts no CP949 character
// becomes "\xHH" so that a log line always shows what arrived.
std::string Cp949ToUtf8(std::string_view text);

struct ServerOptions {
  std::string policy_path;   // served to InfoSet calls; missing or empty: no reply
  std::string log_path;      // every call appended as one line; empty: no log
  int io_timeout_ms = 5000;  // bound for reading one call and writing its reply
};

// The policy as it is now: nullopt when the file is missing, unreadable or larger
// than the protocol carries; an empty file gives an empty text (no reply).
std::optional<std::string> ReadPolicy(const std::string& path);

// Logs the call and returns the reply to send.
Reply HandleCall(const Call& call, const ServerOptions& options);

class Server {
 public:
  Server() = default;
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;
  ~Server();

  // Listens on 127.0.0.1:port; port 0 picks a free one.
  bool Listen(int port, std::string* error);
  int port() const { return port_; }

  // Serves connections one at a time until should_stop returns true (asked at
  // least every 100 ms).
  void Run(const ServerOptions& options, const std::function<bool()>& should_stop);

 private:
  void ServeConnection(int fd, const ServerOptions& options);

  int fd_ = -1;
  int port_ = 0;
};

}  // namespace mgmt_sim
