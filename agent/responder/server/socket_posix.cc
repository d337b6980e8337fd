// POSIX sockets for the server.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "agent/responder/server/net_platform.h"

namespace responder {

namespace {

int Fd(SocketHandle socket) { return static_cast<int>(socket); }

std::string ErrorText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

bool StartSockets(std::string*) {
  // The TLS library writes with write(): a peer that has gone must give EPIPE,
  // not end the process. Left alone when the program chose its own handler.
  struct sigaction current {};
  if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
    signal(SIGPIPE, SIG_IGN);
  return true;
}

SocketHandle ListenOn(const std::string& address, std::uint16_t port, int backlog,
                      std::string* error) {
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(port);
  if (inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
    *error = "not an IPv4 address: " + address;
    return kNoSocket;
  }
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = ErrorText("socket");
    return kNoSocket;
  }
  // Lets a restarted responder bind while old connections linger in TIME_WAIT;
  // a port that another socket listens on still cannot be bound.
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
      listen(fd, backlog) != 0) {
    *error = ErrorText("bind/listen") + " (" + address + ":" + std::to_string(port) + ")";
    ::close(fd);
    return kNoSocket;
  }
  return fd;
}

std::uint16_t LocalPort(SocketHandle socket) {
  sockaddr_in where{};
  socklen_t size = sizeof where;
  if (getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&where), &size) != 0) return 0;
  return ntohs(where.sin_port);
}

AcceptResult AcceptConnection(SocketHandle listener, SocketHandle* accepted) {
  int fd = accept4(Fd(listener), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd >= 0) {
    // The reply and the close_notify after it are two small writes: without
    // this the second waits for the client's delayed acknowledgement (~40 ms).
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    *accepted = fd;
    return AcceptResult::kAccepted;
  }
  switch (errno) {
    case EAGAIN:
    case EINTR:
    case ECONNABORTED:
    case EPROTO: return AcceptResult::kNone;
    default: return AcceptResult::kFailed;
  }
}

void CloseSocket(SocketHandle socket) {
  if (socket != kNoSocket) ::close(Fd(socket));
}

void ShutdownBoth(SocketHandle socket) { ::shutdown(Fd(socket), SHUT_RDWR); }

void ShutdownSend(SocketHandle socket) { ::shutdown(Fd(socket), SHUT_WR); }

IoResult Receive(SocketHandle socket, char* buffer, std::size_t size, std::size_t* received) {
  ssize_t n = ::recv(Fd(socket), buffer, size, 0);
  if (n > 0) {
    *received = static_cast<std::size_t>(n);
    return IoResult::kDone;
  }
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return IoResult::kWouldBlock;
  return IoResult::kClosed;
}

bool SendByte(SocketHandle socket) {
  char byte = 1;
  return ::send(Fd(socket), &byte, 1, MSG_NOSIGNAL) == 1;
}

int PollSockets(PollEntry* entries, std::size_t count, int timeout_ms) {
  std::vector<pollfd> fds(count);
  for (std::size_t i = 0; i < count; ++i) {
    fds[i].fd = Fd(entries[i].socket);
    fds[i].events = static_cast<short>((entries[i].want_read ? POLLIN : 0) |
                                       (entries[i].want_write ? POLLOUT : 0));
  }
  int n = ::poll(fds.data(), count, timeout_ms < 0 ? -1 : timeout_ms);
  if (n < 0) return errno == EINTR ? 0 : -1;
  for (std::size_t i = 0; i < count; ++i) entries[i].ready = fds[i].revents != 0;
  return n;
}

bool MakeWakeupPair(SocketHandle* read_end, SocketHandle* write_end, std::string* error) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
    *error = ErrorText("socketpair");
    return false;
  }
  *read_end = fds[0];
  *write_end = fds[1];
  return true;
}

}  // namespace responder
