#include "standins/comm/core/comm_client.h"

#include <climits>
#include <cstring>

namespace comm_standin {

using mgmt_sim::Call;
using mgmt_sim::Reply;

std::optional<Reply> CommClient::Send(const Call& call) {
  if (!has_server_) {
    if (pending_.size() < kMaxPending) pending_.push_back(call);
    return std::nullopt;
  }
  return transport_(host_, port_, call);
}

int CommClient::InfoSet(const char* name, int flag, char* buffer, int size) {
  std::lock_guard<std::mutex> lock(mutex_);
  Call call{TextOf(name), {std::to_string(flag), std::to_string(buffer == nullptr ? 0 : size)}};
  std::optional<Reply> reply = has_server_ ? transport_(host_, port_, call) : std::nullopt;
  std::string served = reply && reply->status == 0 ? reply->body : std::string();
  if (buffer == nullptr) {
    if (served.size() > static_cast<std::size_t>(INT_MAX - 64)) served.clear();
    kept_reply_ = served;
    return static_cast<int>(served.size());
  }
  // The copy hands over what the length query announced, even when the server
  // has changed its reply since or cannot be reached now.
  std::string text = kept_reply_ ? *kept_reply_ : served;
  kept_reply_.reset();
  if (text.empty() || size <= 0 || text.size() >= static_cast<std::size_t>(size)) return 0;
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return 1;
}

void CommClient::SetServer(const char* server, int port, const char* object) {
  std::lock_guard<std::mutex> lock(mutex_);
  host_ = TextOf(server);
  port_ = port;
  has_server_ = true;
  // Calls made before the server was known go out first, in their order.
  while (!pending_.empty()) {
    transport_(host_, port_, pending_.front());
    pending_.pop_front();
  }
  transport_(host_, port_, Call{"CVComm_SetServer", {host_, std::to_string(port), TextOf(object)}});
}

void CommClient::Report(Call call) {
  std::lock_guard<std::mutex> lock(mutex_);
  Send(call);
}

}  // namespace comm_standin
