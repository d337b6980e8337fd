// Small file layer shared by the deliverables. Paths are 8-bit texts in the
// system's code page. The whole-path functions here are for trusted folders only;
// files in folders that less trusted processes can write to are reached through
// core/safe_folder.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessal {

#ifdef _WIN32
using NativeFile = void*;  // HANDLE
inline NativeFile InvalidNativeFile() {
  return reinterpret_cast<NativeFile>(static_cast<intptr_t>(-1));
}
#else
using NativeFile = int;
inline NativeFile InvalidNativeFile() { return -1; }
#endif

class File {
 public:
  static constexpr std::size_t kReadChunk = 64 * 1024;

  File() = default;
  explicit File(NativeFile handle) : handle_(handle) {}
  File(File&& other) noexcept : handle_(other.release()) {}
  File& operator=(File&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.release();
    }
    return *this;
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File() { Close(); }

  bool valid() const;
  NativeFile get() const { return handle_; }
  NativeFile release() {
    NativeFile h = handle_;
    handle_ = Invalid();
    return h;
  }
  void Close();

  // Reads up to max bytes from the current position; false on a read error.
  bool ReadAtMost(std::size_t max, std::string* out);
  // Replaces the whole content: to the start, cut there, write the bytes.
  bool ReplaceContent(std::string_view bytes);

 private:
  static NativeFile Invalid() { return InvalidNativeFile(); }
  // One read of the platform into buffer: the count of bytes read (0 at the end),
  // nothing on a read error.
  std::optional<std::size_t> ReadSome(char* buffer, std::size_t size);
  NativeFile handle_ = Invalid();
};

// Whole-file read of a trusted path; false when it cannot be opened or is larger
// than limit (nothing is read then).
bool ReadWholeFile(const std::string& path, std::string* out, std::size_t limit);
// File length; nothing when it cannot be opened.
std::optional<int64_t> FileLength(const std::string& path);
// Creates or truncates a trusted path and writes the bytes.
bool WriteWholeFile(const std::string& path, std::string_view bytes);

bool DeleteFilePath(const std::string& path);
bool PathExists(const std::string& path);
bool FolderExists(const std::string& path);
// Creates one folder; an existing folder is no error.
bool MakeFolder(const std::string& path);

// The separator the 8-bit paths of this platform use.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

}  // namespace tessal
