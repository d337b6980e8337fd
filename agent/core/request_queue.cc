#include "agent/core/request_queue.h"

#include <algorithm>

namespace kestra {

void RequestQueue::Push(int32_t number) {
  if (std::find(pending_.begin(), pending_.end(), number) != pending_.end()) return;
  if (pending_.size() == kMaxPending) pending_.pop_front();
  pending_.push_back(number);
}

int32_t RequestQueue::Pop() {
  int32_t number = pending_.front();
  pending_.pop_front();
  return number;
}

}  // namespace kestra
