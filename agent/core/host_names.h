// Checks on the host names and addresses that requesters write into record files:
// the agent inspects any name, but builds a file name or a browser address only
// from one that is a plain DNS name, and logs only an address that is a literal.
#pragma once

#include <string>
#include <string_view>

namespace kestra {

inline constexpr std::size_t kMaxHostNameLength = 253;
inline constexpr std::size_t kMaxLabelLength = 63;
inline constexpr std::size_t kMaxIpv6LiteralLength = 45;

// A plausible DNS name that is also safe as a Windows file name's part: labels of
// letters, digits, '-' and '_' with single dots between (no leading, trailing or
// double dot), at most 253 bytes, and no label that Windows takes for a device
// (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$, in any case).
bool IsSafeHostName(std::string_view host);

// A dotted IPv4 literal ("203.0.113.10") or an IPv6 literal (hex digits, ':' and
// '.', at least two ':', at most 45 bytes).
bool IsAddressLiteral(std::string_view address);

// The address as it may appear in a logged event text: itself when it is a
// literal, else empty.
std::string LoggableAddress(std::string_view address);

}  // namespace kestra
