// The names the setup libraries' Wine tests use for the shared Windows test
// helpers (tests/support/win_harness.h), and the Windows form of build paths.
#pragma once

#include "common/win/platform.h"

#include <string>

#include "tests/support/win_harness.h"

namespace setup_test {

// A build path as Wine sees it ("/work/x" -> "Z:\work\x").
inline std::string WinPath(std::string unix_path) {
  for (char& c : unix_path) {
    if (c == '/') c = '\\';
  }
  return unix_path.size() > 1 && unix_path[1] == ':' ? unix_path : "Z:" + unix_path;
}

inline std::string ReadAll(const std::string& path) { return harness::ReadFileText(path); }
inline bool WriteAll(const std::string& path, const std::string& bytes) {
  return harness::WriteFileText(path, bytes);
}
inline bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A manifest whose document type defines an entity that expands to 10^10 bytes.
inline std::string BillionLaughs() {
  std::string entities = "<!ENTITY a \"aaaaaaaaaa\">";
  for (char c = 'b'; c <= 'j'; ++c) {
    std::string ten;
    for (int i = 0; i < 10; ++i) ten += std::string("&") + static_cast<char>(c - 1) + ";";
    entities += std::string("<!ENTITY ") + c + " \"" + ten + "\">";
  }
  return "<?xml version=\"1.0\"?>\r\n<!DOCTYPE SETUP [" + entities +
         "]>\r\n<SETUP><CONFIG><MAINVERSION>&j;</MAINVERSION><LANG>&j;</LANG></CONFIG></SETUP>\r\n";
}

using harness::TempFolder;

}  // namespace setup_test
