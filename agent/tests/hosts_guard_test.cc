#include "agent/core/hosts_guard.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "agent/tests/sample_targets.h"

namespace kestra {
namespace {

const std::string kTampered = "127.0.0.1 localhost\r\n6.6.6.6 www.bank.co.kr\r\n";
const std::string kRepaired = "127.0.0.1 localhost\r\n";

// A folder in memory. `fail` makes one operation (by its name in `calls`) answer
// a status; `change_hosts_on` rewrites the hosts file when that call happens, as
// another writer would.
class FakeFolder : public HostsFileOps {
 public:
  std::map<std::string, std::string> files;
  std::vector<std::string> calls;
  std::map<std::string, FileOpStatus> fail;
  std::string change_hosts_on;

  FileOpStatus Read(const std::string& name, std::size_t limit, std::string* bytes) override {
    if (FileOpStatus s = Step("read " + name); s != FileOpStatus::kOk) return s;
    auto it = files.find(name);
    if (it == files.end()) return FileOpStatus::kMissing;
    *bytes = it->second.substr(0, limit);
    return FileOpStatus::kOk;
  }
  bool Exists(const std::string& name) override { return files.count(name) > 0; }
  FileOpStatus CopyToNew(const std::string& from, const std::string& to) override {
    if (FileOpStatus s = Step("copy " + from + " " + to); s != FileOpStatus::kOk) return s;
    if (files.count(to)) return FileOpStatus::kFailed;
    files[to] = files[from];
    return FileOpStatus::kOk;
  }
  FileOpStatus WriteNew(const std::string& name, const std::string& bytes) override {
    if (FileOpStatus s = Step("write " + name); s != FileOpStatus::kOk) return s;
    if (files.count(name)) return FileOpStatus::kFailed;
    files[name] = bytes;
    return FileOpStatus::kOk;
  }
  FileOpStatus Replace(const std::string& from, const std::string& to) override {
    if (FileOpStatus s = Step("replace " + from + " " + to); s != FileOpStatus::kOk) return s;
    files[to] = files[from];
    files.erase(from);
    return FileOpStatus::kOk;
  }
  bool Delete(const std::string& name) override {
    calls.push_back("delete " + name);
    return files.erase(name) > 0;
  }

