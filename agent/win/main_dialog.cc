#include "agent/win/main_dialog.h"

#include "common/win/platform.h"
#include <shellapi.h>

#include <optional>

#include "agent/core/messages.h"
#include "agent/win/about_dialog.h"
#include "agent/win/agent_state.h"
#include "agent/win/firewall.h"
#include "agent/win/hosts_guard_win.h"
#include "agent/win/refresh_host.h"
#include "agent/win/resource.h"
#include "agent/win/shutdown.h"
#include "agent/win/startup.h"
#include "agent/win/text.h"
#include "agent/win/tray.h"
#include "agent/win/url_watcher.h"
#include "agent/win/verdict_host.h"

namespace kestra {

namespace {

constexpr UINT kFirstRefreshDelayMs = 2000;
// Queued requests are tried again this often while a refresh runs.
constexpr UINT_PTR kTimerServeRequests = 0x2728;
constexpr UINT kRefreshWaitStepMs = 300;
constexpr UINT kSlideMs = 600;

// The tray icon's data; only the R edition shows it from the start.
void PrepareTrayIcon(AgentState& a, HWND w, HICON icon) {
  a.tray = NOTIFYICONDATAA{};
  a.tray.cbSize = NOTIFYICONDATAA_V3_SIZE;
  a.tray.hWnd = w;
  a.tray.uID = 0;
  a.tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  a.tray.uCallbackMessage = kUmTrayNotify;
  a.tray.hIcon = icon;
  lstrcpynA(a.tray.szTip, kTrayTip, sizeof(a.tray.szTip));
  if (a.edition == Edition::kR) Shell_NotifyIconA(NIM_ADD, &a.tray);
}

// The X edition's workers. The folders they read are held before any of them starts.
void StartWorkers(AgentState& a, HWND w) {
  HeldFolders held = HoldWorkFolders(a.base_folder, true);
  a.base = std::move(held.base);
  a.work = std::move(held.work);
  a.responder_wanted = !KeepAliveServiceServes(a.program_folder);
  if (a.responder_wanted) StartAgentResponder(a.program_folder, w);
  a.outdated_support_flag = SystemSupportOutdated() ? 1 : 0;
  StartUrlWatcher();
  StartHostsWatch(w);
}

}  // namespace

CqvTessalKestraDlg::CqvTessalKestraDlg() : CDialogBase(IDD_QVTESSALKESTRA_DIALOG, nullptr) {
  icon_ = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

BOOL CqvTessalKestraDlg::OnInitDialog() {
  AgentState& a = Agent();
  HWND w = hwnd();
  AddAboutEntryAndIcons();  // 1.

  // 2.-4. Base folder, edition, single instance.
  a.base_folder = DetermineBaseFolder();
  a.program_path = OwnProgramPath();
  a.program_folder = FolderOf(a.program_path);
  a.edition = ChooseEdition(a.program_path);
  a.policy.edition = a.edition;
  EnsureSingleInstance(w, a.edition);

  // 5.-7. Messages from lower-integrity senders, tray icon.
  AllowAgentMessages(w);
  a.main_window = w;
  PrepareTrayIcon(a, w, icon_);

  // 8. Per-run texts and the MAC text.
  first_paint_ = 1;
  a.mac_text = ComputeMacText();
  a.work_folder = WorkFolderOf(a.base_folder);

  std::wstring image = Widen(a.program_path);
  if (a.edition == Edition::kR) {
    // 9. R edition: no workers, no removal of the work folder (made by the refresh).
    SetWindowTextA(w, kTitleR);
    RegisterFirewallApp(image.c_str(), L"Corvanta Ransom Brontel");
  } else {
    // 10. X edition.
    SetWindowTextA(w, kTitleX);
    RegisterFirewallApp(image.c_str(), L"Corvanta Brontel");
    StartWorkers(a, w);
  }

  // 11. The night restart counts from here (a 64-bit clock: no wrap after 49 days).
  a.policy.restart_clock_ms = GetTickCount64();
  return TRUE;
}

void CqvTessalKestraDlg::AddAboutEntryAndIcons() {
  HWND w = hwnd();
  char about[128] = "";
  LoadStringA(GetModuleHandleA(nullptr), IDS_ABOUTBOX, about, sizeof(about));
  if (HMENU sys = GetSystemMenu(w, FALSE); sys != nullptr && about[0] != 0) {
    AppendMenuA(sys, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(sys, MF_STRING, IDM_ABOUTBOX, about);
  }
  SendMessageA(w, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageA(w, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
  taskbar_created_ = RegisterWindowMessageA("TaskbarCreated");
}

LRESULT CqvTessalKestraDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, bool* handled) {
  switch (msg) {
    case WM_SYSCOMMAND: OnSysCommand(wp, lp, handled); return 0;
    case WM_PAINT: OnPaint(handled); return 0;
    case WM_QUERYDRAGICON: *handled = true; return reinterpret_cast<LRESULT>(icon_);
    case WM_TIMER:
      OnTimer(wp);
      *handled = true;
      return 0;
    case WM_WINDOWPOSCHANGING:
      OnWindowPosChanging(reinterpret_cast<WINDOWPOS*>(lp));
      return 0;  // default processing still runs
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK) {
        may_show_ = 0;
        SetWindowPos(hwnd(), HWND_TOPMOST, 0, 0, 0, 0, kMoveHidden);
        *handled = true;
        return 0;
      }
      break;
    case WM_LBUTTONDOWN:
      // Drag the window by its client area.
      SendMessageA(hwnd(), WM_NCLBUTTONDOWN, HTCAPTION, lp);
      return 0;
    default:
      if (msg == taskbar_created_ && taskbar_created_ != 0) {
        // Explorer restarted: the R edition's icon must be added again.
        if (Agent().edition == Edition::kR) Shell_NotifyIconA(NIM_ADD, &Agent().tray);
        *handled = true;
        return 0;
      }
      return OnAgentMessage(msg, wp, lp, handled);
  }
  return CDialogBase::OnMessage(msg, wp, lp, handled);
}

LRESULT CqvTessalKestraDlg::OnAgentMessage(UINT msg, WPARAM wp, LPARAM lp, bool* handled) {
  switch (msg) {
    case kUmRegisterRecord:
      OnRegisterRecord(wp);
      *handled = true;
      return 1;
    case kUmReleaseRecord:
      OnReleaseRecord(wp);
      *handled = true;
      return 1;
    case kUmInspectRecord:
      OnInspectRecord(wp);
      *handled = true;
      return 1;
    case kUmDnsChanged:
      OnDnsChanged();
      *handled = true;
      return 1;
    case kUmHostsChanged:
      OnHostsChanged(hwnd());
      *handled = true;
      return 0;
    case kUmResponderConnection:
      if (Agent().edition == Edition::kX) ShowTrayIconFor(hwnd(), kResponderIconMs);
      *handled = true;
      return 0;
    case kUmTrayNotify: *handled = true; return OnTrayNotify(hwnd(), wp, lp);
    case kUmShutdown: RunShutdownRoutine(); break;
    default: break;
  }
  return CDialogBase::OnMessage(msg, wp, lp, handled);
}

void CqvTessalKestraDlg::OnSysCommand(WPARAM id, LPARAM, bool* handled) {
  if ((id & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg about(hwnd());
    about.DoModal();
    *handled = true;
  } else if ((id & 0xFFF0) == SC_CLOSE) {
    ShowWindow(hwnd(), SW_HIDE);
    *handled = true;
  }
}

void CqvTessalKestraDlg::OnPaint(bool* handled) {
  HWND w = hwnd();
  if (IsIconic(w)) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    SendMessageA(w, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(w, &client);
    int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon_);
    EndPaint(w, &ps);
    *handled = true;
    return;
  }
  if (first_paint_) {
    first_paint_ = 0;
    SlideInAtTaskbarCorner();
  }
}

void CqvTessalKestraDlg::SlideInAtTaskbarCorner() {
  HWND w = hwnd();
  Placement p = PlaceAtTaskbarCorner(w, slide_direction_);
  slide_direction_ = p.direction;
  SetWindowPos(w, HWND_TOPMOST, p.x, p.y, 0, 0, kMoveHidden);
  AnimateWindow(w, kSlideMs, AW_SLIDE | p.direction);
  may_show_ = 0;
  SetTimer(w, kTimerPolicy, kFirstRefreshDelayMs, nullptr);
}

void CqvTessalKestraDlg::OnWindowPosChanging(WINDOWPOS* pos) {
  if (!may_show_ && pos != nullptr) pos->flags &= ~SWP_SHOWWINDOW;
}

void CqvTessalKestraDlg::OnTimer(UINT_PTR id) {
  AgentState& a = Agent();
  if (id == kTimerServeRequests) {
    ServeRequests();
    return;
  }
  if (id == kTimerHostsCheck) {
    OnHostsTimer(hwnd());
    return;
  }
  switch (DispatchTimer(static_cast<unsigned>(id), a.policy.policy_loaded,
                        a.inspection.current_record != 0, a.edition)) {
    case TimerAction::kRefresh: {
      Win32RefreshHost host(hwnd());
      RunPolicyRefresh(a.policy, host);
      break;
    }
    case TimerAction::kDnsAlert: {
      Win32InspectionHost host(hwnd(), TheToast());
      RaiseDnsAlert(a.inspection, a.policy, host);
      break;
    }
    case TimerAction::kHideTrayIcon:
      KillTimer(hwnd(), kTimerTrayIcon);
      if (a.edition == Edition::kX) Shell_NotifyIconA(NIM_DELETE, &a.tray);
      break;
    case TimerAction::kInspect: {
      Win32InspectionHost host(hwnd(), TheToast());
      InspectRecord(a.inspection, a.policy, host);
      break;
    }
    case TimerAction::kDefault: break;
  }
}

void CqvTessalKestraDlg::OnInspectRecord(WPARAM number) {
  requests_.Push(static_cast<int32_t>(number));
  ServeRequests();
}

// One request at a time, in order. The inspection's waits keep the window
// answering; a request that comes meanwhile only joins the queue, so runs never nest.
void CqvTessalKestraDlg::ServeRequests() {
  if (serving_) return;
  serving_ = true;
  AgentState& a = Agent();
  KillTimer(hwnd(), kTimerServeRequests);
  while (!requests_.empty()) {
    if (a.policy.refresh_running) {
      // The refresh waits further down this thread (in a message box): later.
      SetTimer(hwnd(), kTimerServeRequests, kRefreshWaitStepMs, nullptr);
      break;
    }
    a.inspection.current_record = requests_.Pop();
    OnTimer(kTimerInspect);
    a.inspection.current_record = 0;
  }
  serving_ = false;
}

void CqvTessalKestraDlg::OnDnsChanged() {
  AgentState& a = Agent();
  if (!a.policy.refresh_running && !a.policy.inspection_running) OnTimer(kTimerDnsAlert);
}

void CqvTessalKestraDlg::OnRegisterRecord(WPARAM number) {
  Agent().records.Register(static_cast<int32_t>(number));
}

void CqvTessalKestraDlg::OnReleaseRecord(WPARAM number) {
  AgentState& a = Agent();
  a.records.Release(static_cast<int32_t>(number));
  a.work.DeleteChild(RecordFileLeaf(static_cast<int32_t>(number)));
}

}  // namespace kestra
