#include "agent/core/hosts_guard.h"

#include <algorithm>
#include <tuple>

#include "common/core/ansi_text.h"

namespace kestra {
namespace {

// "hosts_backup" is 0, "hosts_backup.N" is N (1..1000, no leading zero); any
// other name is not a backup of ours.
std::optional<int> BackupNumber(std::string_view name) {
  constexpr std::string_view kBase = kHostsBackupName;
  if (name.size() < kBase.size() || !tessal::EqualsIgnoreCase(name.substr(0, kBase.size()), kBase))
    return std::nullopt;
  name.remove_prefix(kBase.size());
  if (name.empty()) return 0;
  if (name.size() < 2 || name.size() > 5 || name[0] != '.' || name[1] == '0') return std::nullopt;
  int number = 0;
  for (char c : name.substr(1)) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + (c - '0');
  }
  if (number > kMaxHostsBackupNumber) return std::nullopt;
  return number;
}

std::string BackupName(int number) {
  return number == 0 ? std::string(kHostsBackupName)
                     : std::string(kHostsBackupName) + "." + std::to_string(number);
}

std::string WithoutTrailingBackslash(std::string_view path) {
  if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  return std::string(path);
}

HostsRepairOutcome Outcome(HostsRepair result, std::vector<TamperedEntry> tampered = {}) {
  HostsRepairOutcome outcome;
  outcome.result = result;
  outcome.tampered = std::move(tampered);
  return outcome;
}

HostsRepair AfterFailedStep(FileOpStatus status, HostsRepair otherwise) {
  return status == FileOpStatus::kLocked ? HostsRepair::kLocked : otherwise;
}

// Fixed-width fields of the event text, as the policy's fields are.
constexpr std::size_t kEventFieldBytes = 127;

std::string TamperedEventText(const TamperedEntry& e, bool repaired) {
  std::string text = "[" + e.name.substr(0, kEventFieldBytes) + "]에 대한 [" +
                     e.address.substr(0, kEventFieldBytes) + "]호스트파일 파밍시도";
  if (!repaired) text += "(자동수정 실패)";
  return text;
}

std::string FirstCompanyId(const std::vector<ObservationTarget>& targets) {
  return targets.empty() ? std::string() : targets.front().company_id;
}

}  // namespace

std::string HostsFolder(const std::optional<std::string>& expanded_database_path,
                        std::string_view system_folder) {
  if (expanded_database_path && !expanded_database_path->empty())
    return WithoutTrailingBackslash(*expanded_database_path);
  return WithoutTrailingBackslash(system_folder) + "\\drivers\\etc";
}

bool IsStandardDataBasePath(const std::optional<std::string>& value, std::string_view system_root) {
  if (!value) return true;
  std::string given = WithoutTrailingBackslash(*value);
  constexpr std::string_view kRootVariable = "%SystemRoot%";
  std::string_view standard = kStandardDataBasePath;
  std::string expanded =
      WithoutTrailingBackslash(system_root) + std::string(standard.substr(kRootVariable.size()));
  return tessal::EqualsIgnoreCase(given, standard) ||
         (!system_root.empty() && tessal::EqualsIgnoreCase(given, expanded));
}

std::optional<std::string> NextBackupName(const std::vector<std::string>& existing) {
  std::optional<std::string> newest = NewestBackupName(existing);
  int highest = newest ? *BackupNumber(*newest) : -1;
  if (highest >= kMaxHostsBackupNumber) return std::nullopt;
  return BackupName(highest + 1);
}

std::optional<std::string> NewestBackupName(const std::vector<std::string>& existing) {
  int highest = -1;
  for (const std::string& name : existing) {
    if (std::optional<int> number = BackupNumber(name)) highest = std::max(highest, *number);
  }
  if (highest < 0) return std::nullopt;
  return BackupName(highest);
}

