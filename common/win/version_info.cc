#include "common/win/version_info.h"

#include "common/win/platform.h"

#include <cstdio>
#include <vector>

namespace tessal {

bool ReadFileVersionText(const std::string& path, std::string* version) {
  version->clear();
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return false;
  struct Translation {
    WORD language;
    WORD codepage;
  };
  Translation* tr = nullptr;
  UINT len = 0;
  if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&tr),
                      &len) ||
      len < sizeof(Translation)) {
    return false;
  }
  char query[64];
  std::snprintf(query, sizeof(query), "\\StringFileInfo\\%08lx\\FileVersion",
                static_cast<unsigned long>(MAKELONG(tr->codepage, tr->language)));
  char* text = nullptr;
  if (!VerQueryValueA(block.data(), query, reinterpret_cast<void**>(&text), &len) ||
      text == nullptr) {
    return false;
  }
  version->assign(text, strnlen(text, len));
  return true;
}

}  // namespace tessal
