#include "agent/win/secure_alert.h"

#include <string>

#include "agent/core/toast_state.h"
#include "agent/win/notify_resource.h"
#include "agent/win/text.h"
#include "common/core/ansi_text.h"

namespace kestra {

namespace {
constexpr COLORREF kAlertGround = RGB(247, 247, 247);  // the alert picture's ground
}  // namespace

void SetDlgItemTextAnsi(HWND dialog, int id, const char* text, int buffer_chars) {
  std::wstring wide = Widen(text != nullptr ? text : "");
  if (buffer_chars > 0 && wide.size() >= static_cast<std::size_t>(buffer_chars)) {
    wide.resize(buffer_chars - 1);
  }
  SetDlgItemTextW(dialog, id, wide.c_str());
}

SecureAlert::SecureAlert(HWND owner)
    : CDialogBase(IDD_SECURE_ALERT, owner), background_(CreateSolidBrush(kAlertGround)) {}

void SecureAlert::SetText(const char* text) {
  tessal::CopyBounded(text_, sizeof(text_), text != nullptr ? text : "");
}

BOOL SecureAlert::OnInitDialog() {
  HWND w = hwnd();
  RECT own;
  GetWindowRect(w, &own);
  ScreenPoint at = CentreOnScreen(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                  own.right - own.left, own.bottom - own.top);
  SetWindowPos(w, HWND_TOPMOST, at.x, at.y, 0, 0, SWP_NOSIZE);
  SetDlgItemTextAnsi(w, IDC_ALERT_TEXT, text_, kTextSize);
  return TRUE;
}

LRESULT SecureAlert::OnMessage(UINT msg, WPARAM wp, LPARAM lp, bool* handled) {
  switch (msg) {
    case WM_CTLCOLORSTATIC:
      if (GetDlgCtrlID(reinterpret_cast<HWND>(lp)) == IDC_ALERT_TEXT) {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetBkColor(dc, kAlertGround);
        SetTextColor(dc, RGB(0, 0, 0));
        *handled = true;
        return reinterpret_cast<LRESULT>(background_.get());
      }
      return 0;
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case IDOK:
          answer_ = kAnswerYes;
          EndDialog(IDOK);
          *handled = true;
          return 0;
        case IDCANCEL:
          answer_ = kAnswerNo;
          EndDialog(IDCANCEL);
          *handled = true;
          return 0;
        case IDC_ALERT_PICTURE:
          if (HIWORD(wp) == STN_CLICKED) {
            // Pressing on the picture drags the box, which has no caption.
            SendMessageW(hwnd(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
            *handled = true;
          }
          return 0;
        default: break;
      }
      break;
    default: break;
  }
  return CDialogBase::OnMessage(msg, wp, lp, handled);
}

}  // namespace kestra
