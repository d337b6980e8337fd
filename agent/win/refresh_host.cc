#include "agent/win/refresh_host.h"

#include "common/win/platform.h"
#include <shlobj.h>

#include "agent/core/scrambled_file.h"
#include "agent/win/agent_state.h"
#include "agent/win/browsers.h"
#include "agent/win/hosts_guard_win.h"
#include "agent/win/shutdown.h"
#include "agent/win/startup.h"
#include "agent/win/text.h"
#include "common/core/file_io.h"

namespace kestra {

namespace {

constexpr std::size_t kMaxSettingsFile = 64 * 1024;

constexpr char kCacheName[] = "Kestra.ini";

// The scrambled file's text; nothing when it is missing or empty, and an error
// (also nothing) when it cannot be read after all.
std::optional<std::string> ReadSettingsFile(const std::string& path) {
  std::string text;
  if (tessal::FileLength(path).value_or(0) == 0 ||
      !ReadScrambledText(path, &text, kMaxSettingsFile))
    return std::nullopt;
  return text;
}

}  // namespace

Win32CommLibrary& CurrentComm() {
  static Win32CommLibrary comm;
  return comm;
}

void Win32RefreshHost::SetTimer(unsigned id, unsigned period_ms) {
  ::SetTimer(window_, id, period_ms, nullptr);
}
void Win32RefreshHost::KillTimer(unsigned id) { ::KillTimer(window_, id); }
void Win32RefreshHost::HideMainWindow() { ShowWindow(window_, SW_HIDE); }
uint64_t Win32RefreshHost::NowMs() { return GetTickCount64(); }

LocalTime Win32RefreshHost::Now() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

void Win32RefreshHost::RunProtectedStart() { kestra::RunProtectedStart(Agent().program_folder); }
void Win32RefreshHost::Shutdown() { RunShutdownRoutine(); }

void Win32RefreshHost::FatalMessage(const std::string& text) {
  MessageBoxW(window_, Widen(text).c_str(), Widen(kAlertTitle).c_str(), MB_OK);
}

CommLoad Win32RefreshHost::LoadComm(Edition edition, CommLibrary** comm) {
  Win32CommLibrary& lib = CurrentComm();
  *comm = &lib;
  return lib.Load(edition, Agent().program_folder);
}

std::optional<std::string> Win32RefreshHost::ReadServerSettings(Edition edition) {
  char system[MAX_PATH] = "";
  SHGetFolderPathA(nullptr, CSIDL_SYSTEMX86, nullptr, SHGFP_TYPE_CURRENT, system);
  bool r = edition == Edition::kR;
  std::string primary = std::string(system) + (r ? "\\BrelmapR.dll" : "\\Brelmap.dll");
  if (tessal::FileLength(primary).value_or(0) > 0) return ReadSettingsFile(primary);
  return ReadSettingsFile(Agent().program_folder +
                          (r ? "\\BrelmapR_tmp.dll" : "\\Brelmap_tmp.dll"));
}

std::optional<std::string> Win32RefreshHost::ReadCompanyIdFile() {
  return ReadSettingsFile(Agent().program_folder + "\\BrelCompid.ini");
}

// The X edition holds its folders from start-up on, before any worker reads
// them; only the R edition, which has no workers, forms them here.
void Win32RefreshHost::MakeWorkFolders() {
  AgentState& a = Agent();
  if (a.edition != Edition::kR || a.work.valid()) return;
  HeldFolders held = HoldWorkFolders(a.base_folder, false);
  a.base = std::move(held.base);
  a.work = std::move(held.work);
}

// The cache lies beside the program, which need not be a folder only
// administrators can write to: it goes through the same checks as the work folder.
std::optional<std::string> Win32RefreshHost::ReadCache() {
  tessal::File file = tessal::SafeFolder::Hold(Agent().program_folder).OpenForRead(kCacheName);
  std::string text;
  if (!file.valid() || !file.ReadAtMost(kMaxReplyBytes + 1, &text) ||
      text.size() > kMaxReplyBytes) {
    return std::nullopt;
  }
  return text;
}

void Win32RefreshHost::WriteCache(const std::string& reply) {
  tessal::SafeFolder::Hold(Agent().program_folder).OpenForUpdate(kCacheName).ReplaceContent(reply);
}

void Win32RefreshHost::DeleteCache() {
  tessal::SafeFolder::Hold(Agent().program_folder).DeleteChild(kCacheName);
}

void Win32RefreshHost::WriteAddressListFile(const std::string& lower_address_list) {
  WriteScrambledFile(Agent().base, "trgCorvChk", lower_address_list.c_str());
}

tessal::ScopedMenu CreateTrayMenu(const MenuModel& menu) {
  tessal::ScopedMenu popup(CreatePopupMenu());
  for (const MenuEntry& e : menu) {
    if (e.separator) {
      AppendMenuW(popup.get(), MF_SEPARATOR, 0, nullptr);
    } else {
      AppendMenuW(popup.get(), MF_STRING, e.command, Widen(e.text).c_str());
    }
  }
  return popup;
}

void Win32RefreshHost::SetMenu(const MenuModel& menu) {
  AgentState& a = Agent();
  a.tray_menu.reset();  // the old menu goes before the new one is made
  a.tray_menu = CreateTrayMenu(menu);
}

void Win32RefreshHost::StartBrowsers() {
  StartProtectedBrowsers(Agent().edition, Agent().program_folder);
}
void Win32RefreshHost::CloseBrowsers() { CloseProtectedBrowsers(Agent().edition); }
void Win32RefreshHost::GuardHostsFile() { CheckAndRepairHostsFile(); }

}  // namespace kestra
