// One accepted connection as a state machine that never blocks: handshake, one
// read, the reply, close_notify, half-close and a short drain, all within one
// deadline. The event loop calls Advance whenever the socket is ready.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "agent/responder/server/net_platform.h"

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

namespace responder {

using Clock = std::chrono::steady_clock;

// What the connection waits for next.
enum class Want { kRead, kWrite, kDone };

class Connection {
 public:
  // Owns the non-blocking socket from here on; Advance reports kDone at once
  // when the TLS state could not be made.
  Connection(SSL_CTX* ctx, SocketHandle socket, Clock::time_point deadline);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Goes as far as the socket allows without waiting.
  Want Advance();
  Want want() const { return want_; }
  SocketHandle socket() const { return socket_; }
  // When the event loop ends the connection, whatever it waits for.
  Clock::time_point deadline() const { return deadline_; }

 private:
  // In the order they run; Advance moves to the next one when a step is done.
  enum class Step { kHandshake, kRead, kReply, kCloseNotify, kDrain, kEnded };
  enum class Outcome { kDone, kWantRead, kWantWrite, kFailed };
  Outcome RunStep();
  Outcome Result(int tls_result) const;
  Outcome ReadRequest();
  Outcome Drain();
  void Enter(Step next);

  SSL* ssl_ = nullptr;
  SocketHandle socket_;
  Clock::time_point deadline_;
  Step step_ = Step::kHandshake;
  Want want_ = Want::kRead;
  std::string reply_;
  std::size_t drained_ = 0;
};

}  // namespace responder
