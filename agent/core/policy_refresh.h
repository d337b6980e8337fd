// The policy refresh that timer 1 runs, and the timer dispatcher at the top of
// the main window's timer handler. Everything the refresh does outside itself
// goes through RefreshHost, which the Win32 side implements and tests fake.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "agent/core/policy.h"
#include "agent/core/startup_rules.h"

namespace kestra {

inline constexpr unsigned kTimerPolicy = 1;
inline constexpr unsigned kTimerInspect = 2;   // pseudo-id, never set as a timer
inline constexpr unsigned kTimerDnsAlert = 3;  // pseudo-id, never set as a timer
inline constexpr unsigned kTimerTrayIcon = 4;
inline constexpr unsigned kTimerHostsCheck = 5;  // the end of a burst of hosts-folder changes
inline constexpr unsigned kRefreshPeriodMs = 600000;
inline constexpr unsigned kRetryPeriodMs = 30000;
inline constexpr uint64_t kNightRestartAfterMs = 54000000;  // 15 hours

enum class TimerAction { kRefresh, kDnsAlert, kHideTrayIcon, kInspect, kDefault };

// Which handler a timer event (or pseudo-event) runs.
TimerAction DispatchTimer(unsigned id, bool policy_loaded, bool record_pending, Edition edition);

enum class NightRestart { kNotDue, kRestartNow, kResetClock };
// Due 15 hours after the restart clock: outside 07:00-20:59 the agent restarts,
// otherwise the clock starts again.
NightRestart CheckNightRestart(uint64_t now_ms, uint64_t restart_clock_ms, int local_hour);

// The outside communication library as the refresh sees it.
class CommLibrary {
 public:
  virtual ~CommLibrary() = default;
  // First call: length of the available reply (0: none). Second: fills buffer.
  virtual int InfoSet(char* buffer, int size) = 0;
  virtual void SetServer(const std::string& server, int port, const std::string& object) = 0;
  virtual void SetCompany(const std::string& company_id) = 0;
  virtual void Access(const std::string& company_id) = 0;
  virtual void Log(const std::string& company_id, const std::string& event, int kind) = 0;
};

enum class CommLoad { kLoaded, kMissing, kNoEntryPoint };

class RefreshHost {
 public:
  virtual ~RefreshHost() = default;
  virtual void SetTimer(unsigned id, unsigned period_ms) = 0;
  virtual void KillTimer(unsigned id) = 0;
  virtual void HideMainWindow() = 0;
  virtual uint64_t NowMs() = 0;
  virtual LocalTime Now() = 0;
  virtual void RunProtectedStart() = 0;
  // Ends the process (in tests: records that it would have).
  virtual void Shutdown() = 0;
  virtual void FatalMessage(const std::string& text) = 0;
  // Loads the library by name (R edition: with its fallback library).
  virtual CommLoad LoadComm(Edition edition, CommLibrary** comm) = 0;
  // The edition's settings file, or its program-folder fallback when that is empty.
  virtual std::optional<std::string> ReadServerSettings(Edition edition) = 0;
  virtual std::optional<std::string> ReadCompanyIdFile() = 0;
  virtual void MakeWorkFolders() = 0;
  virtual std::optional<std::string> ReadCache() = 0;
  virtual void WriteCache(const std::string& reply) = 0;
  virtual void DeleteCache() = 0;
  virtual void WriteAddressListFile(const std::string& lower_address_list) = 0;
  virtual void SetMenu(const MenuModel& menu) = 0;
  virtual void StartBrowsers() = 0;
  virtual void CloseBrowsers() = 0;
  // Checks the hosts file against the targets just built, repairing it when tampered.
  virtual void GuardHostsFile() = 0;
};

inline constexpr char kModuleInfoMessage[] =
    "모듈정보가 올바르지 않습니다\r\n관리자에게 문의 및 재설치후 사용하십시요";
inline constexpr char kCompanyInfoMessage[] =
    "사업자정보가 없습니다\r\n관리자에게 문의 및 재설치후 사용하십시요";

// State of the refresh kept between timer events.
struct PolicyState {
  Edition edition = Edition::kX;
  bool policy_loaded = false;
  bool refresh_running = false;     // the refresh flag
  bool inspection_running = false;  // the inspection flag, owned by the inspection
  bool activation = false;
  bool termination = false;
  int uninstall_option = 0;
  uint64_t restart_clock_ms = 0;
  MenuModel menu;
  TargetTable table;
};

// One run of the policy refresh (timer 1).
void RunPolicyRefresh(PolicyState& state, RefreshHost& host);

}  // namespace kestra
