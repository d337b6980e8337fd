// The one conversion from the programs' 8-bit texts (the ANSI code page unless
// told otherwise) to the UTF-16 of the platform calls.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tessal {

inline std::wstring Widen(std::string_view text, UINT codepage = CP_ACP) {
  int n = MultiByteToWideChar(codepage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(codepage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

}  // namespace tessal
