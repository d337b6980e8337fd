#include "common/core/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tessal {

bool File::valid() const { return handle_ >= 0; }

void File::Close() {
  if (valid()) ::close(handle_);
  handle_ = Invalid();
}

std::optional<std::size_t> File::ReadSome(char* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = ::read(handle_, buffer, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) return std::nullopt;
  }
}

bool File::ReplaceContent(std::string_view bytes) {
  if (!valid()) return false;
  if (::lseek(handle_, 0, SEEK_SET) != 0 || ::ftruncate(handle_, 0) != 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(handle_, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string* out, std::size_t limit) {
  out->clear();
  File file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st;
  if (!file.valid() || ::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (static_cast<uint64_t>(st.st_size) > limit) return false;
  // Bounded by the limit even when the file grows while it is read.
  return file.ReadAtMost(limit, out);
}

std::optional<int64_t> FileLength(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<int64_t>(st.st_size);
}

bool WriteWholeFile(const std::string& path, std::string_view bytes) {
  File file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  return file.ReplaceContent(bytes);
}

bool DeleteFilePath(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool PathExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool FolderExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeFolder(const std::string& path) {
  return ::mkdir(path.c_str(), 0755) == 0 || (errno == EEXIST && FolderExists(path));
}

}  // namespace tessal
