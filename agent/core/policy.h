// The protection policy: reading the management server's reply into protected
// sites, the address list handed to other components, the settings file, and the
// tray menu that each refresh rebuilds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "agent/core/startup_rules.h"

namespace kestra {

// One protected site, one "<observationtarget>" block of the reply. Text fields
// are cut to their fixed widths (less the terminator).
struct ObservationTarget {
  std::string company_id;  // 64
  std::string display_id;  // 128, a copy of the company id
  std::string main_host;   // 128, after the first "//", lower-cased
  std::string main_ip;     // 128
  std::string hash_data;   // 512
  std::optional<std::string> use_urls;
  std::optional<std::string> use_ips;
  std::optional<std::string> certificate;
  int activation_option = 1;
  int termination_option = 0;
  int uninstall_option = 0;
};

inline constexpr std::size_t kMaxTargets = 128;
// Replies and caches larger than this are refused like a missing reply.
inline constexpr std::size_t kMaxReplyBytes = 4 * 1024 * 1024;
inline constexpr char kTargetOpenTag[] = "<observationtarget>";

// The targets of an X-edition reply, each field read within its own block, at
// most 128; also the address list (before lower-casing).
void ParseTargets(std::string_view reply, std::vector<ObservationTarget>* targets,
                  std::string* address_list);

// Decimal value of a tag, or the default when the tag is missing.
int TagNumber(std::string_view text, std::string_view tag, int default_value);

struct ServerSettings {
  std::string server;  // "CV_SERVER"
  std::string object;  // "CV_OBJECT", default "/CommandService"
  int port = 80;       // "CV_PORT", default "80"
};
inline constexpr char kDefaultServer[] = "cvm.corvanta.co.kr";
ServerSettings ParseServerSettings(std::string_view settings);

struct TargetContents {
  std::vector<ObservationTarget> targets;
  std::string address_list;
};

// The target table and address list, guarded by the target lock: the main thread
// rebuilds them while the URL watcher thread reads them. They are reached only
// through Read and Write, which hold the lock for the call.
class TargetTable {
 public:
  template <typename Reader>
  auto Read(Reader&& reader) const {
    std::lock_guard<std::mutex> hold(lock_);
    return reader(static_cast<const TargetContents&>(contents_));
  }
  template <typename Writer>
  auto Write(Writer&& writer) {
    std::lock_guard<std::mutex> hold(lock_);
    return writer(contents_);
  }
  TargetContents Copy() const {
    return Read([](const TargetContents& c) { return c; });
  }
  void Replace(TargetContents contents) {
    Write([&](TargetContents& c) { c = std::move(contents); });
  }

 private:
  mutable std::mutex lock_;
  TargetContents contents_;
};

// Tray menu entries. Command ids are fixed: 1..128 sites, 0 retry text,
// 129 exit, 130 policy time, 131 engine update.
struct MenuEntry {
  bool separator = false;
  unsigned command = 0;
  std::string text;
  bool operator==(const MenuEntry& o) const {
    return separator == o.separator && command == o.command && text == o.text;
  }
};
using MenuModel = std::vector<MenuEntry>;

inline constexpr unsigned kCmdRetry = 0;
inline constexpr unsigned kCmdExit = 129;
inline constexpr unsigned kCmdPolicyTime = 130;
inline constexpr unsigned kCmdEngineUpdate = 131;

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// "YYYYMMDD-hhmmss 로컬정책" when the cache was used, else "... 업데이트".
std::string PolicyTimeLabel(const LocalTime& t, bool from_cache);
// The menu after a good refresh.
MenuModel BuildPolicyMenu(Edition edition, const std::vector<std::string>& display_ids,
                          bool termination, const std::string& time_label);
// The menu while no policy could ever be loaded: retry text #1 or #2 and exit.
MenuModel BuildRetryMenu(int which);

}  // namespace kestra
