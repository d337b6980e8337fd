// Stand-in for the maker's management-server communication library
// (qvTessalOlvar.dll): reports every call to the management-server simulator
// over TCP and hands the agent the policy reply the simulator serves.
#include "common/win/platform.h"
#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

#include "standins/comm/core/comm_client.h"

namespace {

using mgmt_sim::Call;
using mgmt_sim::Reply;

constexpr int kConnectMs = 2000;
constexpr DWORD kIoMs = 5000;         // per send or receive
constexpr ULONGLONG kCallMs = 10000;  // the whole exchange of one call

class Socket {
 public:
  explicit Socket(SOCKET s) : s_(s) {}
  ~Socket() {
    if (s_ != INVALID_SOCKET) closesocket(s_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  SOCKET get() const { return s_; }

 private:
  SOCKET s_;
};

bool StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

// Connects within kConnectMs; the blocking connect's own time-out is far longer.
bool ConnectBounded(SOCKET s, const sockaddr* addr, int len) {
  u_long nonblocking = 1;
  ioctlsocket(s, FIONBIO, &nonblocking);
  if (connect(s, addr, len) != 0) {
    if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval tv{kConnectMs / 1000, (kConnectMs % 1000) * 1000};
    if (select(0, nullptr, &writable, &failed, &tv) <= 0 || !FD_ISSET(s, &writable)) return false;
    int error = 0;
    int error_len = sizeof(error);
    getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &error_len);
    if (error != 0) return false;
  }
  u_long blocking = 0;
  ioctlsocket(s, FIONBIO, &blocking);
  DWORD timeout = kIoMs;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
  return true;
}

std::optional<Reply> TcpCall(const std::string& host, int port, const Call& call) {
  if (port <= 0 || port > 65535 || host.empty() || !StartWinsock()) return std::nullopt;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
    return std::nullopt;
  std::string out = mgmt_sim::EncodeCall(call);
  std::optional<Reply> result;
  ULONGLONG deadline = GetTickCount64() + kCallMs;
  for (addrinfo* a = found; a != nullptr && !result; a = a->ai_next) {
    Socket s(socket(a->ai_family, a->ai_socktype, a->ai_protocol));
    if (s.get() == INVALID_SOCKET ||
        !ConnectBounded(s.get(), a->ai_addr, static_cast<int>(a->ai_addrlen))) {
      continue;
    }
    std::size_t done = 0;
    while (done < out.size()) {
      int n = send(s.get(), out.data() + done, static_cast<int>(out.size() - done), 0);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    if (done < out.size()) continue;
    std::string in;
    char buf[8192];
    for (;;) {
      Reply reply;
      std::size_t used = 0;
      mgmt_sim::Parse state = mgmt_sim::DecodeReply(in, &reply, &used);
      if (state == mgmt_sim::Parse::kComplete) {
        result = std::move(reply);
        break;
      }
      if (state == mgmt_sim::Parse::kInvalid || GetTickCount64() >= deadline) break;
      int n = recv(s.get(), buf, sizeof(buf), 0);
      if (n <= 0) break;  // closed, failed or timed out
      in.append(buf, static_cast<std::size_t>(n));
    }
  }
  freeaddrinfo(found);
  return result;
}

comm_standin::CommClient& Client() {
  static comm_standin::CommClient client(TcpCall);
  return client;
}

}  // namespace

extern "C" {

__declspec(dllexport) int __cdecl CVComm_InfoSet(int flag, char* buffer, int size) {
  try {
    return Client().InfoSet("CVComm_InfoSet", flag, buffer, size);
  } catch (...) {
    return 0;
  }
}

#ifndef TESSAL_COMM_WITHOUT_R
__declspec(dllexport) int __cdecl CVComm_InfoSetR(int flag, char* buffer, int size) {
  try {
    return Client().InfoSet("CVComm_InfoSetR", flag, buffer, size);
  } catch (...) {
    return 0;
  }
}
#endif

__declspec(dllexport) void __cdecl CVComm_SetServer(const char* server, int port,
                                                    const char* object) {
  try {
    Client().SetServer(server, port, object);
  } catch (...) {
  }
}

__declspec(dllexport) void __cdecl CVComm_SetCompany(const char* company_id) {
  try {
    Client().Report({"CVComm_SetCompany", {comm_standin::TextOf(company_id)}});
  } catch (...) {
  }
}

__declspec(dllexport) void __cdecl CVComm_Access(const char* company_id) {
  try {
    Client().Report({"CVComm_Access", {comm_standin::TextOf(company_id)}});
  } catch (...) {
  }
}

__declspec(dllexport) void __cdecl CVComm_Log(const char* company_id, int one,
                                              const char* event_text, const char* kind_text) {
  try {
    Client().Report({"CVComm_Log",
                     {comm_standin::TextOf(company_id), std::to_string(one),
                      comm_standin::TextOf(event_text), comm_standin::TextOf(kind_text)}});
  } catch (...) {
  }
}

}  // extern "C"
