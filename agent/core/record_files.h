// The record files: one small mailbox file per registered requester in the work
// folder, and the list of registered record numbers.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/core/safe_folder.h"

namespace kestra {

// "TESSALKESTRA_%05d", the record file's name in the work folder.
std::string RecordFileLeaf(int32_t number);
// "<host>.%05d", the evidence file's name in the work folder.
std::string EvidenceFileLeaf(const std::string& host, int32_t number);
// The same names with the work folder before them.
std::string RecordFileName(const std::string& work_folder, int32_t number);
std::string EvidenceFileName(const std::string& work_folder, const std::string& host,
                             int32_t number);

// Registered record numbers: 1024 slots and a count. Registering appends at the
// count (which restarts at slot 0 after 1024); a number already registered takes
// no second slot, so one requester cannot push the others out. Releasing zeroes
// every slot that holds the number. A slot holding 0 is free. The main thread
// writes it while the URL watcher thread reads it, so the slots are atomics.
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

// Replaces the content of one record file in the work folder. kBusy when its
// requester holds it open, kRefused when it is not a plain file (or the text could
// not be written).
tessal::OpenStatus WriteRecordFile(const tessal::SafeFolder& work, int32_t number,
                                   std::string_view text);

// Writes the text into the record file of every registered requester, each file
// tried once. False for a null text, true otherwise whatever the single writes did.
bool BroadcastToRecords(const RecordList& list, const tessal::SafeFolder& work, const char* text);

// Writes the text into every registered record file; the files that were busy are
// tried again in up to `retries` more rounds with one `pause` before each round
// (injected so tests need not wait), so the whole broadcast takes at most
// retries pauses whatever the count. Refused files are never retried. Returns the
// number of files written.
int BroadcastWithRetries(const RecordList& list, const tessal::SafeFolder& work,
                         std::string_view text, int retries, const std::function<void()>& pause);
// The rounds themselves, over any writer of one record number.
int WriteInRounds(const RecordList& list, const std::function<tessal::OpenStatus(int32_t)>& write,
                  int retries, const std::function<void()>& pause);

}  // namespace kestra
