#include "agent/core/record_files.h"

#include <cstdio>
#include <vector>

namespace kestra {

namespace {
// The agent's texts into record files are short; longer ones are cut like the
// fixed 512-byte buffer they always went through.
constexpr std::size_t kMaxRecordText = 511;
}  // namespace

std::string RecordFileLeaf(int32_t number) {
  char name[32];
  std::snprintf(name, sizeof(name), "TESSALKESTRA_%05d", number);
  return name;
}

std::string EvidenceFileLeaf(const std::string& host, int32_t number) {
  char suffix[32];
  std::snprintf(suffix, sizeof(suffix), ".%05d", number);
  return host + suffix;
}

std::string RecordFileName(const std::string& work_folder, int32_t number) {
  return work_folder + tessal::kPathSeparator + RecordFileLeaf(number);
}

std::string EvidenceFileName(const std::string& work_folder, const std::string& host,
                             int32_t number) {
  return work_folder + tessal::kPathSeparator + EvidenceFileLeaf(host, number);
}

void RecordList::Register(int32_t number) {
  int32_t at = count_.load(std::memory_order_relaxed);
  if (at < 0) return;
  for (int i = 0; i < kSlots; ++i) {
    if (slots_[i].load(std::memory_order_relaxed) != number) continue;
    if (i < at) return;
    // Past the count (after a wrap) no writer would reach it: it moves to the count.
    slots_[i].store(0, std::memory_order_relaxed);
  }
  if (at >= kSlots) at = 0;
  slots_[at].store(number, std::memory_order_relaxed);
  count_.store(at + 1, std::memory_order_relaxed);
}

void RecordList::Release(int32_t number) {
  for (auto& slot : slots_) {
    if (slot.load(std::memory_order_relaxed) == number) slot.store(0, std::memory_order_relaxed);
  }
}

void RecordList::ForEach(const std::function<void(int32_t)>& visit) const {
  int32_t n = count();
  if (n > kSlots) n = kSlots;
  for (int32_t i = 0; i < n; ++i) {
    int32_t number = slot(i);
    if (number != 0) visit(number);
  }
}

tessal::OpenStatus WriteRecordFile(const tessal::SafeFolder& work, int32_t number,
                                   std::string_view text) {
  tessal::OpenStatus status = tessal::OpenStatus::kRefused;
  tessal::File file = work.OpenForUpdate(RecordFileLeaf(number), &status);
  if (!file.valid()) return status;
  return file.ReplaceContent(text.substr(0, kMaxRecordText)) ? tessal::OpenStatus::kOpened
                                                             : tessal::OpenStatus::kRefused;
}

bool BroadcastToRecords(const RecordList& list, const tessal::SafeFolder& work, const char* text) {
  if (text == nullptr) return false;
  list.ForEach([&](int32_t number) { WriteRecordFile(work, number, text); });
  return true;
}

int BroadcastWithRetries(const RecordList& list, const tessal::SafeFolder& work,
                         std::string_view text, int retries, const std::function<void()>& pause) {
  return WriteInRounds(
      list, [&](int32_t number) { return WriteRecordFile(work, number, text); }, retries, pause);
}

int WriteInRounds(const RecordList& list, const std::function<tessal::OpenStatus(int32_t)>& write,
                  int retries, const std::function<void()>& pause) {
  std::vector<int32_t> pending;
  list.ForEach([&](int32_t number) { pending.push_back(number); });
  int written = 0;
  for (int round = 0; round <= retries && !pending.empty(); ++round) {
    if (round > 0) pause();
    std::vector<int32_t> busy;
    for (int32_t number : pending) {
      tessal::OpenStatus status = write(number);
      if (status == tessal::OpenStatus::kOpened) ++written;
      if (status == tessal::OpenStatus::kBusy) busy.push_back(number);
    }
    pending.swap(busy);
  }
  return written;
}

}  // namespace kestra
