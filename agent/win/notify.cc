#include "agent/win/notify.h"

#include "common/win/platform.h"
#include <shellapi.h>

#include <optional>
#include <string>

#include "agent/core/record_files.h"
#include "agent/core/screen_corner.h"
#include "agent/win/agent_state.h"
#include "agent/win/notify_resource.h"
#include "agent/win/secure_alert.h"
#include "agent/win/tray.h"
#include "agent/win/verdict_host.h"

namespace kestra {

namespace {

constexpr COLORREF kToastGround = RGB(255, 255, 255);
constexpr COLORREF kToastText = RGB(70, 70, 70);
constexpr int kLineBufferChars = 1024;

}  // namespace

CNotify::CNotify()
    : CDialogBase(IDD_NOTIFY, nullptr), background_(CreateSolidBrush(kToastGround)) {}

CNotify::~CNotify() {
  if (hwnd() != nullptr) DestroyWindow(hwnd());
}

bool CNotify::Create(HWND owner) {
  owner_ = owner;
  if (hwnd() != nullptr) return true;
  return CreateModeless(nullptr);
}

void CNotify::SetTimingForTest(UINT alert_delay_ms, std::function<void()> pause) {
  alert_delay_ms_ = alert_delay_ms;
  pause_ = std::move(pause);
}

void CNotify::SetNormalSiteMark(int mark) {
  state_.SetNormalSiteMark(mark);
  HWND w = hwnd();
  if (w == nullptr) return;
  if (state_.mode() == kModeNormal) {
    EnableWindow(GetDlgItem(w, IDOK), FALSE);
    ShowWindow(GetDlgItem(w, IDC_NOTIFY_NORMAL_ICON), SW_SHOW);
    ShowWindow(GetDlgItem(w, IDC_NOTIFY_REFUSAL_ICON), SW_HIDE);
  } else {
    ShowWindow(GetDlgItem(w, IDC_NOTIFY_NORMAL_ICON), SW_HIDE);
    ShowWindow(GetDlgItem(w, IDC_NOTIFY_REFUSAL_ICON), SW_SHOW);
  }
}

void CNotify::SetLine1Text(const char* text) {
  SetDlgItemTextAnsi(hwnd(), IDC_NOTIFY_LINE1, text, kLineBufferChars);
}

void CNotify::SetLine2Text(const char* text) {
  SetDlgItemTextAnsi(hwnd(), IDC_NOTIFY_LINE2, text, kLineBufferChars);
}

void CNotify::ShowNotice(int mark, const char* line1, const char* line2, const char* host,
                         int verdict_kind) {
  HWND w = hwnd();
  if (w == nullptr || alert_open_) return;

  // A toast still on screen leaves the way it came.
  slide_direction_ = ReverseSlideDirection(slide_direction_);
  AnimateWindow(w, kToastSlideMs, slide_direction_ | kAnimateHide);

  state_.Fill(mark, host != nullptr ? host : "", verdict_kind);
  SetNormalSiteMark(mark);
  SetLine1Text(line1);
  SetLine2Text(line2);

  Placement at = PlaceAtTaskbarCorner(w, slide_direction_);
  slide_direction_ = at.direction;

  SetTimer(w, kAlertTimer, alert_delay_ms_, nullptr);
  SetWindowPos(w, HWND_TOPMOST, at.x, at.y, 0, 0, kMoveHidden);
  // Without a direction the animation may refuse; the toast must show all the same.
  if (!AnimateWindow(w, kToastSlideMs, slide_direction_) && !IsWindowVisible(w)) {
    ShowWindow(w, SW_SHOWNOACTIVATE);
  }
}

void CNotify::SlideOutAndHide() {
  AnimateWindow(hwnd(), kToastDismissMs, kToastDismissFlags);
  ShowWindow(hwnd(), SW_HIDE);
}

void CNotify::RunAlertSequence() {
  KillTimer(hwnd(), kAlertTimer);
  const char* text = state_.AlertTextDue();
  if (text == nullptr) return;  // a normal site asks nothing

  int answer = kAnswerNone;
  {
    SecureAlert box(hwnd());
    box.SetText(text);
    alert_open_ = true;
    box.DoModal();
    alert_open_ = false;
    answer = box.answer();
  }
  if (state_.Answer(answer)) TellBrowsersToClose();
  state_.Finish();
}

void CNotify::TellBrowsersToClose() {
  AgentState& a = Agent();
  // The window keeps answering between the rounds of retries.
  std::function<void()> pause = pause_ ? pause_ : [] { WaitPumpingMessages(kTerminatePauseMs); };
  BroadcastWithRetries(a.records, a.work, kTerminateText, kTerminateRetries, pause);
}

LRESULT CNotify::OnMessage(UINT msg, WPARAM wp, LPARAM lp, bool* handled) {
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(hwnd(), &client);
      *handled = true;
      return FillRect(reinterpret_cast<HDC>(wp), &client, background_.get());
    }
    case WM_CTLCOLORSTATIC: {
      int id = GetDlgCtrlID(reinterpret_cast<HWND>(lp));
      if (id == IDC_NOTIFY_LINE1 || id == IDC_NOTIFY_LINE2) {
        SetTextColor(reinterpret_cast<HDC>(wp), kToastText);
        *handled = true;
        return reinterpret_cast<LRESULT>(background_.get());
      }
      return 0;
    }
    case WM_COMMAND:
      // The toast is kept for the life of the agent: "확인" and "연결하기" only hide
      // it, so a pending alert still comes.
      if (LOWORD(wp) == IDCANCEL) {
        SlideOutAndHide();
        *handled = true;
        return 0;
      }
      if (LOWORD(wp) == IDOK) {
        SlideOutAndHide();
        std::string url = ConnectUrl(state_.host());
        if (!url.empty())
          ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        state_.Connected();
        *handled = true;
        return 0;
      }
      break;
    case WM_TIMER:
      if (wp == kAlertTimer) RunAlertSequence();
      return 0;  // then the default processing
    default: break;
  }
  return CDialogBase::OnMessage(msg, wp, lp, handled);
}

}  // namespace kestra
