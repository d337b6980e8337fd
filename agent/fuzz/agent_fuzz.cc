// libFuzzer targets for everything the agent reads from less trusted processes
// and the network: tagged text, the policy reply and server settings (through a
// whole refresh), record files and evidence (through a whole inspection), the
// scrambled files, and the host-name, address and event-text checks.
//
// AGENT_FUZZ_TARGET=<name> gives the whole input to one target; without it the
// first byte chooses the target and the rest is its input.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "agent/core/host_names.h"
#include "agent/core/hosts_file.h"
#include "agent/core/hosts_guard.h"
#include "agent/core/policy.h"
#include "agent/core/policy_refresh.h"
#include "agent/core/record_files.h"
#include "agent/core/scrambled_file.h"
#include "agent/core/tagged_text.h"
#include "agent/core/toast_state.h"
#include "agent/core/verdict.h"
#include "agent/responder/core/jsonp_reply.h"
#include "agent/tests/sample_targets.h"
#include "common/core/file_io.h"

namespace kestra {
namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

// Takes a length-prefixed piece off the front of the input (length = first byte
// scaled), the rest stays in `rest`.
std::string TakePiece(std::string_view* rest, unsigned scale) {
  if (rest->empty()) return std::string();
  std::size_t n = static_cast<unsigned char>(rest->front()) * static_cast<std::size_t>(scale);
  rest->remove_prefix(1);
  n = n < rest->size() ? n : rest->size();
  std::string piece(rest->substr(0, n));
  rest->remove_prefix(n);
  return piece;
}

// What a file name built from a host may hold, checked independently of the
// checker: one path component, no device syntax, no parent step.
bool LooksLikeOneFileName(std::string_view host) {
  if (host.empty() || host.size() > kMaxHostNameLength || host.front() == '.' || host.back() == '.')
    return false;
  if (host.find("..") != std::string_view::npos) return false;
  for (char c : host) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x21 || u >= 0x7F || std::strchr("\\/:*?\"<>|$", c) != nullptr) return false;
  }
  return true;
}

void FuzzTags(std::string_view input) {
  std::string name = TakePiece(&input, 1).substr(0, 24);
  std::string text(input);
  int length = ExtractTag(text.c_str(), name.c_str(), nullptr, 0);
  Require(length >= 0 && static_cast<std::size_t>(length) <= std::strlen(text.c_str()));
  // Exactly sized buffers, so that a byte too many is seen by the sanitizer.
  for (std::size_t size : {static_cast<std::size_t>(length) + 1, std::size_t{1}, std::size_t{4}}) {
    std::unique_ptr<char[]> out(new char[size]());
    int found = ExtractTag(text.c_str(), name.c_str(), out.get(), size);
    Require(std::strlen(out.get()) < size && (found == 1 || out[0] == 0));
  }
  // The policy parser's way of walking the elements: each content is where it
  // says and is followed by its closing tag.
  std::size_t from = 0;
  std::string content;
  std::size_t next = 0;
  for (int steps = 0; steps < 64 && FindTagFrom(text, name, from, &content, &next); ++steps) {
    Require(next <= text.size() && text.compare(next, content.size(), content) == 0);
    Require(text.compare(next + content.size(), name.size() + 3, "</" + name + ">") == 0);
    Require(next > from);
    from = next;
  }
}

class FuzzComm : public CommLibrary {
 public:
  std::string reply;
  int InfoSet(char* buffer, int size) override {
    if (buffer == nullptr) return static_cast<int>(reply.size());
    Require(size >= static_cast<int>(reply.size()));
    std::memcpy(buffer, reply.data(), reply.size());
    return 1;
  }
  void SetServer(const std::string& server, int, const std::string& object) override {
    Require(server.size() < 128 && object.size() < 128);
  }
  void SetCompany(const std::string& id) override { Require(id.size() < 64); }
  void Access(const std::string&) override {}
  void Log(const std::string&, const std::string&, int) override {}
};

class FuzzRefreshHost : public RefreshHost {
 public:
  FuzzComm comm;
  std::string text;
  bool from_cache = false;
  void SetTimer(unsigned, unsigned) override {}
  void KillTimer(unsigned) override {}
  void HideMainWindow() override {}
  uint64_t NowMs() override { return 1000; }
  LocalTime Now() override { return LocalTime{2026, 1, 2, 3, 4, 5}; }
  void RunProtectedStart() override {}
  void Shutdown() override {}
  void FatalMessage(const std::string&) override {}
  CommLoad LoadComm(Edition, CommLibrary** out) override {
    *out = &comm;
    return CommLoad::kLoaded;
  }
  std::optional<std::string> ReadServerSettings(Edition) override { return text; }
  std::optional<std::string> ReadCompanyIdFile() override { return text; }
  void MakeWorkFolders() override {}
  std::optional<std::string> ReadCache() override { return text; }
  void WriteCache(const std::string&) override {}
  void DeleteCache() override {}
  void WriteAddressListFile(const std::string&) override {}
  void SetMenu(const MenuModel& menu) override { Require(menu.size() <= kMaxTargets + 6); }
  void StartBrowsers() override {}
  void CloseBrowsers() override {}
  void GuardHostsFile() override {}
};

