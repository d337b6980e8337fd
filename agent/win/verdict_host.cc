#include "agent/win/verdict_host.h"

#include "common/win/platform.h"
#include <shellapi.h>

#include "agent/core/messages.h"
#include "agent/core/record_files.h"
#include "agent/core/scrambled_file.h"
#include "agent/win/agent_state.h"
#include "agent/win/hosts_guard_win.h"
#include "agent/win/refresh_host.h"
#include "agent/win/startup.h"
#include "agent/win/tray.h"
#include "common/core/file_io.h"

namespace kestra {

namespace {

constexpr unsigned kTrayIconShownMs = 20000;
constexpr std::size_t kMaxRecordRead = 512;
constexpr std::size_t kMaxEvidence = 1024 * 1024;

// Browser windows, looked up again when a cached handle is no longer a window.
HWND CachedBrowser(HWND* cache, const char* window_class) {
  if (*cache == nullptr || !IsWindow(*cache)) *cache = FindWindowA(window_class, nullptr);
  return *cache;
}

}  // namespace

void WaitPumpingMessages(unsigned ms) {
  ULONGLONG end = GetTickCount64() + ms;
  for (;;) {
    ULONGLONG now = GetTickCount64();
    if (now >= end) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return;
      }
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

uint64_t Win32InspectionHost::NowMs() { return GetTickCount64(); }

// The window keeps answering while the checks wait; requests that come
// meanwhile are queued by the main window, never served inside this wait.
void Win32InspectionHost::Wait(unsigned ms) { WaitPumpingMessages(ms); }

std::optional<std::string> Win32InspectionHost::ReadExclusionFile() {
  std::string text;
  if (!ReadScrambledText(Agent().program_folder + "\\BrelEtc.ini", &text, 256 * 1024))
    return std::nullopt;
  return text;
}

// Computed afresh when start-up found none, but never stored: the workers read
// the MAC text without a lock.
std::string Win32InspectionHost::MacText() {
  const AgentState& a = Agent();
  return a.mac_text.empty() ? ComputeMacText() : a.mac_text;
}

std::optional<std::string> Win32InspectionHost::ReadRecord(int32_t number) {
  tessal::File file = Agent().work.OpenForUpdate(RecordFileLeaf(number));
  std::string text;
  if (!file.valid() || !file.ReadAtMost(kMaxRecordRead, &text)) return std::nullopt;
  return text;
}

void Win32InspectionHost::WriteRecord(int32_t number, const std::string& text) {
  WriteRecordFile(Agent().work, number, text);
}

std::string Win32InspectionHost::ReadEvidence(const std::string& host, int32_t number) {
  tessal::File file = Agent().work.OpenForRead(EvidenceFileLeaf(host, number));
  std::string text;
  if (!file.valid() || !file.ReadAtMost(kMaxEvidence, &text)) return "";
  return text.c_str();  // the text up to a NUL, as the agent's buffers hold it
}

bool Win32InspectionHost::DeleteEvidence(const std::string& host, int32_t number) {
  return Agent().work.DeleteChild(EvidenceFileLeaf(host, number));
}

void Win32InspectionHost::ShowTrayIconForAWhile() { ShowTrayIconFor(window_, kTrayIconShownMs); }

void Win32InspectionHost::SendBrowserAlert() {
  static HWND x64 = nullptr;
  static HWND x32 = nullptr;
  DWORD_PTR ignored = 0;
  for (HWND w : {CachedBrowser(&x64, kBrowserClassX64), CachedBrowser(&x32, kBrowserClassX32)}) {
    if (w != nullptr)
      SendMessageTimeoutA(w, kUmBrowserAlert, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
  }
}

void Win32InspectionHost::CommAccess(const std::string& id) { CurrentComm().Access(id); }
void Win32InspectionHost::CommSetCompany(const std::string& id) { CurrentComm().SetCompany(id); }
void Win32InspectionHost::CommLog(const std::string& id, const std::string& event, int kind) {
  CurrentComm().Log(id, event, kind);
}

bool Win32InspectionHost::NotifierReady() { return toast_ != nullptr && toast_->Ensure(window_); }
bool Win32InspectionHost::NotifierShowing() { return toast_ != nullptr && toast_->showing(); }

void Win32InspectionHost::ShowNotice(const std::string& line1, const std::string& line2,
                                     const std::string& host, int kind) {
  if (toast_ != nullptr) toast_->Show(line1, line2, host, kind);
}

void Win32InspectionHost::GuardHostsFile() { CheckAndRepairHostsFile(); }

}  // namespace kestra
