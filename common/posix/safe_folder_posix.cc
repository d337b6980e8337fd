// The POSIX twin of the Windows folder layer: openat with O_NOFOLLOW relative to
// the held descriptor, so the native tests exercise the same shape.
#include "common/core/safe_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>

namespace tessal {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kMaxTreeDepth = 64;

std::string Str(std::string_view s) { return std::string(s); }

// The descriptor's own path as the kernel sees it, to compare with the one asked for.
bool FinalPathIs(int fd, const std::string& expected) {
  char link[64], real[PATH_MAX];
  snprintf(link, sizeof(link), "/proc/self/fd/%d", fd);
  ssize_t n = ::readlink(link, real, sizeof(real) - 1);
  if (n <= 0) return false;
  real[n] = '\0';
  return expected == real;
}

bool IsPlainSingleLinkFile(int fd) {
  struct stat st;
  return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1;
}

bool RemoveEntries(int dir, Clock::time_point deadline, int depth);

// Removes one entry of `dir`: a real folder with its contents, anything else
// (file, link, device) as the name it is.
bool RemoveEntry(int dir, const char* name, Clock::time_point deadline, int depth) {
  int child = ::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (child < 0) return ::unlinkat(dir, name, 0) == 0 || errno == ENOENT;
  bool emptied = RemoveEntries(child, deadline, depth + 1);
  ::close(child);
  return emptied && (::unlinkat(dir, name, AT_REMOVEDIR) == 0 || errno == ENOENT);
}

bool RemoveEntries(int dir, Clock::time_point deadline, int depth) {
  if (depth > kMaxTreeDepth) return false;
  int listing_fd = ::dup(dir);
  DIR* listing = listing_fd < 0 ? nullptr : ::fdopendir(listing_fd);
  if (listing == nullptr) {
    if (listing_fd >= 0) ::close(listing_fd);
    return false;
  }
  bool all = true;
  while (dirent* e = ::readdir(listing)) {
    std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    if (Clock::now() > deadline) {
      all = false;
      break;
    }
    all = RemoveEntry(dir, e->d_name, deadline, depth) && all;
  }
  ::closedir(listing);
  return all;
}

}  // namespace

void SafeFolder::Close() {
  if (handle_ >= 0) ::close(handle_);
  handle_ = InvalidNativeFile();
}

bool SafeFolder::valid() const { return handle_ >= 0; }

SafeFolder SafeFolder::Hold(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return SafeFolder();
  SafeFolder folder(fd, path);
  if (!FinalPathIs(fd, path)) return SafeFolder();
  return folder;
}

SafeFolder SafeFolder::HoldChild(std::string_view name, bool create) const {
  if (!valid() || !IsSingleComponent(name)) return SafeFolder();
  std::string n = Str(name);
  if (create && ::mkdirat(handle_, n.c_str(), 0755) != 0 && errno != EEXIST) return SafeFolder();
  int fd = ::openat(handle_, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return SafeFolder();
  std::string path = path_ + "/" + n;
  SafeFolder child(fd, path);
  if (!FinalPathIs(fd, path)) return SafeFolder();
  return child;
}

File SafeFolder::OpenForUpdate(std::string_view name, OpenStatus* status) const {
  OpenStatus ignored;
  OpenStatus& st = status ? *status : ignored;
  st = OpenStatus::kRefused;
  if (!valid() || !IsSingleComponent(name)) return File();
  // O_NONBLOCK: a planted FIFO must not hang the opener.
  File file(::openat(handle_, Str(name).c_str(),
                     O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644));
  if (!file.valid()) {
    if (errno == EBUSY || errno == ETXTBSY) st = OpenStatus::kBusy;
    return File();
  }
  if (!IsPlainSingleLinkFile(file.get())) return File();
  st = OpenStatus::kOpened;
  return file;
}

File SafeFolder::OpenForRead(std::string_view name, OpenStatus* status) const {
  if (status) *status = OpenStatus::kRefused;
  if (!valid() || !IsSingleComponent(name)) return File();
  File file(::openat(handle_, Str(name).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (!file.valid() || !IsPlainSingleLinkFile(file.get())) return File();
  if (status) *status = OpenStatus::kOpened;
  return file;
}

bool SafeFolder::HasChild(std::string_view name) const {
  struct stat st;
  return valid() && IsSingleComponent(name) &&
         (::fstatat(handle_, Str(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT);
}

File SafeFolder::CreateNew(std::string_view name) const {
  if (!valid() || !IsSingleComponent(name)) return File();
  // O_EXCL fails on any existing entry, a planted link included.
  return File(::openat(handle_, Str(name).c_str(),
                       O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
}

// A file without its owner's write permission stands for a read-only one.
OpenStatus SafeFolder::ReplaceChild(std::string_view from, std::string_view to) const {
  if (!valid() || !IsSingleComponent(from) || !IsSingleComponent(to)) return OpenStatus::kRefused;
  std::string old_name = Str(to), new_name = Str(from);
  struct stat old_st;
  if (::fstatat(handle_, old_name.c_str(), &old_st, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(old_st.st_mode) || old_st.st_nlink != 1) {
    return OpenStatus::kRefused;
  }
  if ((old_st.st_mode & S_IWUSR) == 0) return OpenStatus::kBusy;
  File fresh(::openat(handle_, new_name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (!fresh.valid() || !IsPlainSingleLinkFile(fresh.get()) ||
      ::fchmod(fresh.get(), old_st.st_mode & 07777) != 0) {
    return OpenStatus::kRefused;
  }
  return ::renameat(handle_, new_name.c_str(), handle_, old_name.c_str()) == 0
             ? OpenStatus::kOpened
             : OpenStatus::kRefused;
}

bool SafeFolder::DeleteChild(std::string_view name) const {
  if (!valid() || !IsSingleComponent(name)) return false;
  std::string n = Str(name);
  struct stat st;
  if (::fstatat(handle_, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
      st.st_nlink != 1) {
    return false;
  }
  // Even if the name were swapped since, unlinkat removes only a name in this
  // folder: never a folder, never what a link points at.
  return ::unlinkat(handle_, n.c_str(), 0) == 0;
}

bool SafeFolder::RemoveTree(std::string_view name, unsigned time_limit_ms) const {
  if (!valid() || !IsSingleComponent(name)) return false;
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(time_limit_ms);
  return RemoveEntry(handle_, Str(name).c_str(), deadline, 0);
}

}  // namespace tessal