std::vector<std::string> BackupNameCandidates() {
  std::vector<std::string> names;
  names.reserve(kMaxHostsBackupNumber + 1);
  for (int n = 0; n <= kMaxHostsBackupNumber; ++n) names.push_back(BackupName(n));
  return names;
}

std::string RepairedHostsBytes(std::string_view bytes, const ProtectedHosts& hosts,
                               std::vector<TamperedEntry>* removed) {
  std::string current(bytes);
  // Every pass takes out at least one line, so this ends; a clean pass ends it.
  for (;;) {
    HostsJudgement judgement = JudgeHostsFile(current, hosts);
    if (judgement.tampered.empty()) return current;
    removed->insert(removed->end(), judgement.tampered.begin(), judgement.tampered.end());
    current = WithoutTamperedLines(current, judgement);
  }
}

namespace {

// The backup that holds `bytes`: the newest one when it already does (a file
// that stays tampered, read-only say, is saved once, not at every try), else a
// new one, read back to be sure it holds what was judged.
HostsRepair BackUp(HostsFileOps& ops, const std::string& bytes, std::string* name) {
  std::vector<std::string> existing;
  for (const std::string& candidate : BackupNameCandidates()) {
    if (ops.Exists(candidate)) existing.push_back(candidate);
  }
  std::string copy;
  if (std::optional<std::string> newest = NewestBackupName(existing);
      newest && ops.Read(*newest, kMaxHostsFileBytes + 1, &copy) == FileOpStatus::kOk &&
      copy == bytes) {
    *name = *newest;
    return HostsRepair::kRepaired;
  }
  std::optional<std::string> next = NextBackupName(existing);
  if (!next) return HostsRepair::kTooManyBackups;
  FileOpStatus copied = ops.CopyToNew(kHostsFileName, *next);
  if (copied != FileOpStatus::kOk) return AfterFailedStep(copied, HostsRepair::kBackupFailed);
  *name = *next;
  // A file changed since it was judged is judged anew at the next trigger.
  if (ops.Read(*next, kMaxHostsFileBytes + 1, &copy) != FileOpStatus::kOk || copy != bytes)
    return HostsRepair::kChanged;
  return HostsRepair::kRepaired;
}

// Writes the repaired bytes beside the hosts file and puts them in its place,
// unless the hosts file no longer holds `original`.
HostsRepair WriteBesideAndReplace(HostsFileOps& ops, const std::string& original,
                                  const std::string& repaired) {
  if (ops.Exists(kHostsTempName)) ops.Delete(kHostsTempName);  // left by an interrupted repair
  FileOpStatus written = ops.WriteNew(kHostsTempName, repaired);
  if (written != FileOpStatus::kOk) {
    ops.Delete(kHostsTempName);
    return AfterFailedStep(written, HostsRepair::kWriteFailed);
  }
  std::string again;
  if (ops.Read(kHostsFileName, kMaxHostsFileBytes + 1, &again) != FileOpStatus::kOk ||
      again != original) {
    ops.Delete(kHostsTempName);
    return HostsRepair::kChanged;
  }
  FileOpStatus replaced = ops.Replace(kHostsTempName, kHostsFileName);
  if (replaced != FileOpStatus::kOk) {
    ops.Delete(kHostsTempName);
    return AfterFailedStep(replaced, HostsRepair::kReplaceFailed);
  }
  return HostsRepair::kRepaired;
}

}  // namespace

