#include "common/win/platform.h"

#include "common/core/file_io.h"

namespace tessal {

bool File::valid() const { return handle_ != Invalid() && handle_ != nullptr; }

void File::Close() {
  if (valid()) CloseHandle(handle_);
  handle_ = Invalid();
}

std::optional<std::size_t> File::ReadSome(char* buffer, std::size_t size) {
  DWORD n = 0;
  if (!ReadFile(handle_, buffer, static_cast<DWORD>(size), &n, nullptr)) return std::nullopt;
  return n;
}

bool File::ReplaceContent(std::string_view bytes) {
  if (!valid()) return false;
  if (SetFilePointer(handle_, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  if (!SetEndOfFile(handle_)) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD n = 0;
    DWORD chunk =
        static_cast<DWORD>(bytes.size() - done > 0x100000 ? 0x100000 : bytes.size() - done);
    if (!WriteFile(handle_, bytes.data() + done, chunk, &n, nullptr) || n == 0) return false;
    done += n;
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string* out, std::size_t limit) {
  out->clear();
  File file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size) || static_cast<uint64_t>(size.QuadPart) > limit)
    return false;
  // Bounded by the limit even when the file grows while it is read.
  return file.ReadAtMost(limit, out);
}

std::optional<int64_t> FileLength(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool WriteWholeFile(const std::string& path, std::string_view bytes) {
  File file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.ReplaceContent(bytes);
}

bool DeleteFilePath(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool FolderExists(const std::string& path) {
  DWORD attrs = GetFileAttributesA(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool MakeFolder(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) != 0 ||
         (GetLastError() == ERROR_ALREADY_EXISTS && FolderExists(path));
}

}  // namespace tessal
