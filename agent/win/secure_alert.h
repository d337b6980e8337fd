// The alert box: a topmost modal question in the middle of the screen that says
// which kind of pharming attempt was seen and asks whether to close all browsers.
#pragma once

#include "common/win/platform.h"

#include "agent/win/dialog_base.h"
#include "common/win/scoped_handle.h"

namespace kestra {

class SecureAlert : public CDialogBase {
 public:
  static constexpr int kTextSize = 2048;

  explicit SecureAlert(HWND owner);

  // The message (8-bit, cut to 2047 bytes).
  void SetText(const char* text);
  const char* text() const { return text_; }
  // 6 for "예", 7 for "아니오" (also Esc and the close box), -1 until answered.
  int answer() const { return answer_; }

 protected:
  BOOL OnInitDialog() override;
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp, bool* handled) override;

 private:
  char text_[kTextSize] = {};
  int answer_ = -1;
  tessal::ScopedBrush background_;  // deleted before the base class ends the window
};

// Sets an 8-bit text (ANSI code page) as a control's text, converted to UTF-16
// and cut to buffer_chars - 1 characters.
void SetDlgItemTextAnsi(HWND dialog, int id, const char* text, int buffer_chars);

}  // namespace kestra
