// Reads the hosts file format of the Windows resolver: lines of an address and
// names separated by spaces or tabs, "#" to the end of the line a comment, any of
// LF, CR LF or CR ending a line, an optional UTF-8 BOM.
#include "agent/core/hosts_file.h"

#include <algorithm>
#include <tuple>

#include "agent/core/host_names.h"

namespace kestra {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<unsigned> HexValue(char c) {
  if (IsDigit(c)) return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
  return std::nullopt;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsFieldSpace(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// What an address or a name may hold; anything else outside a comment means the
// file is not in a form the resolver and this reader agree on.
bool IsFieldByte(char c) { return c > 0x20 && c < 0x7F; }

bool ParseIpv4(std::string_view text, std::uint8_t out[4]) {
  int part = 0;
  std::size_t at = 0;
  for (; part < 4; ++part) {
    std::size_t end = at;
    while (end < text.size() && IsDigit(text[end])) ++end;
    std::size_t digits = end - at;
    if (digits == 0 || digits > 3 || (digits > 1 && text[at] == '0')) return false;
    int value = 0;
    for (std::size_t i = at; i < end; ++i) value = value * 10 + (text[i] - '0');
    if (value > 255) return false;
    out[part] = static_cast<std::uint8_t>(value);
    if (part < 3 && (end >= text.size() || text[end] != '.')) return false;
    at = end + 1;
    if (part == 3 && end != text.size()) return false;
  }
  return true;
}

// Up to eight hex groups with at most one "::"; an IPv4 tail takes the last two.
bool ParseIpv6(std::string_view text, std::array<std::uint8_t, 16>* out) {
  if (text.size() < 2 || text.size() > kMaxIpv6LiteralLength) return false;
  std::uint16_t groups[8] = {};
  int count = 0, gap = -1;
  std::size_t at = 0;
  if (text.substr(0, 2) == "::") {
    gap = 0;
    at = 2;
  } else if (text[0] == ':') {
    return false;
  }
  while (at < text.size()) {
    std::size_t end = at;
    while (end < text.size() && HexValue(text[end])) ++end;
    if (end < text.size() && text[end] == '.') {  // the IPv4 tail
      std::uint8_t v4[4];
      if (count > 6 || !ParseIpv4(text.substr(at), v4)) return false;
      groups[count++] = static_cast<std::uint16_t>(v4[0] << 8 | v4[1]);
      groups[count++] = static_cast<std::uint16_t>(v4[2] << 8 | v4[3]);
      at = text.size();
      break;
    }
    if (end == at || end - at > 4 || count == 8) return false;
    unsigned value = 0;
    for (std::size_t i = at; i < end; ++i) value = value << 4 | *HexValue(text[i]);
    groups[count++] = static_cast<std::uint16_t>(value);
    if (end == text.size()) {
      at = end;
      break;
    }
    if (text[end] != ':') return false;
    if (end + 1 < text.size() && text[end + 1] == ':') {
      if (gap >= 0) return false;
      gap = count;
      at = end + 2;
    } else {
      at = end + 1;
      if (at == text.size()) return false;  // a single trailing ':'
    }
  }
  if (gap < 0 ? count != 8 : count > 7) return false;
  std::uint16_t full[8] = {};
  int tail = gap < 0 ? 0 : count - gap;
  for (int i = 0; i < count - tail; ++i) full[i] = groups[i];
  for (int i = 0; i < tail; ++i) full[8 - tail + i] = groups[count - tail + i];
  for (int i = 0; i < 8; ++i) {
    (*out)[2 * i] = static_cast<std::uint8_t>(full[i] >> 8);
    (*out)[2 * i + 1] = static_cast<std::uint8_t>(full[i] & 0xFF);
  }
  return true;
}

// The pieces of a policy field that names several hosts or addresses.
template <typename Use>
void ForEachListItem(std::string_view list, Use use) {
  constexpr std::string_view kSeparators = ",; \t\r\n|";
  std::size_t at = 0;
  while (at < list.size()) {
    std::size_t end = list.find_first_of(kSeparators, at);
    if (end == std::string_view::npos) end = list.size();
    if (end > at) use(list.substr(at, end - at));
    at = end + 1;
  }
}

// The host of a policy URL ("https://m.bank.co.kr:443/path" -> "m.bank.co.kr"),
// or "" when it is no DNS name with a dot.
std::string HostOfPolicyUrl(std::string_view url) {
  std::size_t scheme = url.find("//");
  if (scheme != std::string_view::npos) url.remove_prefix(scheme + 2);
  url = url.substr(0, url.find_first_of("/?#\\:"));
  if (!url.empty() && url.back() == '.') url.remove_suffix(1);
  if (url.find('.') == std::string_view::npos || IsAddressLiteral(url) || !IsSafeHostName(url))
    return "";
  std::string host(url);
  std::transform(host.begin(), host.end(), host.begin(), LowerAscii);
  return host;
}

std::optional<IpAddress> ParsePolicyAddress(std::string_view text) {
  if (text.size() > 2 && text.front() == '[' && text.back() == ']')
    text = text.substr(1, text.size() - 2);
  return ParseIpAddress(text);
}

// Splits the file into lines, each with its terminator: LF, CR LF, or a CR not
// followed by LF.
std::vector<HostsLine> SplitLines(std::string_view bytes) {
  std::vector<HostsLine> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bool lone_cr = bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n');
    if (bytes[i] == '\n' || lone_cr) {
      lines.push_back({start, i + 1 - start});
      start = i + 1;
    }
  }
  if (start < bytes.size()) lines.push_back({start, bytes.size() - start});
  return lines;
}

std::string_view WithoutTerminator(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

HostsReadIssue ReadIssue(std::string_view bytes) {
  if (bytes.size() > kMaxHostsFileBytes) return HostsReadIssue::kTooLarge;
  if (bytes.size() >= 2 &&
      ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF'))) {
    return HostsReadIssue::kUnknownEncoding;
  }
  if (bytes.find('\0') != std::string_view::npos) return HostsReadIssue::kNulBytes;
  return HostsReadIssue::kNone;
}

// Judges the text of one entry (comment and all). `segment_starts` maps a byte of
// `text` to the line it came from (text may join several lines, see below).
class EntryJudge {
 public:
  EntryJudge(const ProtectedHosts& hosts, HostsJudgement* out) : hosts_(hosts), out_(out) {}

  // False when the entry holds a byte no address or name holds.
  bool Judge(std::string_view text, std::size_t first_line,
             const std::vector<std::size_t>& segment_starts) {
    text = text.substr(0, text.find('#'));
    std::string_view address;
    std::size_t at = 0;
    while (at < text.size()) {
      if (IsFieldSpace(text[at])) {
        ++at;
        continue;
      }
      std::size_t end = at;
      while (end < text.size() && !IsFieldSpace(text[end])) {
        if (!IsFieldByte(text[end])) return false;
        ++end;
      }
      std::string_view field = text.substr(at, end - at);
      if (address.empty()) {
        address = field;
      } else {
        std::size_t segment = std::upper_bound(segment_starts.begin(), segment_starts.end(), at) -
                              segment_starts.begin() - 1;
        JudgeName(address, field, first_line + segment);
      }
      at = end;
    }
    return true;
  }

 private:
  void JudgeName(std::string_view address, std::string_view field, std::size_t line) {
    name_.assign(field.data(), field.size());
    std::transform(name_.begin(), name_.end(), name_.begin(), LowerAscii);
    if (!name_.empty() && name_.back() == '.') name_.pop_back();
    const std::vector<int>* sites = hosts_.SitesClaiming(name_);
    if (sites == nullptr) return;
    std::optional<IpAddress> ip = ParseIpAddress(address);
    // Loopback and "any" addresses count like any other: they block the bank or
    // send it to a proxy on this PC (the common way of pharming here), so only an
    // address the policy lists for the site is genuine.
    if (ip) {
      for (int site : *sites) {
        if (hosts_.IsSiteAddress(site, *ip)) return;
      }
    }
    out_->tampered.push_back({line, std::string(address), name_, sites->front()});
    out_->line_tampered[line] = true;
  }

  const ProtectedHosts& hosts_;
  HostsJudgement* out_;
  std::string name_;
};

// A line ended by a lone CR may be taken by a resolver for part of the next line
// (CR as a space). Judges every run of such lines joined that way too, so that no
// reading of the file leaves a tampered entry unseen.
void JudgeJoinedLines(std::string_view bytes, std::size_t bom, EntryJudge& judge,
                      HostsJudgement* out) {
  const std::vector<HostsLine>& lines = out->lines;
  for (std::size_t first = 0; first < lines.size();) {
    std::size_t last = first;
    while (last + 1 < lines.size() && bytes[lines[last].offset + lines[last].length - 1] == '\r')
      ++last;
    if (last > first) {
      std::string joined;
      std::vector<std::size_t> starts;
      for (std::size_t i = first; i <= last; ++i) {
        starts.push_back(joined.size());
        std::string_view line = WithoutTerminator(bytes.substr(lines[i].offset, lines[i].length));
        if (i == 0) line.remove_prefix(std::min(bom, line.size()));
        joined.append(line);
        joined.push_back(' ');
      }
      judge.Judge(joined, first, starts);
    }
    first = last + 1;
  }
}

}  // namespace

std::optional<IpAddress> ParseIpAddress(std::string_view text) {
  IpAddress address;
  if (text.find(':') == std::string_view::npos) {
    if (!ParseIpv4(text, address.bytes.data())) return std::nullopt;
    return address;
  }
  address.v6 = true;
  if (!ParseIpv6(text, &address.bytes)) return std::nullopt;
  return address;
}

ProtectedHosts::ProtectedHosts(const std::vector<ObservationTarget>& targets) {
  addresses_.resize(targets.size());
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const ObservationTarget& t = targets[i];
    int site = static_cast<int>(i);
    auto claim = [this, site](std::string_view url) {
      std::string host = HostOfPolicyUrl(url);
      if (host.empty()) return;
      std::vector<int>& sites = sites_by_host_[host];
      if (std::find(sites.begin(), sites.end(), site) == sites.end()) sites.push_back(site);
    };
    auto add_address = [this, site](std::string_view text) {
      if (std::optional<IpAddress> ip = ParsePolicyAddress(text)) addresses_[site].push_back(*ip);
    };
    claim(t.main_host);
    if (t.use_urls) ForEachListItem(*t.use_urls, claim);
    ForEachListItem(t.main_ip, add_address);
    if (t.use_ips) ForEachListItem(*t.use_ips, add_address);
  }
}

const std::vector<int>* ProtectedHosts::SitesClaiming(std::string_view name) const {
  if (sites_by_host_.empty()) return nullptr;
  std::string key;
  for (std::size_t at = 0; at < name.size();) {
    key.assign(name.data() + at, name.size() - at);
    auto it = sites_by_host_.find(key);
    if (it != sites_by_host_.end()) return &it->second;
    std::size_t dot = name.find('.', at);
    if (dot == std::string_view::npos) break;
    at = dot + 1;
  }
  return nullptr;
}

bool ProtectedHosts::IsSiteAddress(int site, const IpAddress& address) const {
  const std::vector<IpAddress>& own = addresses_[static_cast<std::size_t>(site)];
  return std::find(own.begin(), own.end(), address) != own.end();
}

HostsJudgement JudgeHostsFile(std::string_view bytes, const ProtectedHosts& hosts) {
  HostsJudgement out;
  out.issue = ReadIssue(bytes);
  if (out.issue != HostsReadIssue::kNone) return out;
  std::size_t bom = bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom ? kUtf8Bom.size() : 0;
  out.lines = SplitLines(bytes);
  out.line_tampered.assign(out.lines.size(), false);
  EntryJudge judge(hosts, &out);
  const std::vector<std::size_t> one_segment = {0};
  for (std::size_t i = 0; i < out.lines.size(); ++i) {
    std::string_view line =
        WithoutTerminator(bytes.substr(out.lines[i].offset, out.lines[i].length));
    if (i == 0) line.remove_prefix(std::min(bom, line.size()));
    if (!judge.Judge(line, i, one_segment)) {
      HostsJudgement refused;
      refused.issue = HostsReadIssue::kUnknownEncoding;
      return refused;
    }
  }
  JudgeJoinedLines(bytes, bom, judge, &out);
  // The joined reading repeats what the lines said on their own: once is enough.
  auto key = [](const TamperedEntry& e) { return std::tie(e.line, e.name, e.address); };
  std::stable_sort(
      out.tampered.begin(), out.tampered.end(),
      [&key](const TamperedEntry& a, const TamperedEntry& b) { return key(a) < key(b); });
  out.tampered.erase(std::unique(out.tampered.begin(), out.tampered.end(),
                                 [&key](const TamperedEntry& a, const TamperedEntry& b) {
                                   return key(a) == key(b);
                                 }),
                     out.tampered.end());
  return out;
}

std::string WithoutTamperedLines(std::string_view bytes, const HostsJudgement& judgement) {
  std::string kept;
  kept.reserve(bytes.size());
  // The BOM says how the whole file is written: it stays when its line goes.
  bool bom_line_goes = !judgement.lines.empty() && judgement.line_tampered[0] &&
                       bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom;
  if (bom_line_goes) kept.append(kUtf8Bom);
  for (std::size_t i = 0; i < judgement.lines.size(); ++i) {
    if (!judgement.line_tampered[i])
      kept.append(bytes.substr(judgement.lines[i].offset, judgement.lines[i].length));
  }
  return kept;
}

}  // namespace kestra
