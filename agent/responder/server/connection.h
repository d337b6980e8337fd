// One accepted connection served to its end: handshake, one read, the reply,
// close_notify and close, all within one deadline.
#pragma once

#include <chrono>

#include "server/net_platform.h"

typedef struct ssl_ctx_st SSL_CTX;

namespace responder {

using Deadline = std::chrono::steady_clock::time_point;

// Serves the non-blocking socket; does not close it (the caller does, after it
// can no longer be shut down from elsewhere).
void ServeConnection(SSL_CTX* ctx, SocketHandle socket, Deadline deadline);

}  // namespace responder
