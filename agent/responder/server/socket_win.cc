// Winsock sockets for the server.
#include "common/win/platform.h"
#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>
#include <vector>

#include "agent/responder/server/net_platform.h"
#include "common/win/scoped_handle.h"

namespace responder {

namespace {

using tessal::ScopedSocket;

SOCKET Sock(SocketHandle socket) { return static_cast<SOCKET>(socket); }

ScopedSocket NewTcpSocket() {
  return ScopedSocket(
      WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT));
}

std::string ErrorText(const char* what) {
  return std::string(what) + " failed, error " + std::to_string(WSAGetLastError());
}

bool MakeNonBlocking(SOCKET s) {
  u_long on = 1;
  return ioctlsocket(s, FIONBIO, &on) == 0;
}

}  // namespace

bool StartSockets(std::string* error) {
  static std::once_flag once;
  static int result = -1;
  std::call_once(once, [] {
    WSADATA data;
    result = WSAStartup(MAKEWORD(2, 2), &data);
  });
  if (result != 0) *error = "Winsock 2.2 could not be started, error " + std::to_string(result);
  return result == 0;
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
  ScopedSocket s = NewTcpSocket();
  if (!s.valid()) {
    *error = ErrorText("socket");
    return kNoSocket;
  }
  // No other local process may bind the same port beside or over this one.
  BOOL on = TRUE;
  setsockopt(s.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
             sizeof on);
  if (bind(s.get(), reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
      listen(s.get(), backlog) != 0 || !MakeNonBlocking(s.get())) {
    *error = ErrorText("bind/listen") + " (" + address + ":" + std::to_string(port) + ")";
    return kNoSocket;
  }
  return static_cast<SocketHandle>(s.release());
}

std::uint16_t LocalPort(SocketHandle socket) {
  sockaddr_in where{};
  int size = sizeof where;
  if (getsockname(Sock(socket), reinterpret_cast<sockaddr*>(&where), &size) != 0) return 0;
  return ntohs(where.sin_port);
}

AcceptResult AcceptConnection(SocketHandle listener, SocketHandle* accepted) {
  ScopedSocket s(accept(Sock(listener), nullptr, nullptr));
  if (s.valid()) {
    if (!MakeNonBlocking(s.get())) return AcceptResult::kNone;
    // The reply and the close_notify after it are two small writes: without
    // this the second waits for the client's delayed acknowledgement.
    BOOL on = TRUE;
    setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    *accepted = static_cast<SocketHandle>(s.release());
    return AcceptResult::kAccepted;
  }
  int code = WSAGetLastError();
  if (code == WSAEWOULDBLOCK || code == WSAECONNRESET || code == WSAEINTR)
    return AcceptResult::kNone;
  return AcceptResult::kFailed;
}

void CloseSocket(SocketHandle socket) {
  if (socket != kNoSocket) closesocket(Sock(socket));
}

void ShutdownBoth(SocketHandle socket) { shutdown(Sock(socket), SD_BOTH); }

void ShutdownSend(SocketHandle socket) { shutdown(Sock(socket), SD_SEND); }

IoResult Receive(SocketHandle socket, char* buffer, std::size_t size, std::size_t* received) {
  int n = recv(Sock(socket), buffer, static_cast<int>(size), 0);
  if (n > 0) {
    *received = static_cast<std::size_t>(n);
    return IoResult::kDone;
  }
  if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK) return IoResult::kWouldBlock;
  return IoResult::kClosed;
}

bool SendByte(SocketHandle socket) {
  char byte = 1;
  return send(Sock(socket), &byte, 1, 0) == 1;
}

int PollSockets(PollEntry* entries, std::size_t count, int timeout_ms) {
  std::vector<WSAPOLLFD> fds(count);
  for (std::size_t i = 0; i < count; ++i) {
    fds[i].fd = Sock(entries[i].socket);
    fds[i].events = static_cast<SHORT>((entries[i].want_read ? POLLRDNORM : 0) |
                                       (entries[i].want_write ? POLLWRNORM : 0));
  }
  int n = WSAPoll(fds.data(), static_cast<ULONG>(count), timeout_ms < 0 ? -1 : timeout_ms);
  if (n == SOCKET_ERROR) return -1;
  for (std::size_t i = 0; i < count; ++i) entries[i].ready = fds[i].revents != 0;
  return n;
}

// Winsock has no socket pair: a loopback connection made through a listener
// that lives only for this.
bool MakeWakeupPair(SocketHandle* read_end, SocketHandle* write_end, std::string* error) {
  ScopedSocket listener = NewTcpSocket();
  ScopedSocket writer = NewTcpSocket();
  ScopedSocket reader;
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof where;
  BOOL on = TRUE;
  setsockopt(listener.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
             sizeof on);
  if (listener.valid() && writer.valid() &&
      bind(listener.get(), reinterpret_cast<sockaddr*>(&where), sizeof where) == 0 &&
      listen(listener.get(), 1) == 0 &&
      getsockname(listener.get(), reinterpret_cast<sockaddr*>(&where), &size) == 0 &&
      connect(writer.get(), reinterpret_cast<sockaddr*>(&where), sizeof where) == 0) {
    reader.reset(accept(listener.get(), nullptr, nullptr));
  }
  listener.reset();
  if (!reader.valid() || !MakeNonBlocking(reader.get()) || !MakeNonBlocking(writer.get())) {
    *error = ErrorText("wake-up pair");
    return false;
  }
  *read_end = static_cast<SocketHandle>(reader.release());
  *write_end = static_cast<SocketHandle>(writer.release());
  return true;
}

}  // namespace responder
