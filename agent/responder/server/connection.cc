#include "server/connection.h"

#include <openssl/ssl.h>

#include <algorithm>
#include <memory>
#include <string>

#include "core/jsonp_reply.h"

namespace responder {

namespace {

// What is drained after the reply, so that unread request bytes do not make
// the close a reset that would destroy the reply on its way.
constexpr std::size_t kMaxDrainBytes = 256 * 1024;
constexpr int kMaxDrainMs = 1000;

int RemainingMs(Deadline deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<long long>(0, left.count()));
}

bool WaitFor(SocketHandle socket, bool read, Deadline deadline) {
  int left = RemainingMs(deadline);
  if (left <= 0) return false;
  PollEntry entry;
  entry.socket = socket;
  entry.want_read = read;
  entry.want_write = !read;
  return PollSockets(&entry, 1, left) > 0;
}

// Runs one TLS step until it completes, fails or the deadline passes; a
// trickling client only wakes the loop, it never moves the deadline.
template <typename Step>
int Drive(SSL* ssl, SocketHandle socket, Deadline deadline, Step step) {
  for (;;) {
    int result = step();
    if (result > 0) return result;
    int error = SSL_get_error(ssl, result);
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) return result;
    if (!WaitFor(socket, error == SSL_ERROR_WANT_READ, deadline)) return -1;
  }
}

void DrainAndClose(SocketHandle socket, Deadline deadline) {
  ShutdownSend(socket);
  Deadline drain_end = std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(kMaxDrainMs));
  char scratch[4096];
  std::size_t drained = 0;
  while (drained < kMaxDrainBytes) {
    std::size_t n = 0;
    IoResult result = Receive(socket, scratch, sizeof scratch, &n);
    if (result == IoResult::kClosed) return;
    if (result == IoResult::kDone) {
      drained += n;
    } else if (!WaitFor(socket, true, drain_end)) {
      return;
    }
  }
}

void Answer(SSL* ssl, SocketHandle socket, Deadline deadline) {
  if (Drive(ssl, socket, deadline, [&] { return SSL_accept(ssl); }) <= 0) return;
  // Zeroed and one byte longer, so the request is always a terminated text.
  std::unique_ptr<char[]> request(new char[kMaxRequestBytes + 1]());
  int read = Drive(ssl, socket, deadline, [&] { return SSL_read(ssl, request.get(), static_cast<int>(kMaxRequestBytes)); });
  if (read <= 0) return;
  std::string reply = JsonpReply(std::string_view(request.get(), static_cast<std::size_t>(read)));
  if (Drive(ssl, socket, deadline, [&] { return SSL_write(ssl, reply.data(), static_cast<int>(reply.size())); }) <= 0) return;
  // close_notify only; the client's own is not waited for.
  Drive(ssl, socket, deadline, [&] { return SSL_shutdown(ssl) >= 0 ? 1 : -1; });
  DrainAndClose(socket, deadline);
}

}  // namespace

void ServeConnection(SSL_CTX* ctx, SocketHandle socket, Deadline deadline) {
  SSL* ssl = SSL_new(ctx);
  if (ssl == nullptr) return;
  if (SSL_set_fd(ssl, static_cast<int>(socket)) == 1) Answer(ssl, socket, deadline);
  SSL_free(ssl);
}

}  // namespace responder
