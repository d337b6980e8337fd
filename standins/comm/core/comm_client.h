// What the communication-library stand-in does with each call of the agent:
// every call goes to the management-server simulator; the reply of the first
// InfoSet call (the length query) is kept for the second (the copy).
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "standins/mgmt_sim/core/sim_protocol.h"

namespace comm_standin {

class CommClient {
 public:
  // Sends one call to host:port and returns the reply; nullopt when the server
  // cannot be reached or answers nothing usable in time.
  using Transport = std::function<std::optional<mgmt_sim::Reply>(const std::string& host, int port,
                                                                 const mgmt_sim::Call& call)>;

  // Calls made before the first SetServer wait for it (at most this many).
  static constexpr std::size_t kMaxPending = 64;

  explicit CommClient(Transport transport) : transport_(std::move(transport)) {}

  // name is "CVComm_InfoSet" or "CVComm_InfoSetR". With a null buffer: the length
  // of the available reply, 0 when there is none. With a buffer: 1 when the
  // reply and its terminator fit into size bytes and were copied, else 0.
  int InfoSet(const char* name, int flag, char* buffer, int size);
  void SetServer(const char* server, int port, const char* object);
  // CVComm_SetCompany, CVComm_Access, CVComm_Log: reported, nothing returned.
  void Report(mgmt_sim::Call call);

 private:
  std::optional<mgmt_sim::Reply> Send(const mgmt_sim::Call& call);

  Transport transport_;
  std::mutex mutex_;
  bool has_server_ = false;
  std::string host_;
  int port_ = 0;
  std::deque<mgmt_sim::Call> pending_;
  std::optional<std::string> kept_reply_;
};

// A null text pointer is reported as an empty text.
inline std::string TextOf(const char* text) {
  return text == nullptr ? std::string() : std::string(text);
}

}  // namespace comm_standin
