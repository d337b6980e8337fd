#include "agent/core/scrambled_file.h"

#include <array>
#include <cstring>
#include <mutex>

#include "common/core/file_io.h"

namespace kestra {
namespace {

// Largest settings file the agent accepts; anything bigger is not one of its files.
constexpr std::size_t kMaxScrambledFile = 4 * 1024 * 1024;

const std::array<unsigned char, 256>& SubstitutionTable() {
  static std::array<unsigned char, 256> table;
  static std::once_flag built;
  std::call_once(built, [] {
    for (int i = 0; i < 256; ++i) table[i] = static_cast<unsigned char>(~i);
  });
  return table;
}

bool UsablePath(const char* path) { return path != nullptr && std::strlen(path) <= kMaxPathLength; }

}  // namespace

std::string Scramble(std::string_view bytes) {
  const auto& table = SubstitutionTable();
  std::string out(bytes.size(), '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out[i] = static_cast<char>(table[static_cast<unsigned char>(bytes[i])]);
  }
  return out;
}

int ReadScrambledFile(const char* path, char* out, std::size_t out_size) {
  if (!UsablePath(path)) return 0;
  if (out == nullptr) {
    std::optional<int64_t> n = tessal::FileLength(path);
    return n && *n > 0 && static_cast<uint64_t>(*n) <= kMaxScrambledFile ? static_cast<int>(*n) : 0;
  }
  if (out_size == 0) return 0;
  std::string raw;
  if (!tessal::ReadWholeFile(path, &raw, kMaxScrambledFile)) return 0;
  if (raw.size() > out_size - 1) raw.resize(out_size - 1);
  // Every byte is stored, also past a NUL inside the file, as the caller sized for them.
  std::string clear = Scramble(raw);
  std::memcpy(out, clear.data(), clear.size());
  out[clear.size()] = 0;
  return 1;
}

bool ReadScrambledText(const std::string& path, std::string* text, std::size_t limit) {
  text->clear();
  if (path.size() > kMaxPathLength) return false;
  std::string raw;
  if (!tessal::ReadWholeFile(path, &raw, limit < kMaxScrambledFile ? limit : kMaxScrambledFile)) {
    return false;
  }
  *text = Scramble(raw);
  return true;
}

bool WriteScrambledFile(const tessal::SafeFolder& folder, const char* name, const char* text) {
  if (!UsablePath(name) || text == nullptr) return false;
  tessal::File file = folder.OpenForUpdate(name);
  if (!file.valid()) return false;
  return file.ReplaceContent(Scramble(text));
}

}  // namespace kestra