void FuzzPolicy(std::string_view input) {
  if (input.empty()) return;
  unsigned char mode = static_cast<unsigned char>(input.front());
  input.remove_prefix(1);
  FuzzRefreshHost host;
  host.text.assign(input);
  if ((mode & 2) == 0) host.comm.reply.assign(input);  // else the cache is read
  PolicyState state;
  state.edition = (mode & 1) ? Edition::kR : Edition::kX;
  RunPolicyRefresh(state, host);
  std::vector<ObservationTarget> targets = state.table.Copy().targets;
  for (const ObservationTarget& t : targets) {
    Require(t.company_id.size() < 64 && t.display_id.size() < 128 && t.main_host.size() < 128);
    Require(t.main_ip.size() < 128 && t.hash_data.size() < 512);
  }
  Require(targets.size() <= kMaxTargets);
  ServerSettings settings = ParseServerSettings(input);
  Require(settings.server.size() < 128 && settings.object.size() < 128);
}

class FuzzInspectionHost : public InspectionHost {
 public:
  std::string record, evidence;
  uint64_t now = 0;
  uint64_t NowMs() override { return now; }
  void Wait(unsigned ms) override { now += ms; }
  std::optional<std::string> ReadExclusionFile() override { return evidence; }
  std::string MacText() override { return "00-1A-2B-3C-4D-5E"; }
  std::optional<std::string> ReadRecord(int32_t) override { return record; }
  void WriteRecord(int32_t, const std::string& text) override {
    Require(text == "OK" || text == "UNKNOWN");
  }
  std::string ReadEvidence(const std::string& host, int32_t) override {
    Require(LooksLikeOneFileName(host));
    return evidence;
  }
  bool DeleteEvidence(const std::string& host, int32_t) override {
    Require(LooksLikeOneFileName(host));
    return false;
  }
  void ShowTrayIconForAWhile() override {}
  void SendBrowserAlert() override {}
  void CommAccess(const std::string&) override {}
  void CommSetCompany(const std::string&) override {}
  void CommLog(const std::string&, const std::string& event, int) override {
    Require(event.size() <= record.size() + kMaxIpv6LiteralLength + 64);
  }
  bool NotifierReady() override { return true; }
  bool NotifierShowing() override { return false; }
  void ShowNotice(const std::string&, const std::string&, const std::string& host, int) override {
    ToastState toast;
    toast.Fill(0, host, kKindAddress);
    std::string url = ConnectUrl(toast.host());
    Require(url.empty() || LooksLikeOneFileName(url.substr(8)));
  }
  void GuardHostsFile() override {}
};

void FuzzRecord(std::string_view input) {
  FuzzInspectionHost host;
  host.record = TakePiece(&input, 2);  // at most 510 bytes, as a record read is
  host.evidence.assign(input);
  PolicyState policy;
  policy.policy_loaded = true;
  policy.table.Replace({{SampleBank(), SampleCard()}, ""});
  InspectionState inspection;
  inspection.current_record = 7;
  std::string verdict = InspectRecord(inspection, policy, host);
  Require(verdict.empty() || verdict == "OK" || verdict == "NOT" || verdict == "UNKNOWN");
  RecordRequest request = ParseRecordText(host.record);
  Require(request.host.size() + request.address.size() <= host.record.size());
}

std::string TempFilePath() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir ? dir : "/tmp") + "/agent_fuzz_" + std::to_string(getpid()) + ".bin";
  }();
  return path;
}

void FuzzScrambled(std::string_view input) {
  const std::string path = TempFilePath();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return;
  std::fwrite(input.data(), 1, input.size(), f);
  std::fclose(f);
  int length = ReadScrambledFile(path.c_str(), nullptr, 0);
  Require(length == static_cast<int>(input.size()));
  std::size_t small = input.empty() ? 1 : static_cast<unsigned char>(input[0]) % 8 + 1;
  for (std::size_t size : {static_cast<std::size_t>(length) + 1, small}) {
    std::unique_ptr<char[]> out(new char[size]());
    if (ReadScrambledFile(path.c_str(), out.get(), size) != 1) continue;
    for (std::size_t i = 0; i + 1 < size && i < input.size(); ++i) {
      Require(static_cast<unsigned char>(out[i]) == static_cast<unsigned char>(~input[i]));
    }
  }
  std::string clear;
  Require(ReadScrambledText(path, &clear, input.size()) && Scramble(clear) == input);
  std::string text = clear.c_str();
  std::size_t slash = path.rfind('/');
  tessal::SafeFolder folder = tessal::SafeFolder::Hold(path.substr(0, slash));
  Require(WriteScrambledFile(folder, path.substr(slash + 1).c_str(), text.c_str()));
  Require(ReadScrambledText(path, &clear, text.size()) && clear == text);
  std::remove(path.c_str());
}

