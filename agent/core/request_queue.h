// Inspection requests waiting for the main thread: distinct record numbers, first
// in first out, at most kMaxPending; one more drops the oldest, so a flood of
// requests costs a bounded time and the newest requests are still served.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

namespace kestra {

class RequestQueue {
 public:
  static constexpr std::size_t kMaxPending = 32;

  void Push(int32_t number);
  // The oldest request; only when not empty.
  int32_t Pop();
  bool empty() const { return pending_.empty(); }
  std::size_t size() const { return pending_.size(); }

 private:
  std::deque<int32_t> pending_;
};

}  // namespace kestra
