// The hosts-file guard: where the resolver's hosts file is, when it is checked,
// and the repair of a tampered one (a numbered backup first, then the file less
// the tampered lines written beside and put in its place in one step). The files
// are reached through HostsFileOps, which the platform implements over its safe
// file layer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "agent/core/hosts_file.h"
#include "agent/core/policy.h"
#include "agent/core/verdict.h"

namespace kestra {

inline constexpr char kHostsFileName[] = "hosts";
inline constexpr char kHostsBackupName[] = "hosts_backup";
// Written beside the hosts file, then put in its place.
inline constexpr char kHostsTempName[] = "hosts_kestra.tmp";
// "hosts_backup", then "hosts_backup.1" up to this; beyond it nothing is repaired.
inline constexpr int kMaxHostsBackupNumber = 1000;

// Where the resolver reads it: the registry's Tcpip DataBasePath value, and the
// value it must hold.
inline constexpr char kTcpipParametersKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";
inline constexpr char kDataBasePathValue[] = "DataBasePath";
inline constexpr char kStandardDataBasePath[] = "%SystemRoot%\\System32\\drivers\\etc";

// The folder of the hosts file: the expanded DataBasePath when it is set and not
// empty, else the system folder's "drivers\etc".
std::string HostsFolder(const std::optional<std::string>& expanded_database_path,
                        std::string_view system_folder);

// Whether DataBasePath names the standard folder: the standard text, or the same
// with %SystemRoot% expanded, in any case, with or without one trailing
// backslash. A missing value is standard (the resolver then uses the standard
// folder); any other text, an empty one too, is a finding.
bool IsStandardDataBasePath(const std::optional<std::string>& value, std::string_view system_root);

// The backup name to use, given the names that exist in the folder (any case):
// "hosts_backup" when there is no backup yet, else the number after the highest
// one in use; nothing when that would pass kMaxHostsBackupNumber.
std::optional<std::string> NextBackupName(const std::vector<std::string>& existing);
// The backup with the highest number among them; nothing when there is none.
std::optional<std::string> NewestBackupName(const std::vector<std::string>& existing);
// Every name NextBackupName may look at, for a caller that can only ask whether a
// name exists.
std::vector<std::string> BackupNameCandidates();

enum class FileOpStatus {
  kOk,
  kMissing,
  kLocked,  // read-only, or held by another process: worth another try later
  kFailed,
};

// The file operations of a repair, all on names inside the hosts file's folder.
class HostsFileOps {
 public:
  virtual ~HostsFileOps() = default;
  // At most `limit` bytes of the file (the whole file when it is not longer).
  virtual FileOpStatus Read(const std::string& name, std::size_t limit, std::string* bytes) = 0;
  virtual bool Exists(const std::string& name) = 0;
  // Copies `from` to the new file `to`; fails when `to` exists.
  virtual FileOpStatus CopyToNew(const std::string& from, const std::string& to) = 0;
  // Creates the new file `name` with the bytes; fails when it exists.
  virtual FileOpStatus WriteNew(const std::string& name, const std::string& bytes) = 0;
  // Puts `from` in the place of `to` in one step, `to` keeping its security
  // descriptor and attributes; `from` is gone afterwards.
  virtual FileOpStatus Replace(const std::string& from, const std::string& to) = 0;
  virtual bool Delete(const std::string& name) = 0;
};

enum class HostsRepair {
  kClean,    // nothing tampered; nothing written
  kMissing,  // no hosts file: the resolver has nothing to mislead it
  kRepaired,
  kNotJudged,  // the file is not read with confidence (see `issue`)
  kLocked,     // read-only or in use; nothing changed, try again later
  kReadFailed,
  kTooManyBackups,  // every backup name is taken: nothing changed
  kBackupFailed,
  kChanged,  // the file changed during the repair; the next trigger sees it
  kWriteFailed,
  kReplaceFailed,
};

struct HostsRepairOutcome {
  HostsRepair result = HostsRepair::kClean;
  HostsReadIssue issue = HostsReadIssue::kNone;
  std::vector<TamperedEntry> tampered;  // everything removed, or to be removed
  std::string backup_name;              // set once a backup was made
};

// The file's bytes with every tampered line taken out, checked again until no
// reading of the result shows a tampered entry (taking a line out can join its
// neighbours); every entry removed is added to `removed`.
std::string RepairedHostsBytes(std::string_view bytes, const ProtectedHosts& hosts,
                               std::vector<TamperedEntry>* removed);

// Checks the hosts file and repairs it when tampered. Nothing is lost on any
// failure: the hosts file is changed only by the final replace, and only after
// its backup is in place and found equal to what was judged. A newest backup
// that already holds the file's bytes is not made again.
HostsRepairOutcome RepairHostsFile(HostsFileOps& ops, const ProtectedHosts& hosts);

// Whether a verdict calls for a hosts check before its alert: a refusal of the
// site's address or of its connection.
bool ChecksHostsAfterVerdict(Verdict verdict, int verdict_kind);

// When the guard runs and what it reports. A folder change starts a window of
// kHostsBurstMs; the check runs once at its end, whatever else changed
// meanwhile. A failure is reported once, until a repair succeeds or the failure
// is a different one.
class HostsGuardSchedule {
 public:
  // A writer's burst (cut, write, close, attributes) takes milliseconds; the
  // check after it still lands within a second of the first change.
  static constexpr std::uint64_t kHostsBurstMs = 800;

  void FolderChanged(std::uint64_t now_ms);
  // When the pending check is due; nothing when none is pending.
  std::optional<std::uint64_t> CheckDueAt() const { return due_ms_; }
  // True once when the pending check is due (and no longer pending).
  bool TakeDueCheck(std::uint64_t now_ms);

  // Whether the outcome is to be reported now: every repair, and each failure
  // once.
  bool ShouldReport(const HostsRepairOutcome& outcome);
  // The same for a DataBasePath finding: each value once until it is standard again.
  bool ShouldReportDataBasePath(const std::optional<std::string>& value, bool standard);

 private:
  std::optional<std::uint64_t> due_ms_;
  std::optional<std::string> reported_failure_;
  std::optional<std::string> reported_database_path_;
};

// One event for the management server's log.
struct HostsEvent {
  std::string company_id;
  std::string text;
  int kind = 0;
};

// The events of an outcome: one per tampered name and address (its site's
// company id; at most kMaxHostsEvents), or one for a file not judged. A repaired
// entry reads "[host]에 대한 [address]호스트파일 파밍시도"; one left in place
// because the repair failed adds "(자동수정 실패)".
inline constexpr std::size_t kMaxHostsEvents = 16;
std::vector<HostsEvent> HostsEvents(const HostsRepairOutcome& outcome,
                                    const std::vector<ObservationTarget>& targets);
// The event of a DataBasePath finding.
HostsEvent DataBasePathEvent(const std::vector<ObservationTarget>& targets);

}  // namespace kestra