void FuzzNames(std::string_view input) {
  int kind = input.empty() ? 0 : static_cast<unsigned char>(input.front()) % 5;
  std::string host = TakePiece(&input, 2);
  std::string address(input);
  if (IsSafeHostName(host)) {
    Require(LooksLikeOneFileName(host));
    std::string path = EvidenceFileName("work", host, 7);
    Require(path == std::string("work") + tessal::kPathSeparator + host + ".00007");
    Require(ConnectUrl(host) == "https://" + host);
  } else {
    Require(ConnectUrl(host).empty());
  }
  std::string logged = LoggableAddress(address);
  Require(logged.empty() || logged == address);
  Require(logged.size() <= kMaxIpv6LiteralLength &&
          logged.find_first_not_of("0123456789abcdefABCDEF:.") == std::string::npos);
  std::string event = EventText(kind, host, address);
  Require(event.size() <= host.size() + logged.size() + 64);
  if (kind != kKindDnsSettings) Require(event.compare(0, 1, "[") == 0);
  Require(DomainOf(host).size() < host.size() + (host.empty() ? 1 : 0));
  ChooseAlertLines(host, kind & 1, kind & 2);
}

// The presence responder's request bytes: the reply is one of the two forms,
// and a name repeated into script is a plain identifier path of bounded length.
void FuzzJsonp(std::string_view input) {
  std::string reply = responder::JsonpReply(input);
  const std::string head = "HTTP/1.0 200\r\n\r\n";
  Require(reply.compare(0, head.size(), head) == 0);
  std::string name = reply.substr(head.size(), reply.find('(') - head.size());
  Require(name.size() <= responder::kMaxCallbackName && !name.empty());
  Require(
      name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_$.") ==
      std::string::npos);
  Require(name == "CVSetup" || input.find("callback=" + name + "&") != std::string_view::npos);
}

// A hosts file, judged against the sample sites and one whose policy fields come
// from the input: the lines cover the file, the repair keeps whole lines in
// their order and leaves nothing that any reading finds tampered.
void FuzzHosts(std::string_view input) {
  ObservationTarget site;
  site.main_host = TakePiece(&input, 1);
  site.use_urls = TakePiece(&input, 1);
  site.use_ips = TakePiece(&input, 1);
  std::vector<ObservationTarget> targets = {SampleBank(), SampleCard(), site};
  ProtectedHosts hosts(targets);
  HostsJudgement judgement = JudgeHostsFile(input, hosts);
  if (judgement.issue != HostsReadIssue::kNone) {
    Require(judgement.lines.empty() && judgement.tampered.empty());
    return;
  }
  std::size_t at = 0;
  for (const HostsLine& line : judgement.lines) {
    Require(line.offset == at && line.length > 0);
    at += line.length;
  }
  Require(at == input.size() && judgement.line_tampered.size() == judgement.lines.size());
  for (const TamperedEntry& e : judgement.tampered) {
    Require(e.line < judgement.lines.size() && judgement.line_tampered[e.line]);
    Require(e.target >= 0 && e.target < 3 && !e.name.empty());
  }
  std::vector<TamperedEntry> removed;
  std::string repaired = RepairedHostsBytes(input, hosts, &removed);
  Require(repaired.size() <= input.size() + 3 && JudgeHostsFile(repaired, hosts).clean());
  Require(judgement.tampered.empty() == (repaired == input));
  HostsRepairOutcome outcome;
  outcome.result = HostsRepair::kRepaired;
  outcome.tampered = removed;
  Require(HostsEvents(outcome, targets).size() <= kMaxHostsEvents);
}

struct Target {
  const char* name;
  void (*run)(std::string_view);
};
constexpr Target kTargets[] = {
    {"tags", FuzzTags},           {"policy", FuzzPolicy}, {"record", FuzzRecord},
    {"scrambled", FuzzScrambled}, {"names", FuzzNames},   {"jsonp", FuzzJsonp},
    {"hosts", FuzzHosts},
};
constexpr std::size_t kTargetCount = sizeof(kTargets) / sizeof(kTargets[0]);

const Target* ChosenTarget() {
  static const Target* chosen = []() -> const Target* {
    const char* name = std::getenv("AGENT_FUZZ_TARGET");
    if (name == nullptr || *name == 0) return nullptr;
    for (const Target& t : kTargets) {
      if (std::strcmp(t.name, name) == 0) return &t;
    }
    std::fprintf(stderr, "agent_fuzz: no target %s\n", name);
    std::abort();
  }();
  return chosen;
}

}  // namespace
}  // namespace kestra

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  if (const kestra::Target* target = kestra::ChosenTarget()) {
    target->run(input);
  } else if (!input.empty()) {
    const kestra::Target& target =
        kestra::kTargets[static_cast<unsigned char>(input[0]) % kestra::kTargetCount];
    target.run(input.substr(1));
  }
  return 0;
}
