#include "agent/core/request_queue.h"

#include <gtest/gtest.h>

#include <vector>

namespace kestra {
namespace {

std::vector<int32_t> Drain(RequestQueue& q) {
  std::vector<int32_t> out;
  while (!q.empty()) out.push_back(q.Pop());
  return out;
}

TEST(RequestQueue, DistinctNumbersInOrderAndTheOldestDroppedBeyondTheLimit) {
  RequestQueue q;
  for (int32_t n : {5, 6, 5, 7, 6}) q.Push(n);
  EXPECT_EQ(Drain(q), (std::vector<int32_t>{5, 6, 7}));
  for (int32_t n = 1; n <= 1000; ++n) q.Push(n);
  q.Push(4242);
  ASSERT_EQ(q.size(), RequestQueue::kMaxPending);
  std::vector<int32_t> kept = Drain(q);
  EXPECT_EQ(kept.front(), 970);
  EXPECT_EQ(kept.back(), 4242) << "the newest request is always served";
}

}  // namespace
}  // namespace kestra
