// The record files: one small mailbox file per registered requester in the work
// folder, and the list of registered record numbers.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kestra {

// "<work>\TESSALKESTRA_%05d"
std::string RecordFileName(const std::string& work_folder, int32_t number);
// "<work>\<host>.%05d"
std::string EvidenceFileName(const std::string& work_folder, const std::string& host, int32_t number);

// Registered record numbers: 1024 slots and a count. Registering appends at the
// count (which restarts at slot 0 after 1024); releasing zeroes every slot that
// holds the number. A slot holding 0 is free. The main thread writes it while the
// URL watcher thread reads it, so the slots are atomics.
class RecordList {
 public:
  static constexpr int kSlots = 1024;

  void Register(int32_t number);
  void Release(int32_t number);
  // Visits the slots from the first up to the count, skipping free ones.
  void ForEach(const std::function<void(int32_t)>& visit) const;

  int32_t count() const { return count_.load(std::memory_order_relaxed); }
  int32_t slot(int i) const { return slots_[i].load(std::memory_order_relaxed); }

 private:
  std::array<std::atomic<int32_t>, kSlots> slots_{};
  std::atomic<int32_t> count_{0};
};

// Replaces the content of one record file; false when it could not be opened
// (held open by its requester, or refused as a planted link).
bool WriteRecordFile(const std::string& path, std::string_view text);

// Writes the text into the record file of every registered requester, each file
// tried once. Returns 0 for a null text, 1 otherwise whatever the single writes did.
int BroadcastToRecords(const RecordList& list, const std::string& work_folder, const char* text);

// Writes the text into every registered record file, retrying a file that does not
// open up to `retries` more times with `pause` between attempts (injected so tests
// need not wait). Returns the number of files written.
int BroadcastWithRetries(const RecordList& list, const std::string& work_folder,
                         std::string_view text, int retries, const std::function<void()>& pause);

}  // namespace kestra
