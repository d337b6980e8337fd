#include "installinfo/win/registry.h"

#include <cstring>

#include "installinfo/core/install_rules.h"

namespace tavin {

CRegistry::CRegistry() {
  data_[0] = 0;
  sub_key_[0] = 0;
}

CRegistry::~CRegistry() = default;

bool CRegistry::OpenOrCreate(const char* path) {
  RegistryRoot root = RegistryRoot::kNone;
  std::string sub;
  if (path == nullptr || !SplitRegistryPath(path, &root, &sub)) return false;
  switch (root) {
    case RegistryRoot::kClassesRoot: root_ = HKEY_CLASSES_ROOT; break;
    case RegistryRoot::kCurrentUser: root_ = HKEY_CURRENT_USER; break;
    case RegistryRoot::kLocalMachine: root_ = HKEY_LOCAL_MACHINE; break;
    case RegistryRoot::kUsers: root_ = HKEY_USERS; break;
    case RegistryRoot::kCurrentConfig: root_ = HKEY_CURRENT_CONFIG; break;
    default: return false;
  }
  std::memcpy(sub_key_, sub.c_str(), sub.size() + 1);
  return RegCreateKeyExA(root_, sub_key_, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                         nullptr, key_.receive(), nullptr) == ERROR_SUCCESS;
}

bool CRegistry::ReadText(const char* value_name, std::string* text) {
  if (!key_.valid()) return false;
  size_ = sizeof(data_) - 1;
  DWORD type = 0;
  if (RegQueryValueExA(key_.get(), value_name, nullptr, &type, reinterpret_cast<BYTE*>(data_),
                       &size_) != ERROR_SUCCESS) {
    return false;
  }
  data_[size_ < sizeof(data_) ? size_ : sizeof(data_) - 1] = 0;  // stored texts need not end in NUL
  text->assign(data_);
  return true;
}

}  // namespace tavin
