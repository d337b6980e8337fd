// The Windows hosts file, read as the resolver reads it, and judged against the
// protected sites: which entries send a protected host to an address that is not
// one of its site's addresses. Every line keeps its exact bytes, so that the
// repaired file is the original less the tampered lines and nothing else.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "agent/core/policy.h"

namespace kestra {

// Larger hosts files are not judged: no resolver file of a PC is that long, and
// judging must stay quick on the main thread.
inline constexpr std::size_t kMaxHostsFileBytes = 1024 * 1024;

// Why a file was not judged. Nothing is repaired then; the caller reports.
enum class HostsReadIssue {
  kNone,
  kTooLarge,         // over kMaxHostsFileBytes
  kNulBytes,         // a NUL byte anywhere: not a text file (or UTF-16 without a BOM)
  kUnknownEncoding,  // a UTF-16/UTF-32 BOM, or a byte outside comments that no address or name
                     // holds
};

// An IPv4 or IPv6 address in binary form; IPv4 is kept as itself, not mapped.
struct IpAddress {
  bool v6 = false;
  std::array<std::uint8_t, 16> bytes{};
  bool operator==(const IpAddress& o) const { return v6 == o.v6 && bytes == o.bytes; }
};

// A literal as the resolver writes it: strict dotted decimal (no leading zeros,
// no short forms) or an IPv6 text with an optional embedded IPv4 tail; no zone.
std::optional<IpAddress> ParseIpAddress(std::string_view text);

// One line of the file: its bytes in the file, terminator included.
struct HostsLine {
  std::size_t offset = 0;
  std::size_t length = 0;
};

// A name of the file that belongs to a protected site and an address that is not
// one of the site's.
struct TamperedEntry {
  std::size_t line = 0;  // index into HostsJudgement::lines
  std::string address;   // the entry's address field as written
  std::string name;      // lower-cased, without a trailing dot
  int target = -1;       // index into the target table (the first site claiming the name)
};

struct HostsJudgement {
  HostsReadIssue issue = HostsReadIssue::kNone;  // when set, nothing below is filled
  std::vector<HostsLine> lines;
  std::vector<TamperedEntry> tampered;  // by line, then name; no repeats
  std::vector<bool> line_tampered;      // one per line
  bool clean() const { return issue == HostsReadIssue::kNone && tampered.empty(); }
};

// The protected hosts of a target table (each site's main host and the hosts of
// its use URLs, lower-cased; a host that is an address or has no dot protects
// nothing) and each site's addresses (main and use addresses). Built once per
// policy, read by every judgement.
class ProtectedHosts {
 public:
  explicit ProtectedHosts(const std::vector<ObservationTarget>& targets);

  // The sites that claim `name` (lower-case) itself or one of its parent domains
  // at a label boundary; empty when none does.
  const std::vector<int>* SitesClaiming(std::string_view name) const;
  bool IsSiteAddress(int site, const IpAddress& address) const;
  bool empty() const { return sites_by_host_.empty(); }

 private:
  std::unordered_map<std::string, std::vector<int>> sites_by_host_;
  std::vector<std::vector<IpAddress>> addresses_;  // by site
};

// Reads the file and finds every tampered entry. A name claimed by several sites
// is genuine when its address belongs to any of them.
HostsJudgement JudgeHostsFile(std::string_view bytes, const ProtectedHosts& hosts);

// The file's bytes less the tampered lines, everything else byte for byte.
std::string WithoutTamperedLines(std::string_view bytes, const HostsJudgement& judgement);

}  // namespace kestra