 private:
  FileOpStatus Step(const std::string& call) {
    calls.push_back(call);
    if (call == change_hosts_on) files["hosts"] = "6.6.6.6 other.bank.co.kr\n";
    auto it = fail.find(call);
    return it == fail.end() ? FileOpStatus::kOk : it->second;
  }
};

const ProtectedHosts& Hosts() {
  static const ProtectedHosts hosts({SampleBank(), SampleCard()});
  return hosts;
}

TEST(HostsGuard, BacksUpThenWritesBesideThenReplaces) {
  FakeFolder folder;
  folder.files = {{"hosts", kTampered}, {"hosts_backup", "old"}, {"hosts_backup.1", "older"}};
  HostsRepairOutcome outcome = RepairHostsFile(folder, Hosts());
  EXPECT_EQ(outcome.result, HostsRepair::kRepaired);
  EXPECT_EQ(outcome.backup_name, "hosts_backup.2");
  EXPECT_EQ(folder.calls, (std::vector<std::string>{
                              "read hosts", "read hosts_backup.1", "copy hosts hosts_backup.2",
                              "read hosts_backup.2", "write hosts_kestra.tmp", "read hosts",
                              "replace hosts_kestra.tmp hosts"}));
  EXPECT_EQ(folder.files, (std::map<std::string, std::string>{{"hosts", kRepaired},
                                                              {"hosts_backup", "old"},
                                                              {"hosts_backup.1", "older"},
                                                              {"hosts_backup.2", kTampered}}));
  ASSERT_EQ(outcome.tampered.size(), 1u);
  EXPECT_EQ(outcome.tampered[0].name, "www.bank.co.kr");
}

TEST(HostsGuard, SavesAFileThatStaysTamperedOnlyOnce) {
  FakeFolder folder;
  folder.files = {{"hosts", kTampered}, {"hosts_backup", "old"}};
  folder.fail["replace hosts_kestra.tmp hosts"] = FileOpStatus::kLocked;  // read-only
  for (int attempt = 0; attempt < 3; ++attempt) {
    HostsRepairOutcome outcome = RepairHostsFile(folder, Hosts());
    EXPECT_EQ(outcome.result, HostsRepair::kLocked);
    EXPECT_EQ(outcome.backup_name, "hosts_backup.1");
  }
  folder.fail.clear();
  EXPECT_EQ(RepairHostsFile(folder, Hosts()).result, HostsRepair::kRepaired);
  EXPECT_EQ(folder.files,
            (std::map<std::string, std::string>{
                {"hosts", kRepaired}, {"hosts_backup", "old"}, {"hosts_backup.1", kTampered}}));
}

TEST(HostsGuard, AFailedStepLosesNothing) {
  const struct {
    const char* what;
    std::string failing_call;
    FileOpStatus status;
    std::string change_hosts_on;
    HostsRepair result;
    bool backup_made;
  } cases[] = {
      {"hosts locked for reading", "read hosts", FileOpStatus::kLocked, "", HostsRepair::kLocked,
       false},
      {"hosts unreadable", "read hosts", FileOpStatus::kFailed, "", HostsRepair::kReadFailed,
       false},
      {"backup refused", "copy hosts hosts_backup", FileOpStatus::kFailed, "",
       HostsRepair::kBackupFailed, false},
      {"changed before the copy", "", FileOpStatus::kOk, "copy hosts hosts_backup",
       HostsRepair::kChanged, true},
      {"temp not written", "write hosts_kestra.tmp", FileOpStatus::kFailed, "",
       HostsRepair::kWriteFailed, true},
      {"changed before the replace", "", FileOpStatus::kOk, "write hosts_kestra.tmp",
       HostsRepair::kChanged, true},
      {"read-only hosts", "replace hosts_kestra.tmp hosts", FileOpStatus::kLocked, "",
       HostsRepair::kLocked, true},
      {"replace fails", "replace hosts_kestra.tmp hosts", FileOpStatus::kFailed, "",
       HostsRepair::kReplaceFailed, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeFolder folder;
    folder.files = {{"hosts", kTampered}};
    if (!c.failing_call.empty()) folder.fail[c.failing_call] = c.status;
    folder.change_hosts_on = c.change_hosts_on;
    std::string hosts_before = c.change_hosts_on.empty() ? kTampered : "6.6.6.6 other.bank.co.kr\n";
    EXPECT_EQ(RepairHostsFile(folder, Hosts()).result, c.result);
    EXPECT_EQ(folder.files["hosts"], hosts_before);
    EXPECT_EQ(folder.files.count("hosts_backup"), c.backup_made ? 1u : 0u);
    EXPECT_EQ(folder.files.count("hosts_kestra.tmp"), 0u);
  }
}

TEST(HostsGuard, ChecksWithoutWritingWhenNothingIsToRepair) {
  const struct {
    std::map<std::string, std::string> files;
    HostsRepair result;
  } cases[] = {
      {{{"hosts", kRepaired}}, HostsRepair::kClean},
      {{}, HostsRepair::kMissing},
      {{{"hosts", std::string("\xFF\xFE", 2)}}, HostsRepair::kNotJudged},
      {{{"hosts", std::string(kMaxHostsFileBytes + 5, '#')}}, HostsRepair::kNotJudged},
  };
  for (const auto& c : cases) {
    FakeFolder folder;
    folder.files = c.files;
    EXPECT_EQ(RepairHostsFile(folder, Hosts()).result, c.result);
    EXPECT_EQ(folder.calls, std::vector<std::string>{"read hosts"});
  }
  FakeFolder full;
  full.files["hosts"] = kTampered;
  for (const std::string& name : BackupNameCandidates()) full.files[name] = "x";
  EXPECT_EQ(RepairHostsFile(full, Hosts()).result, HostsRepair::kTooManyBackups);
  EXPECT_EQ(full.files["hosts"], kTampered);
}

TEST(HostsGuard, RemovesWhatTakingALineOutWouldJoin) {
  // Without its middle line, "6.6.6.6 a.example\r" and "www.bank.co.kr" would read
  // as one entry once the CR is taken as a space.
  std::string file = "6.6.6.6 a.example\r7.7.7.7 card.co.kr # x\rwww.bank.co.kr\n";
  std::vector<TamperedEntry> removed;
  std::string repaired = RepairedHostsBytes(file, Hosts(), &removed);
  EXPECT_EQ(repaired, "6.6.6.6 a.example\r");
  EXPECT_TRUE(JudgeHostsFile(repaired, Hosts()).clean());
  EXPECT_EQ(removed.size(), 3u);  // card.co.kr under both readings, then www.bank.co.kr
}

TEST(HostsGuard, NamesBackupsAfterTheHighestInUse) {
  const struct {
    std::vector<std::string> existing;
    std::optional<std::string> next;
  } cases[] = {
      {{}, "hosts_backup"},
      {{"hosts", "hosts.bak", "hosts_backup.x", "hosts_backup.01"}, "hosts_backup"},
      {{"hosts_backup"}, "hosts_backup.1"},
      {{"HOSTS_BACKUP", "Hosts_Backup.1"}, "hosts_backup.2"},
      {{"hosts_backup", "hosts_backup.7"}, "hosts_backup.8"},
      {{"hosts_backup.999"}, "hosts_backup.1000"},
      {{"hosts_backup.1000"}, std::nullopt},
      {{"hosts_backup.1001"}, "hosts_backup"},
  };
  for (const auto& c : cases) EXPECT_EQ(NextBackupName(c.existing), c.next) << c.existing.size();
  EXPECT_EQ(NewestBackupName({"hosts", "hosts_backup.3", "hosts_backup"}), "hosts_backup.3");
  EXPECT_EQ(NewestBackupName({"hosts"}), std::nullopt);
  EXPECT_EQ(BackupNameCandidates().size(), 1001u);
}

TEST(HostsGuard, JudgesDataBasePath) {
  const struct {
    std::optional<std::string> value;
    bool standard;
  } cases[] = {
      {std::nullopt, true},
      {std::string("%SystemRoot%\\System32\\drivers\\etc"), true},
      {std::string("%SYSTEMROOT%\\system32\\DRIVERS\\etc\\"), true},
      {std::string("C:\\Windows\\System32\\drivers\\etc"), true},
      {std::string("c:\\windows\\system32\\drivers\\etc\\"), true},
      {std::string(""), false},
      {std::string("C:\\Users\\Public\\etc"), false},
      {std::string("%SystemRoot%\\System32\\drivers\\etc\\..\\..\\x"), false},
      {std::string("D:\\Windows\\System32\\drivers\\etc"), false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsStandardDataBasePath(c.value, "C:\\Windows"), c.standard)
        << c.value.value_or("(none)");
  EXPECT_EQ(HostsFolder(std::nullopt, "C:\\Windows\\System32"),
            "C:\\Windows\\System32\\drivers\\etc");
  EXPECT_EQ(HostsFolder(std::string(""), "C:\\Windows\\System32\\"),
            "C:\\Windows\\System32\\drivers\\etc");
  EXPECT_EQ(HostsFolder(std::string("D:\\x\\"), "C:\\Windows\\System32"), "D:\\x");
}

TEST(HostsGuard, HandlesABurstOfChangesOnce) {
  HostsGuardSchedule schedule;
  EXPECT_FALSE(schedule.TakeDueCheck(0));
  constexpr std::uint64_t kEnd = 5000 + HostsGuardSchedule::kHostsBurstMs;
  schedule.FolderChanged(5000);
  schedule.FolderChanged(5400);
  schedule.FolderChanged(kEnd - 1);
  EXPECT_EQ(schedule.CheckDueAt(), kEnd);
  EXPECT_FALSE(schedule.TakeDueCheck(kEnd - 1));
  EXPECT_TRUE(schedule.TakeDueCheck(kEnd));
  EXPECT_FALSE(schedule.TakeDueCheck(kEnd + 1));
  schedule.FolderChanged(kEnd + 500);
  EXPECT_TRUE(schedule.TakeDueCheck(kEnd + 500 + HostsGuardSchedule::kHostsBurstMs));
}

TEST(HostsGuard, ReportsAFailureOnceUntilItChangesOrARepairSucceeds) {
  HostsRepairOutcome locked;
  locked.result = HostsRepair::kLocked;
  locked.tampered = {{1, "6.6.6.6", "www.bank.co.kr", 0}};
  HostsRepairOutcome other = locked;
  other.tampered[0].address = "7.7.7.7";
  HostsRepairOutcome repaired = locked;
  repaired.result = HostsRepair::kRepaired;
  HostsRepairOutcome clean;

  HostsGuardSchedule schedule;
  std::vector<bool> reported;
  for (const HostsRepairOutcome* o :
       {&locked, &locked, &other, &other, &repaired, &locked, &clean, &locked, &repaired}) {
    reported.push_back(schedule.ShouldReport(*o));
  }
  EXPECT_EQ(reported, (std::vector<bool>{true, false, true, false, true, true, false, true, true}));

  EXPECT_TRUE(schedule.ShouldReportDataBasePath(std::string("D:\\x"), false));
  EXPECT_FALSE(schedule.ShouldReportDataBasePath(std::string("D:\\x"), false));
  EXPECT_FALSE(schedule.ShouldReportDataBasePath(std::nullopt, true));
  EXPECT_TRUE(schedule.ShouldReportDataBasePath(std::string("D:\\x"), false));
}

TEST(HostsGuard, EventTextsNameTheHostAndTheForgedAddress) {
  std::vector<ObservationTarget> targets = {SampleBank(), SampleCard()};
  HostsRepairOutcome outcome;
  outcome.result = HostsRepair::kRepaired;
  outcome.tampered = {{1, "6.6.6.6", "card.co.kr", 1},
                      {2, "6.6.6.6", "card.co.kr", 1},
                      {3, "::1", "bank.co.kr", 0}};
  std::vector<HostsEvent> events = HostsEvents(outcome, targets);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].company_id, "CARD2");
  EXPECT_EQ(events[0].text, "[card.co.kr]에 대한 [6.6.6.6]호스트파일 파밍시도");
  EXPECT_EQ(events[1].text, "[bank.co.kr]에 대한 [::1]호스트파일 파밍시도");
  EXPECT_EQ(events[1].kind, 0);
  outcome.result = HostsRepair::kLocked;
  EXPECT_EQ(HostsEvents(outcome, targets)[0].text,
            "[card.co.kr]에 대한 [6.6.6.6]호스트파일 파밍시도(자동수정 실패)");
  HostsRepairOutcome unread;
  unread.result = HostsRepair::kNotJudged;
  EXPECT_EQ(HostsEvents(unread, targets)[0].text, "호스트파일 검사불가 파밍시도");
  EXPECT_EQ(HostsEvents(unread, targets)[0].company_id, "BANK1");
  EXPECT_TRUE(HostsEvents(HostsRepairOutcome{}, targets).empty());
  EXPECT_EQ(DataBasePathEvent(targets).text, "호스트파일 경로변경 파밍시도");

  EXPECT_TRUE(ChecksHostsAfterVerdict(Verdict::kNot, kKindAddress));
  EXPECT_TRUE(ChecksHostsAfterVerdict(Verdict::kNot, kKindCertificate));
  EXPECT_FALSE(ChecksHostsAfterVerdict(Verdict::kNot, kKindDnsSettings));
  EXPECT_FALSE(ChecksHostsAfterVerdict(Verdict::kOk, kKindAddress));
}

}  // namespace
}  // namespace kestra
