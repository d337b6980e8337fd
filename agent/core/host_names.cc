#include "agent/core/host_names.h"

#include <array>

#include "common/core/ansi_text.h"

namespace kestra {
namespace {

bool IsLabelChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Windows opens the device instead of a file whose name, before any extension, is
// one of these; "nul.x" and "com1.x" included.
bool IsDeviceName(std::string_view label) {
  if (label.size() < 3 || label.size() > 7) return false;
  static constexpr std::array<std::string_view, 6> kNames = {"con", "prn",    "aux",
                                                             "nul", "conin$", "conout$"};
  for (std::string_view name : kNames) {
    if (tessal::EqualsIgnoreCase(label, name)) return true;
  }
  if (label.size() != 4 || !IsDigit(label[3])) return false;
  return tessal::EqualsIgnoreCase(label.substr(0, 3), "com") ||
         tessal::EqualsIgnoreCase(label.substr(0, 3), "lpt");
}

bool IsSafeLabel(std::string_view label) {
  if (label.empty() || label.size() > kMaxLabelLength) return false;
  for (char c : label) {
    if (!IsLabelChar(c)) return false;
  }
  return !IsDeviceName(label);
}

// Calls check on every part of text between dots (an empty text is one empty
// part); false as soon as one check fails.
template <typename Check>
bool EveryDottedPart(std::string_view text, Check check) {
  std::size_t at = 0;
  for (;;) {
    std::size_t dot = text.find('.', at);
    if (!check(
            text.substr(at, dot == std::string_view::npos ? std::string_view::npos : dot - at))) {
      return false;
    }
    if (dot == std::string_view::npos) return true;
    at = dot + 1;
  }
}

bool IsIpv4Literal(std::string_view text) {
  int parts = 0;
  bool decimal = EveryDottedPart(text, [&parts](std::string_view part) {
    if (part.empty() || part.size() > 3 || ++parts > 4) return false;
    int value = 0;
    for (char c : part) {
      if (!IsDigit(c)) return false;
      value = value * 10 + (c - '0');
    }
    return value <= 255;
  });
  return decimal && parts == 4;
}

bool IsIpv6Literal(std::string_view text) {
  if (text.size() > kMaxIpv6LiteralLength) return false;
  int colons = 0;
  for (char c : text) {
    if (c == ':') {
      ++colons;
    } else if (!IsHexDigit(c) && c != '.') {
      return false;
    }
  }
  return colons >= 2;
}

}  // namespace

bool IsSafeHostName(std::string_view host) {
  if (host.empty() || host.size() > kMaxHostNameLength) return false;
  return EveryDottedPart(host, IsSafeLabel);
}

bool IsAddressLiteral(std::string_view address) {
  return IsIpv4Literal(address) || IsIpv6Literal(address);
}

std::string LoggableAddress(std::string_view address) {
  return IsAddressLiteral(address) ? std::string(address) : std::string();
}

}  // namespace kestra
