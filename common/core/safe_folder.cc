#include "common/core/safe_folder.h"

#include <utility>

namespace tessal {

bool IsSingleComponent(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    if (c == '\\' || c == '/' || c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

SafeFolder::SafeFolder(SafeFolder&& other) noexcept
    : handle_(std::exchange(other.handle_, InvalidNativeFile())), path_(std::move(other.path_)) {}

SafeFolder& SafeFolder::operator=(SafeFolder&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, InvalidNativeFile());
    path_ = std::move(other.path_);
  }
  return *this;
}

SafeFolder::~SafeFolder() { Close(); }

}  // namespace tessal