HostsRepairOutcome RepairHostsFile(HostsFileOps& ops, const ProtectedHosts& hosts) {
  std::string bytes;
  FileOpStatus read = ops.Read(kHostsFileName, kMaxHostsFileBytes + 1, &bytes);
  if (read == FileOpStatus::kMissing) return Outcome(HostsRepair::kMissing);
  if (read != FileOpStatus::kOk) return Outcome(AfterFailedStep(read, HostsRepair::kReadFailed));

  HostsJudgement judgement = JudgeHostsFile(bytes, hosts);
  if (judgement.issue != HostsReadIssue::kNone) {
    HostsRepairOutcome outcome = Outcome(HostsRepair::kNotJudged);
    outcome.issue = judgement.issue;
    return outcome;
  }
  if (judgement.clean()) return Outcome(HostsRepair::kClean);
  std::vector<TamperedEntry> removed;
  std::string repaired = RepairedHostsBytes(bytes, hosts, &removed);
  HostsRepairOutcome outcome = Outcome(HostsRepair::kRepaired, std::move(removed));
  outcome.result = BackUp(ops, bytes, &outcome.backup_name);
  if (outcome.result == HostsRepair::kRepaired)
    outcome.result = WriteBesideAndReplace(ops, bytes, repaired);
  return outcome;
}

bool ChecksHostsAfterVerdict(Verdict verdict, int verdict_kind) {
  return verdict == Verdict::kNot &&
         (verdict_kind == kKindAddress || verdict_kind == kKindCertificate);
}

void HostsGuardSchedule::FolderChanged(std::uint64_t now_ms) {
  if (!due_ms_) due_ms_ = now_ms + kHostsBurstMs;
}

bool HostsGuardSchedule::TakeDueCheck(std::uint64_t now_ms) {
  if (!due_ms_ || now_ms < *due_ms_) return false;
  due_ms_.reset();
  return true;
}

bool HostsGuardSchedule::ShouldReport(const HostsRepairOutcome& outcome) {
  switch (outcome.result) {
    case HostsRepair::kRepaired:
    case HostsRepair::kClean:
    case HostsRepair::kMissing:
      reported_failure_.reset();
      return outcome.result == HostsRepair::kRepaired;
    default: break;
  }
  // A failure is the same one while its result, reason and entries stay.
  std::string key = std::to_string(static_cast<int>(outcome.result)) + "/" +
                    std::to_string(static_cast<int>(outcome.issue));
  for (const TamperedEntry& e : outcome.tampered) key += "/" + e.name + " " + e.address;
  if (reported_failure_ == key) return false;
  reported_failure_ = std::move(key);
  return true;
}

bool HostsGuardSchedule::ShouldReportDataBasePath(const std::optional<std::string>& value,
                                                  bool standard) {
  if (standard) {
    reported_database_path_.reset();
    return false;
  }
  std::string key = value.value_or("");
  if (reported_database_path_ == key) return false;
  reported_database_path_ = std::move(key);
  return true;
}

std::vector<HostsEvent> HostsEvents(const HostsRepairOutcome& outcome,
                                    const std::vector<ObservationTarget>& targets) {
  std::vector<HostsEvent> events;
  bool repaired = outcome.result == HostsRepair::kRepaired;
  if (outcome.tampered.empty()) {
    if (!repaired && outcome.result != HostsRepair::kClean &&
        outcome.result != HostsRepair::kMissing) {
      events.push_back({FirstCompanyId(targets), "호스트파일 검사불가 파밍시도", kKindAddress});
    }
    return events;
  }
  // One event per site, name and address, however many lines or passes held it.
  std::vector<std::tuple<int, std::string, std::string>> seen;
  for (const TamperedEntry& e : outcome.tampered) {
    auto key = std::make_tuple(e.target, e.name, e.address);
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
    seen.push_back(key);
    bool known = e.target >= 0 && static_cast<std::size_t>(e.target) < targets.size();
    std::string company =
        known ? targets[static_cast<std::size_t>(e.target)].company_id : FirstCompanyId(targets);
    // Kind 0: to the server a forged hosts entry is an address pharming attempt.
    events.push_back({company, TamperedEventText(e, repaired), kKindAddress});
    if (events.size() == kMaxHostsEvents) break;
  }
  return events;
}

HostsEvent DataBasePathEvent(const std::vector<ObservationTarget>& targets) {
  return {FirstCompanyId(targets), "호스트파일 경로변경 파밍시도", kKindAddress};
}

}  // namespace kestra
