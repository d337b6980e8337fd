#include "agent/win/hosts_guard_win.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "agent/core/hosts_folder_ops.h"
#include "agent/core/hosts_guard.h"
#include "agent/win/agent_state.h"
#include "agent/win/refresh_host.h"
#include "common/win/dll_search.h"
#include "common/win/scoped_handle.h"
#include "common/win/wide_text.h"

namespace kestra {
namespace {

constexpr UINT kRefreshRetryMs = 300;
constexpr DWORD kMaxValueBytes = 2048;
constexpr DWORD kFolderChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE |
                                 FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_ATTRIBUTES;

// Main thread only.
HostsGuardSchedule g_schedule;
// One change message waits in the queue at a time, however many changes come.
std::atomic<bool> g_change_posted{false};

using FolderCall = UINT(WINAPI*)(LPWSTR, UINT);

std::string Folder(FolderCall call) {
  wchar_t buffer[MAX_PATH];
  UINT n = call(buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? tessal::Narrow(std::wstring_view(buffer, n)) : std::string();
}

// The agent is a 32-bit program, and on 64-bit Windows its file calls to the
// system folder are sent to SysWOW64, except for a few subfolders that both
// kinds of programs share: "drivers\etc" is one, so the path the resolver uses is
// the path the agent reaches. HKLM\SYSTEM is shared in the same way; the 64-bit
// view is asked for all the same.
std::string SystemFolder() { return Folder(GetSystemDirectoryW); }
std::string WindowsFolder() { return Folder(GetSystemWindowsDirectoryW); }

tessal::ScopedRegKey OpenResolverKey(REGSAM access) {
  tessal::ScopedRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, tessal::Widen(kTcpipParametersKey).c_str(), 0,
                    access | KEY_WOW64_64KEY, key.receive()) != ERROR_SUCCESS) {
    return tessal::ScopedRegKey();
  }
  return key;
}

struct ResolverSettings {
  std::optional<std::string> database_path;  // as stored
  std::optional<std::string> expanded;
};

// A value too long to be a folder, or not a text at all, is no standard value:
// it reads as an empty text and the resolver is then sent to the standard folder.
ResolverSettings ReadResolverSettings() {
  ResolverSettings settings;
  tessal::ScopedRegKey key = OpenResolverKey(KEY_QUERY_VALUE);
  if (!key.valid()) return settings;
  std::wstring name = tessal::Widen(kDataBasePathValue);
  wchar_t value[kMaxValueBytes / sizeof(wchar_t) + 1] = {};
  DWORD type = 0;
  DWORD bytes = kMaxValueBytes;
  LONG read = RegQueryValueExW(key.get(), name.c_str(), nullptr, &type,
                               reinterpret_cast<BYTE*>(value), &bytes);
  if (read == ERROR_FILE_NOT_FOUND) return settings;
  settings.database_path.emplace();
  if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return settings;
  std::wstring stored(value, wcsnlen(value, bytes / sizeof(wchar_t)));
  settings.database_path = tessal::Narrow(stored);
  wchar_t expanded[MAX_PATH];
  DWORD n = ExpandEnvironmentStringsW(stored.c_str(), expanded, MAX_PATH);
  settings.expanded = tessal::Narrow(n > 0 && n <= MAX_PATH ? std::wstring(expanded) : stored);
  return settings;
}

bool PutBackDataBasePath() {
  tessal::ScopedRegKey key = OpenResolverKey(KEY_SET_VALUE);
  if (!key.valid()) return false;
  std::wstring name = tessal::Widen(kDataBasePathValue);
  std::wstring standard = tessal::Widen(kStandardDataBasePath);
  return RegSetValueExW(key.get(), name.c_str(), 0, REG_EXPAND_SZ,
                        reinterpret_cast<const BYTE*>(standard.c_str()),
                        static_cast<DWORD>((standard.size() + 1) * sizeof(wchar_t))) ==
         ERROR_SUCCESS;
}

std::string CurrentHostsFolder() {
  return HostsFolder(ReadResolverSettings().expanded, SystemFolder());
}

// The resolver keeps answers from the tampered file until its cache is flushed.
void FlushResolverCache() {
  tessal::ScopedModule dnsapi(tessal::LoadSystemLibrary("dnsapi.dll"));
  if (!dnsapi.valid()) return;
  using FlushFn = BOOL(WINAPI*)();
  if (auto flush = reinterpret_cast<FlushFn>(GetProcAddress(dnsapi.get(), "DnsFlushResolverCache")))
    flush();
}

void Report(const HostsEvent& event) {
  CurrentComm().Log(event.company_id, event.text, event.kind);
}

// The folder the resolver reads once its settings are sound: a moved folder is
// reported and put back.
std::string CheckResolverSettings(const std::vector<ObservationTarget>& targets) {
  ResolverSettings settings = ReadResolverSettings();
  bool standard = IsStandardDataBasePath(settings.database_path, WindowsFolder());
  if (g_schedule.ShouldReportDataBasePath(settings.database_path, standard))
    Report(DataBasePathEvent(targets));
  if (!standard && PutBackDataBasePath()) return HostsFolder(std::nullopt, SystemFolder());
  return HostsFolder(settings.expanded, SystemFolder());
}

HostsRepairOutcome CheckHostsFolder(const std::string& folder, const ProtectedHosts& hosts) {
  HostsRepairOutcome outcome;
  tessal::SafeFolder held = tessal::SafeFolder::Hold(folder);
  if (!held.valid()) {
    // No folder, no file to mislead the resolver; a folder that cannot be held
    // (a link, say) is not trusted.
    outcome.result =
        tessal::FolderExists(folder) ? HostsRepair::kReadFailed : HostsRepair::kMissing;
    return outcome;
  }
  HeldFolderHostsOps ops(held);
  return RepairHostsFile(ops, hosts);
}

// Watches the hosts folder the settings name and the settings themselves; a
// settings change may move the folder, so the folder watch is made anew.
DWORD WINAPI WatchMain(void* param) {
  HWND window = static_cast<HWND>(param);
  auto changed = [window] {
    if (!g_change_posted.exchange(true) && !PostMessageA(window, kUmHostsChanged, 0, 0))
      g_change_posted = false;
  };
  tessal::ScopedRegKey key = OpenResolverKey(KEY_NOTIFY);
  tessal::ScopedKernelHandle key_changed(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!key_changed.valid()) return 1;
  for (;;) {
    bool key_armed =
        key.valid() && RegNotifyChangeKeyValue(key.get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET,
                                               key_changed.get(), TRUE) == ERROR_SUCCESS;
    tessal::ScopedFileHandle folder(FindFirstChangeNotificationW(
        tessal::Widen(CurrentHostsFolder()).c_str(), FALSE, kFolderChanges));
    if (!key_armed && !folder.valid()) return 1;
    HANDLE waits[2] = {key_changed.get(), folder.get()};
    DWORD count = folder.valid() ? 2 : 1;
    if (!key_armed) waits[0] = waits[--count];
    for (;;) {
      DWORD which = WaitForMultipleObjects(count, waits, FALSE, INFINITE);
      if (which >= WAIT_OBJECT_0 + count) return 1;
      changed();
      if (waits[which - WAIT_OBJECT_0] == key_changed.get()) break;
      if (!FindNextChangeNotification(folder.get())) break;
    }
    // FindCloseChangeNotification is CloseHandle's twin: the scoped handle ends it.
  }
}

}  // namespace

