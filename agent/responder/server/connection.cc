#include "agent/responder/server/connection.h"

#include <openssl/ssl.h>

#include <algorithm>
#include <memory>

#include "agent/responder/core/jsonp_reply.h"

namespace responder {

namespace {

// What is drained after the reply, so that unread request bytes do not make
// the close a reset that would destroy the reply on its way.
constexpr std::size_t kMaxDrainBytes = 256 * 1024;
constexpr auto kMaxDrain = std::chrono::seconds(1);

}  // namespace

Connection::Connection(SSL_CTX* ctx, SocketHandle socket, Clock::time_point deadline)
    : socket_(socket), deadline_(deadline) {
  ssl_ = SSL_new(ctx);
  if (ssl_ == nullptr || SSL_set_fd(ssl_, static_cast<int>(socket)) != 1) step_ = Step::kEnded;
}

Connection::~Connection() {
  SSL_free(ssl_);
  CloseSocket(socket_);
}

Want Connection::Advance() {
  while (step_ != Step::kEnded) {
    Outcome outcome = RunStep();
    if (outcome == Outcome::kWantRead || outcome == Outcome::kWantWrite) {
      want_ = outcome == Outcome::kWantRead ? Want::kRead : Want::kWrite;
      return want_;
    }
    Enter(outcome == Outcome::kDone ? static_cast<Step>(static_cast<int>(step_) + 1)
                                    : Step::kEnded);
  }
  want_ = Want::kDone;
  return want_;
}

Connection::Outcome Connection::RunStep() {
  switch (step_) {
    case Step::kHandshake: return Result(SSL_accept(ssl_));
    case Step::kRead: return ReadRequest();
    case Step::kReply:
      return Result(SSL_write(ssl_, reply_.data(), static_cast<int>(reply_.size())));
    case Step::kCloseNotify: {
      // close_notify only; the client's own is not waited for.
      int result = SSL_shutdown(ssl_);
      return result >= 0 ? Outcome::kDone : Result(result);
    }
    case Step::kDrain: return Drain();
    case Step::kEnded: break;
  }
  return Outcome::kFailed;
}

Connection::Outcome Connection::Result(int tls_result) const {
  if (tls_result > 0) return Outcome::kDone;
  switch (SSL_get_error(ssl_, tls_result)) {
    case SSL_ERROR_WANT_READ: return Outcome::kWantRead;
    case SSL_ERROR_WANT_WRITE: return Outcome::kWantWrite;
    default: return Outcome::kFailed;
  }
}

// A single read: a request is one small record, and what does not fit is
// answered like any other request.
Connection::Outcome Connection::ReadRequest() {
  std::unique_ptr<char[]> request(new char[kMaxRequestBytes]);
  int read = SSL_read(ssl_, request.get(), static_cast<int>(kMaxRequestBytes));
  if (read <= 0) return Result(read);
  reply_ = JsonpReply(std::string_view(request.get(), static_cast<std::size_t>(read)));
  return Outcome::kDone;
}

Connection::Outcome Connection::Drain() {
  char scratch[4096];
  while (drained_ < kMaxDrainBytes) {
    std::size_t n = 0;
    IoResult result = Receive(socket_, scratch, sizeof scratch, &n);
    if (result == IoResult::kClosed) return Outcome::kDone;
    if (result == IoResult::kWouldBlock) return Outcome::kWantRead;
    drained_ += n;
  }
  return Outcome::kDone;
}

void Connection::Enter(Step next) {
  step_ = next;
  if (step_ != Step::kDrain) return;
  ShutdownSend(socket_);
  deadline_ = std::min(deadline_, Clock::now() + kMaxDrain);
}

}  // namespace responder
