#include "agent/core/policy_refresh.h"

#include <vector>

#include "agent/core/tagged_text.h"
#include "common/core/ansi_text.h"

namespace kestra {

TimerAction DispatchTimer(unsigned id, bool policy_loaded, bool record_pending, Edition edition) {
  if (!policy_loaded || id == kTimerPolicy) return TimerAction::kRefresh;
  if (id == kTimerDnsAlert)
    return edition == Edition::kX ? TimerAction::kDnsAlert : TimerAction::kDefault;
  if (id == kTimerTrayIcon) return TimerAction::kHideTrayIcon;
  if (id == kTimerInspect && record_pending) return TimerAction::kInspect;
  return TimerAction::kDefault;
}

NightRestart CheckNightRestart(uint64_t now_ms, uint64_t restart_clock_ms, int local_hour) {
  if (now_ms - restart_clock_ms <= kNightRestartAfterMs) return NightRestart::kNotDue;
  return local_hour < 7 || local_hour > 20 ? NightRestart::kRestartNow : NightRestart::kResetClock;
}

namespace {

// Ends a refresh that found nothing to build: keeps a loaded policy, otherwise
// shows the retry menu and tries again in 30 s.
void RetryMenu(PolicyState& state, RefreshHost& host, int which) {
  state.refresh_running = false;
  if (state.policy_loaded) {
    host.SetTimer(kTimerPolicy, kRefreshPeriodMs);
    return;
  }
  state.menu = BuildRetryMenu(which);
  host.SetMenu(state.menu);
  host.SetTimer(kTimerPolicy, kRetryPeriodMs);
}

void EndRefresh(PolicyState& state, RefreshHost& host) {
  state.refresh_running = false;
  host.SetTimer(kTimerPolicy, kRefreshPeriodMs);
}

}  // namespace

namespace {

// Each step below returns false when the refresh ends there (it has then set the
// next timer, shown the retry menu or ended the program itself).

// The night restart: due after a day, and only at night.
bool PassesNightRestart(PolicyState& state, RefreshHost& host) {
  uint64_t now = host.NowMs();
  switch (CheckNightRestart(now, state.restart_clock_ms, host.Now().hour)) {
    case NightRestart::kRestartNow:
      host.RunProtectedStart();
      host.Shutdown();
      return false;
    case NightRestart::kResetClock: state.restart_clock_ms = now; break;
    case NightRestart::kNotDue: break;
  }
  return true;
}

// The communication library, bound and pointed at the server of the settings.
CommLibrary* PrepareComm(PolicyState& state, RefreshHost& host) {
  CommLibrary* comm = nullptr;
  switch (host.LoadComm(state.edition, &comm)) {
    case CommLoad::kMissing: EndRefresh(state, host); return nullptr;
    case CommLoad::kNoEntryPoint:
      host.FatalMessage(kModuleInfoMessage);
      host.Shutdown();
      return nullptr;
    case CommLoad::kLoaded: break;
  }
  std::optional<std::string> settings_text = host.ReadServerSettings(state.edition);
  if (!settings_text) {
    EndRefresh(state, host);
    return nullptr;
  }
  ServerSettings settings = ParseServerSettings(*settings_text);
  host.MakeWorkFolders();
  if (state.edition == Edition::kR) {
    std::optional<std::string> company_file = host.ReadCompanyIdFile();
    std::string company;
    if (!company_file || !FindTag(*company_file, "COMPANYID", &company)) {
      host.FatalMessage(kCompanyInfoMessage);
      host.Shutdown();
      return nullptr;
    }
    comm->SetCompany(tessal::CutAnsi(company, 63));
  }
  comm->SetServer(settings.server, settings.port, settings.object);
  return comm;
}

struct Reply {
  std::string text;
  bool from_cache = false;
};

// The server's reply, or the cached one when the server has none.
std::optional<Reply> FetchReply(PolicyState& state, RefreshHost& host, CommLibrary& comm) {
  int length = comm.InfoSet(nullptr, 0);
  if (length < 0 || static_cast<std::size_t>(length) > kMaxReplyBytes) length = 0;  // not trusted
  if (length != 0) {
    std::vector<char> buffer(static_cast<std::size_t>(length) + 32, '\0');
    if (comm.InfoSet(buffer.data(), static_cast<int>(buffer.size())) == 0) {
      EndRefresh(state, host);
      return std::nullopt;
    }
    buffer.back() = '\0';
    return Reply{buffer.data(), false};
  }
  std::optional<std::string> cache = host.ReadCache();
  if (!cache) {
    RetryMenu(state, host, 1);
    return std::nullopt;
  }
  return Reply{cache->c_str(), true};  // the text up to its first NUL, as the buffer holds it
}

// The R edition's options from the reply.
void TakeREditionReply(PolicyState& state, RefreshHost& host, const std::string& reply) {
  host.WriteCache(reply);
  state.activation = TagNumber(reply, "agentactivationoption", 1) != 0;
  state.termination = TagNumber(reply, "agentterminationoption", 0) != 0;
  state.uninstall_option = TagNumber(reply, "agentuninstallationoption", 0);
}

// The X edition's target table from the reply; the display ids for the menu.
bool TakeTargets(PolicyState& state, RefreshHost& host, const std::string& reply,
                 std::vector<std::string>* display_ids) {
  if (reply.find(kTargetOpenTag) == std::string::npos) {
    host.DeleteCache();
    RetryMenu(state, host, 2);
    return false;
  }
  std::vector<ObservationTarget> targets;
  std::string address_list;
  ParseTargets(reply, &targets, &address_list);
  bool built = !targets.empty();
  address_list = tessal::LowerAnsi(address_list);
  for (const ObservationTarget& t : targets) {
    display_ids->push_back(t.display_id);
    state.activation = t.activation_option != 0;  // the last target decides
    state.termination = t.termination_option != 0;
  }
  {
    // The address list is replaced together with the targets, so a failed
    // refresh never leaves the watcher without one.
    state.table.Replace({std::move(targets), address_list});
  }
  if (!address_list.empty()) host.WriteAddressListFile(address_list);
  host.WriteCache(reply);
  if (built) host.GuardHostsFile();
  return true;
}

// The menu of the loaded policy, and the browsers started or closed as it says.
void ShowPolicy(PolicyState& state, RefreshHost& host, const std::vector<std::string>& display_ids,
                bool from_cache) {
  state.menu = BuildPolicyMenu(state.edition, display_ids, state.termination,
                               PolicyTimeLabel(host.Now(), from_cache));
  host.SetMenu(state.menu);
  state.policy_loaded = true;
  if (state.activation) {
    host.StartBrowsers();
  } else {
    host.CloseBrowsers();
  }
  EndRefresh(state, host);
}

}  // namespace

void RunPolicyRefresh(PolicyState& state, RefreshHost& host) {
  host.KillTimer(kTimerPolicy);
  if (state.inspection_running) {
    EndRefresh(state, host);
    return;
  }
  state.refresh_running = true;
  if (!state.policy_loaded) host.HideMainWindow();
  if (!PassesNightRestart(state, host)) return;
  CommLibrary* comm = PrepareComm(state, host);
  if (comm == nullptr) return;
  std::optional<Reply> reply = FetchReply(state, host, *comm);
  if (!reply) return;

  state.activation = false;
  state.termination = false;
  std::vector<std::string> display_ids;
  if (state.edition == Edition::kR) {
    TakeREditionReply(state, host, reply->text);
  } else if (!TakeTargets(state, host, reply->text, &display_ids)) {
    return;
  }
  ShowPolicy(state, host, display_ids, reply->from_cache);
}

}  // namespace kestra
