// The service's UTF-16 texts: the portable decisions hold them as char16_t,
// the platform calls take wchar_t (the same 16-bit units on Windows).
#pragma once

#include "common/win/platform.h"

#include <optional>
#include <string>
#include <string_view>

namespace keepalive {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

// A constant of the portable side as the platform's text.
inline const wchar_t* WideConstant(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}

inline std::wstring ToWide(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

// The text in the ANSI code page; nothing when a character has no form there
// (a path with a stand-in character would name another file).
inline std::optional<std::string> ToAnsi(std::u16string_view text) {
  std::wstring wide = ToWide(text);
  if (wide.empty()) return std::string();
  BOOL lossy = FALSE;
  int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                              nullptr, &lossy);
  if (n <= 0 || lossy) return std::nullopt;
  std::string out(n, '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

// The running program's full path; nothing when it cannot be read whole.
inline std::optional<std::u16string> OwnProgramPath() {
  std::wstring path(32768, L'\0');
  DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (n == 0 || n >= path.size()) return std::nullopt;
  return std::u16string(path.begin(), path.begin() + n);
}

}  // namespace keepalive
