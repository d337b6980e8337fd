// Judging a requester's site against the policy: the record inspection, the
// DNS-settings alert and the verdict handling. What the inspection needs from the
// platform (files, waits, the clock, windows, the communication library) comes
// through InspectionHost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "agent/core/policy.h"
#include "agent/core/policy_refresh.h"

namespace kestra {

enum VerdictKind : int {
  kKindAddress = 0,
  kKindDnsSettings = 1,
  kKindCertificate = 2,
  kKindContent = 3
};

// What an inspection answers; kNone when it answers nothing.
enum class Verdict { kNone, kOk, kNot, kUnknown };
// As written into the requester's record file: "OK", "NOT", "UNKNOWN", or "".
const char* VerdictText(Verdict verdict);

// Host name and address of a record file; a field counts only when "|" ends it.
struct RecordRequest {
  std::string host;  // lower-cased
  std::string address;
};
RecordRequest ParseRecordText(std::string_view text);

// The domain part used for repeat suppression: the host after its first ".".
std::string DomainOf(std::string_view host);

struct TargetMatch {
  std::size_t index = 0;
  bool use_url_match = false;
};
// The first target that claims the host; nothing when none does.
std::optional<TargetMatch> FindTarget(const std::vector<ObservationTarget>& targets,
                                      std::string_view host);
bool IsGenuineAddress(const ObservationTarget& t, bool use_url_match, std::string_view address);
// The CN domain of the target's certificate description, after its first ".";
// nothing when the target has no "[SUBJECT]CN=".
std::optional<std::string> ExpectedCertificateDomain(const ObservationTarget& t);

struct AlertLines {
  std::string line1, line2;
};
AlertLines ChooseAlertLines(const std::string& host, bool certificate_failed, bool content_failed);
std::string EventText(int kind, const std::string& host, const std::string& address);

class InspectionHost {
 public:
  virtual ~InspectionHost() = default;
  virtual uint64_t NowMs() = 0;
  virtual void Wait(unsigned ms) = 0;
  virtual std::optional<std::string> ReadExclusionFile() = 0;
  virtual std::string MacText() = 0;
  // At most 512 bytes of the record file (created when missing); nothing when
  // it cannot be opened.
  virtual std::optional<std::string> ReadRecord(int32_t number) = 0;
  virtual void WriteRecord(int32_t number, const std::string& text) = 0;
  virtual std::string ReadEvidence(const std::string& host, int32_t number) = 0;
  virtual bool DeleteEvidence(const std::string& host, int32_t number) = 0;
  virtual void ShowTrayIconForAWhile() = 0;
  virtual void SendBrowserAlert() = 0;
  virtual void CommAccess(const std::string& company_id) = 0;
  virtual void CommSetCompany(const std::string& company_id) = 0;
  virtual void CommLog(const std::string& company_id, const std::string& event, int kind) = 0;
  // The toast: false when it cannot be created.
  virtual bool NotifierReady() = 0;
  virtual bool NotifierShowing() = 0;
  virtual void ShowNotice(const std::string& line1, const std::string& line2,
                          const std::string& host, int kind) = 0;
  // Checks the hosts file now, repairing it when tampered (a refusal of the
  // site's address or connection may come from it).
  virtual void GuardHostsFile() = 0;
};

struct InspectionState {
  int32_t current_record = 0;
  std::string last_domain;
  uint64_t last_domain_ms = 0;
  std::string last_company_id;
};

inline constexpr unsigned kRepeatWindowMs = 60000;
inline constexpr unsigned kCheckWaitMs = 1000;

// Record inspection (pseudo-timer 2). Returns the verdict written or handled
// ("OK", "NOT", "UNKNOWN", or "" when none).
std::string InspectRecord(InspectionState& inspection, PolicyState& policy, InspectionHost& host);
// DNS-settings alert (pseudo-timer 3).
void RaiseDnsAlert(InspectionState& inspection, PolicyState& policy, InspectionHost& host);

}  // namespace kestra