void StartHostsWatch(HWND window) {
  // The watch runs for the process's life: its handle is closed at once.
  tessal::ScopedKernelHandle thread(CreateThread(nullptr, 0, WatchMain, window, 0, nullptr));
}

namespace {

void ArmCheckTimer(HWND window, std::uint64_t now) {
  if (std::optional<std::uint64_t> due = g_schedule.CheckDueAt()) {
    SetTimer(window, kTimerHostsCheck, static_cast<UINT>(*due > now ? *due - now : 0), nullptr);
  }
}

}  // namespace

void OnHostsChanged(HWND window) {
  g_change_posted = false;
  std::uint64_t now = GetTickCount64();
  g_schedule.FolderChanged(now);
  ArmCheckTimer(window, now);
}

void OnHostsTimer(HWND window) {
  KillTimer(window, kTimerHostsCheck);
  // A refresh waiting further down this thread is left to finish with its library.
  if (Agent().policy.refresh_running) {
    SetTimer(window, kTimerHostsCheck, kRefreshRetryMs, nullptr);
    return;
  }
  std::uint64_t now = GetTickCount64();
  if (g_schedule.TakeDueCheck(now)) {
    CheckAndRepairHostsFile();
  } else {
    ArmCheckTimer(window, now);  // the timer came a tick early
  }
}

void CheckAndRepairHostsFile() {
  AgentState& a = Agent();
  std::vector<ObservationTarget> targets = a.policy.table.Copy().targets;
  if (a.edition != Edition::kX || targets.empty()) return;
  std::string folder = CheckResolverSettings(targets);
  HostsRepairOutcome outcome = CheckHostsFolder(folder, ProtectedHosts(targets));
  if (outcome.result == HostsRepair::kRepaired) FlushResolverCache();
  if (g_schedule.ShouldReport(outcome)) {
    for (const HostsEvent& event : HostsEvents(outcome, targets)) Report(event);
  }
}

}  // namespace kestra
