// The conversions between the programs' 8-bit texts (the ANSI code page unless
// told otherwise) and the UTF-16 of the platform calls.
#pragma once

#include "common/win/platform.h"

#include <string>
#include <string_view>

namespace tessal {

inline std::wstring Widen(std::string_view text, UINT codepage = CP_ACP) {
  int n = MultiByteToWideChar(codepage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(n > 0 ? n : 0, L'\0');
  if (n > 0)
    MultiByteToWideChar(codepage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

inline std::string Narrow(std::wstring_view text, UINT codepage = CP_ACP) {
  int n = WideCharToMultiByte(codepage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0)
    WideCharToMultiByte(codepage, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
  return out;
}

}  // namespace tessal
