#include "common/core/ansi_text.h"

#include <cstring>

namespace tessal {

void LowerAnsiInPlace(char* text) {
  if (text == nullptr) return;
  for (unsigned char* p = reinterpret_cast<unsigned char*>(text); *p != 0; ++p) {
    if (IsLeadByte(*p)) {
      if (p[1] == 0) break;
      ++p;  // the trail byte stays as it is
    } else if (*p >= 'A' && *p <= 'Z') {
      *p = static_cast<unsigned char>(*p + ('a' - 'A'));
    }
  }
}

std::string LowerAnsi(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (IsLeadByte(c)) {
      ++i;
    } else if (c >= 'A' && c <= 'Z') {
      out[i] = static_cast<char>(c + ('a' - 'A'));
    }
  }
  return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (IsLeadByte(x) && i + 1 < a.size()) {
      // A double-byte character compares exactly, both bytes.
      if (x != y || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

std::string CutAnsi(std::string_view text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return std::string(text);
  std::size_t end = 0;
  while (end < max_bytes) {
    std::size_t step = IsLeadByte(static_cast<unsigned char>(text[end])) ? 2 : 1;
    if (end + step > max_bytes) break;
    end += step;
  }
  return std::string(text.substr(0, end));
}

bool CopyBounded(char* out, std::size_t size, std::string_view text) {
  if (out == nullptr || size == 0) return text.empty();
  std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(out, text.data(), n);
  out[n] = 0;
  return n == text.size();
}

}  // namespace tessal
