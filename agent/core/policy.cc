#include "agent/core/policy.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "agent/core/tagged_text.h"
#include "common/core/ansi_text.h"

namespace kestra {

namespace {

std::string Field(std::string_view block, std::string_view tag, std::size_t width) {
  std::string value;
  FindTag(block, tag, &value);
  return tessal::CutAnsi(value, width - 1);
}

std::optional<std::string> HeapText(std::string_view block, std::string_view tag) {
  std::string value;
  if (!FindTag(block, tag, &value)) return std::nullopt;
  return value;
}

std::string HostOfUrl(const std::string& url) {
  std::size_t slashes = url.find("//");
  return slashes == std::string::npos ? url : url.substr(slashes + 2);
}

int DecimalValue(const std::string& text) {
  // As atoi, but a value out of range saturates instead of wrapping: an option
  // of "4294967296" must not read as 0.
  long value = std::strtol(text.c_str(), nullptr, 10);
  return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

}  // namespace

int TagNumber(std::string_view text, std::string_view tag, int default_value) {
  std::string value;
  if (!FindTag(text, tag, &value)) return default_value;
  return DecimalValue(value);
}

void ParseTargets(std::string_view reply, std::vector<ObservationTarget>* targets,
                  std::string* address_list) {
  targets->clear();
  address_list->clear();
  const std::string_view open = kTargetOpenTag;
  std::size_t at = reply.find(open);
  while (at != std::string_view::npos && targets->size() < kMaxTargets) {
    // A block runs to the next opening tag or the end of the reply, so that a
    // field missing from one block is never taken from the next organisation's.
    std::size_t next = reply.find(open, at + open.size());
    std::string_view block =
        reply.substr(at, next == std::string_view::npos ? std::string_view::npos : next - at);

    ObservationTarget t;
    t.company_id = Field(block, "companyid", 64);
    t.display_id = tessal::CutAnsi(t.company_id, 127);
    std::string main_url;
    FindTag(block, "companymainurl", &main_url);
    t.main_host = tessal::CutAnsi(HostOfUrl(main_url), 127);
    *address_list += main_url + ";";
    t.main_ip = Field(block, "companymainipaddress", 128);
    *address_list += t.main_ip + ";";
    t.use_urls = HeapText(block, "companyuseurls");
    if (t.use_urls && !t.use_urls->empty()) *address_list += *t.use_urls + ";";
    t.use_ips = HeapText(block, "companyuseipaddresss");
    if (t.use_ips && !t.use_ips->empty()) *address_list += *t.use_ips + ";";
    t.activation_option = TagNumber(block, "agentactivationoption", 1);
    t.termination_option = TagNumber(block, "agentterminationoption", 0);
    t.uninstall_option = TagNumber(block, "agentuninstallationoption", 0);
    t.hash_data = Field(block, "hashdata", 512);
    t.certificate = HeapText(block, "certificate");
    t.main_host = tessal::LowerAnsi(t.main_host);
    targets->push_back(std::move(t));
    at = next;
  }
}

ServerSettings ParseServerSettings(std::string_view settings) {
  ServerSettings s;
  std::string value;
  // A tag that is present but empty stays empty; only a missing tag takes the default.
  s.server = FindTag(settings, "CV_SERVER", &value) ? tessal::CutAnsi(value, 127) : kDefaultServer;
  s.object =
      FindTag(settings, "CV_OBJECT", &value) ? tessal::CutAnsi(value, 127) : "/CommandService";
  std::string port = FindTag(settings, "CV_PORT", &value) ? tessal::CutAnsi(value, 127) : "80";
  s.port = DecimalValue(port);
  return s;
}

std::string PolicyTimeLabel(const LocalTime& t, bool from_cache) {
  char label[96];
  std::snprintf(label, sizeof(label), "%04d%02d%02d-%02d%02d%02d %s", t.year, t.month, t.day,
                t.hour, t.minute, t.second, from_cache ? "로컬정책" : "업데이트");
  return label;
}

MenuModel BuildPolicyMenu(Edition edition, const std::vector<std::string>& display_ids,
                          bool termination, const std::string& time_label) {
  MenuModel menu;
  if (edition == Edition::kX) {
    unsigned command = 1;
    for (const std::string& id : display_ids) menu.push_back({false, command++, id + " 보호"});
    if (termination) {
      menu.push_back({true, 0, ""});
      menu.push_back({false, kCmdExit, "종료"});
    }
    menu.push_back({true, 0, ""});
  } else if (termination) {
    menu.push_back({false, kCmdExit, "종료"});
  }
  menu.push_back({false, kCmdPolicyTime, time_label});
  menu.push_back({true, 0, ""});
  menu.push_back({false, kCmdEngineUpdate, "엔진업데이트"});
  return menu;
}

MenuModel BuildRetryMenu(int which) {
  return {{false, kCmdRetry, which == 1 ? "서버연결#1/재시도중..." : "서버연결#2/재시도중..."},
          {true, 0, ""},
          {false, kCmdExit, "종료"}};
}

}  // namespace kestra
