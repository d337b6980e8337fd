#include "agent/core/url_watch.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "agent/core/host_names.h"
#include "common/core/ansi_text.h"

namespace kestra {
namespace {

constexpr std::string_view kAddressPrefix = "ip:";
constexpr std::string_view kHttps = "https://";
constexpr std::string_view kHttp = "http://";
constexpr char kPathCharacters[] = "-._~:/?#[]@!$&()*+,;=%";

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::string_view AfterScheme(std::string_view url) {
  if (StartsWith(url, kHttps)) return url.substr(kHttps.size());
  if (StartsWith(url, kHttp)) return url.substr(kHttp.size());
  return url;
}

bool IsPathCharacter(char c) {
  bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  return alnum || (c != '\0' && std::strchr(kPathCharacters, c) != nullptr);
}

// The URL after its first '.', or the whole URL when it has none.
std::string_view DomainOf(std::string_view url) {
  std::size_t dot = url.find('.');
  return dot == std::string_view::npos ? url : url.substr(dot + 1);
}

// True when the same kind of report for the same domain came within the window.
bool IsRepeat(std::string_view url, int kind, UrlWatchState& state, std::uint64_t now) {
  if (!state.last_domain.empty() && state.last_kind == kind &&
      url.find('.') != std::string_view::npos) {
    if (state.last_domain == DomainOf(url) && now - state.last_domain_ms < kWatchRepeatMs)
      return true;
    state.last_domain.clear();
  }
  if (state.last_domain.empty()) {
    state.last_domain = std::string(DomainOf(url));
    state.last_domain_ms = now;
  }
  return false;
}

// A bare host name made into a URL.
std::string AsUrl(const std::string& name) {
  if (StartsWith(name, kHttps) || StartsWith(name, kHttp)) return name;
  std::size_t dots = 0;
  for (char c : name) dots += c == '.';
  return std::string(dots == 1 ? "https://www." : "https://") + name;
}

std::string DnsLine(const std::string& url, const std::string& address) {
  return "<DNS>" + url + "</DNS><ADR>" + address + "</ADR>";
}

bool OnAddressReport(std::string_view address, TargetTable& table, UrlWatchState& state,
                     UrlWatchHost& host) {
  if (!IsAddressLiteral(address)) return false;
  {
    // The library reports every https connection: the list is taken apart
    // again only after a refresh changed it.
    table.Read([&](const TargetContents& c) {
      if (c.address_list == state.hosts_of_list) return;
      state.hosts_of_list = c.address_list;
      state.https_hosts = ProtectedHttpsHosts(state.hosts_of_list);
    });
  }
  std::string protected_host = FindProtectedHostByAddress(address, state.https_hosts, host);
  if (protected_host.empty()) return true;
  std::string url = std::string(kHttps) + protected_host;
  if (IsRepeat(url, kAddressReport, state, host.NowMs())) return false;
  host.Broadcast(DnsLine(url, std::string(address)));
  state.last_kind = kAddressReport;
  return true;
}

// Whether a protected site claims the URL: its use URLs contain it, or it
// contains the site's main host.
bool MatchesATarget(const std::string& url, const TargetTable& table) {
  return table.Read([&](const TargetContents& c) {
    for (const ObservationTarget& t : c.targets) {
      bool by_use_urls = t.use_urls && t.use_urls->find(url) != std::string::npos;
      bool by_main_host = !t.main_host.empty() && url.find(t.main_host) != std::string::npos;
      if (by_use_urls || by_main_host) return true;
    }
    return false;
  });
}

bool OnNameReport(const std::string& name, TargetTable& table, UrlWatchState& state,
                  UrlWatchHost& host) {
  std::string url = AsUrl(name);
  std::uint64_t now = host.NowMs();
  if (IsRepeat(url, kNameReport, state, now)) return false;
  if (MatchesATarget(url, table)) {
    if (std::optional<std::string> address = ResolveUrlHost(url, host)) {
      host.Broadcast(DnsLine(url, *address));
      state.last_kind = kNameReport;
      return true;
    }
  }
  if (state.last_canonical_ms && now - *state.last_canonical_ms < kWatchRepeatMs) return false;
  state.last_canonical_ms = now;
  if (ResolveUrlHost(url, host)) host.Broadcast("<URL_CANONICAL>" + url + "</URL_CANONICAL>");
  return true;
}

}  // namespace

std::string CaptureCheckText(bool capture_opened, const LocalTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%s - %04d-%02d-%02d:%02d:%02d:%02d",
                capture_opened ? "OK" : "Not Support", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return text;
}

bool IsPlausibleWebName(std::string_view text) {
  std::string_view rest = AfterScheme(text);
  std::size_t host_end = rest.find_first_of(":/");
  std::string_view host = rest.substr(0, host_end);
  if (!IsSafeHostName(host)) return false;
  if (host_end == std::string_view::npos) return true;
  std::string_view tail = rest.substr(host_end);
  if (tail[0] == ':') {
    std::size_t port_end = std::min(tail.find('/'), tail.size());
    std::string_view port = tail.substr(1, port_end - 1);
    if (port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string_view::npos ||
        std::stoul(std::string(port)) > 65535) {
      return false;
    }
    tail = tail.substr(port_end);
  }
  for (char c : tail) {
    if (!IsPathCharacter(c)) return false;
  }
  return true;
}

std::vector<std::string> ProtectedHttpsHosts(std::string_view address_list) {
  std::vector<std::string> hosts;
  for (std::size_t from = 0;;) {
    std::size_t start = address_list.find(kHttps, from);
    if (start == std::string_view::npos) return hosts;
    start += kHttps.size();
    std::size_t end = address_list.find(';', start);
    if (end == std::string_view::npos) return hosts;
    std::string_view name = address_list.substr(start, end - start);
    if (IsSafeHostName(name)) hosts.emplace_back(name);
    from = end;
  }
}

std::string FindProtectedHostByAddress(std::string_view address,
                                       const std::vector<std::string>& hosts, UrlWatchHost& host) {
  if (address.empty()) return "";
  for (const std::string& name : hosts) {
    std::optional<std::string> resolved = host.Resolve(name);
    if (resolved && resolved->find(address) != std::string::npos) return name;
  }
  return "";
}

std::optional<std::string> ResolveUrlHost(std::string_view url, UrlWatchHost& host) {
  std::string lower = tessal::LowerAnsi(url);
  std::string_view rest = AfterScheme(lower);
  if (rest.size() == lower.size() || rest.empty()) return std::nullopt;
  std::size_t end = rest.find(':');
  if (end == std::string_view::npos) end = rest.find('/');
  std::string name(rest.substr(0, end));
  if (!IsSafeHostName(name)) return std::nullopt;
  return host.Resolve(name);
}

bool OnMonitorUrl(const char* text, TargetTable& table, UrlWatchState& state, UrlWatchHost& host) {
  if (text == nullptr) return false;
  std::size_t length = strnlen(text, kMaxReportText + 1);
  if (length > kMaxReportText) return false;
  std::string report = tessal::LowerAnsi(std::string_view(text, length));
  // Only the library's own address form counts; "ip:" inside a name seen on
  // the wire is just a name.
  if (StartsWith(report, kAddressPrefix)) {
    return OnAddressReport(std::string_view(report).substr(kAddressPrefix.size()), table, state,
                           host);
  }
  if (!IsPlausibleWebName(report)) return false;
  return OnNameReport(report, table, state, host);
}

}  // namespace kestra
