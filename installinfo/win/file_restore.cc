#include "installinfo/win/file_restore.h"

#include "common/win/platform.h"
#include <ntsecapi.h>

#include "common/core/file_io.h"
#include "installinfo/core/install_rules.h"

namespace tavin {
namespace {

// Names tried before the copy is given up for this pass.
constexpr int kNameAttempts = 16;

// A new file at a fresh temporary name beside the target; `path` receives its name.
tessal::File CreateTemporaryBeside(const std::string& target, const NonceSource& nonce,
                                   std::string* path) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    *path = TemporaryPathBeside(target, nonce());
    // CREATE_NEW fails on any existing name, a link too, so nothing planted is followed.
    tessal::File file(CreateFileA(path->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.valid()) return file;
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED)
      break;
  }
  path->clear();
  return tessal::File();
}

bool CopyContent(tessal::File* from, tessal::File* to) {
  std::string chunk;
  for (;;) {
    if (!from->ReadAtMost(64 * 1024, &chunk)) return false;
    if (chunk.empty()) break;
    DWORD written = 0;
    if (!WriteFile(to->get(), chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr) ||
        written != chunk.size()) {
      return false;
    }
  }
  // The installed copy keeps the protected copy's times: a file without a version
  // resource is compared by them, and would otherwise be copied on every pass.
  FILETIME created, accessed, written;
  return GetFileTime(from->get(), &created, &accessed, &written) &&
         SetFileTime(to->get(), &created, &accessed, &written) && FlushFileBuffers(to->get());
}

}  // namespace

uint64_t SystemNonce() {
  uint64_t value = 0;
  if (!RtlGenRandom(&value, sizeof(value))) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    value =
        static_cast<uint64_t>(now.QuadPart) ^ (static_cast<uint64_t>(GetCurrentThreadId()) << 32);
  }
  return value;
}

// The source is only read; the temporary file is our own exclusive creation, and
// the move replaces the target's directory entry rather than writing through it.
bool RestoreFile(const std::string& source, const std::string& target, const NonceSource& nonce) {
  tessal::File from(CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!from.valid()) return false;
  std::string temp;
  tessal::File to = CreateTemporaryBeside(target, nonce, &temp);
  if (!to.valid()) return false;
  bool copied = CopyContent(&from, &to);
  to.Close();
  if (copied && MoveFileExA(temp.c_str(), target.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileA(temp.c_str());
  return false;
}

}  // namespace tavin
