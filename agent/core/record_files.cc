#include "core/record_files.h"

#include <cstdio>

#include "core/file_io.h"

namespace kestra {

namespace {
// The agent's texts into record files are short; longer ones are cut like the
// fixed 512-byte buffer they always went through.
constexpr std::size_t kMaxRecordText = 511;
}  // namespace

std::string RecordFileName(const std::string& work_folder, int32_t number) {
  char name[32];
  std::snprintf(name, sizeof(name), "%cTESSALKESTRA_%05d", tessal::kPathSeparator, number);
  return work_folder + name;
}

std::string EvidenceFileName(const std::string& work_folder, const std::string& host, int32_t number) {
  char suffix[32];
  std::snprintf(suffix, sizeof(suffix), ".%05d", number);
  return work_folder + tessal::kPathSeparator + host + suffix;
}

void RecordList::Register(int32_t number) {
  int32_t at = count_.load(std::memory_order_relaxed);
  if (at < 0) return;
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

bool WriteRecordFile(const std::string& path, std::string_view text) {
  tessal::File file = tessal::OpenUntrustedForUpdate(path);
  if (!file.valid()) return false;
  return file.ReplaceContent(text.substr(0, kMaxRecordText));
}

int BroadcastToRecords(const RecordList& list, const std::string& work_folder, const char* text) {
  if (text == nullptr) return 0;
  list.ForEach([&](int32_t number) { WriteRecordFile(RecordFileName(work_folder, number), text); });
  return 1;
}

int BroadcastWithRetries(const RecordList& list, const std::string& work_folder,
                         std::string_view text, int retries, const std::function<void()>& pause) {
  int written = 0;
  list.ForEach([&](int32_t number) {
    std::string path = RecordFileName(work_folder, number);
    for (int attempt = 0; attempt <= retries; ++attempt) {
      if (attempt > 0) pause();
      if (WriteRecordFile(path, text)) {
        ++written;
        return;
      }
    }
  });
  return written;
}

}  // namespace kestra
