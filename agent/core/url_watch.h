// What the agent does with the reports of the packet monitor library: an
// address the PC talks to that belongs to a protected https site, or a web host
// named in a request, becomes a broadcast to every registered requester with
// the address the site's name resolves to on this PC now.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "agent/core/policy.h"

namespace kestra {

// Everything the watcher needs from the platform; injected so tests choose.
class UrlWatchHost {
 public:
  virtual ~UrlWatchHost() = default;
  virtual std::uint64_t NowMs() = 0;
  // The host's first IPv4 address in dotted decimal; nothing when it does not
  // resolve (in bounded time).
  virtual std::optional<std::string> Resolve(const std::string& host) = 0;
  // Writes the text into every registered record file.
  virtual void Broadcast(const std::string& text) = 0;
};

// The watcher's memory of what it last reported; touched by its thread only.
struct UrlWatchState {
  std::string last_domain;  // the reported URL after its first '.', or all of it
  std::uint64_t last_domain_ms = 0;
  int last_kind = 0;  // kAddressReport or kNameReport
  std::optional<std::uint64_t> last_canonical_ms;
  // The protected https hosts of the address list last seen (`hosts_of_list`).
  std::string hosts_of_list;
  std::vector<std::string> https_hosts;
};

inline constexpr int kAddressReport = 1;
inline constexpr int kNameReport = 2;
inline constexpr std::uint64_t kWatchRepeatMs = 60000;
// Reports are shorter than this; a longer one is not a report of the library.
inline constexpr std::size_t kMaxReportText = 383;

// The report callback's work. True when the report was handled, false when it was
// suppressed or dropped. Reads the table only under its lock and resolves outside it.
bool OnMonitorUrl(const char* text, TargetTable& table, UrlWatchState& state, UrlWatchHost& host);

// The hosts of the address list's "https://" entries, those fit to be looked up.
std::vector<std::string> ProtectedHttpsHosts(std::string_view address_list);
// The first of the protected hosts whose address contains `address`; empty
// when none does.
std::string FindProtectedHostByAddress(std::string_view address,
                                       const std::vector<std::string>& hosts, UrlWatchHost& host);

// The address of the URL's host ("http://" or "https://" required; the host
// ends at the first ':', else the first '/').
std::optional<std::string> ResolveUrlHost(std::string_view url, UrlWatchHost& host);

// "zCvNet.chk" in the base folder tells whether capture works on this PC.
inline constexpr char kCaptureCheckFile[] = "zCvNet.chk";
// "OK - YYYY-MM-DD:hh:mm:ss" or "Not Support - YYYY-MM-DD:hh:mm:ss".
std::string CaptureCheckText(bool capture_opened, const LocalTime& t);

// A name seen on the wire that may go into a record file: a DNS name, with an
// optional "http://" or "https://", ":port" and a path of URL characters
// (never '<', '>', quotes, spaces or controls).
bool IsPlausibleWebName(std::string_view text);

}  // namespace kestra
