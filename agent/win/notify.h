// The pharming toast: slides in at the screen corner next to the taskbar with the
// refused site and a one-line verdict; 3 s later its own timer asks, in the alert
// box, whether every protected browser is to be closed now.
#pragma once

#include "common/win/platform.h"

#include <cstdint>
#include <functional>

#include "agent/core/toast_state.h"
#include "agent/win/dialog_base.h"
#include "common/win/scoped_handle.h"

namespace kestra {

class CNotify : public CDialogBase {
 public:
  CNotify();
  ~CNotify() override;

  // Creates the hidden toast once; the owner object is the main window, the
  // window itself sits on the desktop. True when the toast exists.
  bool Create(HWND owner);

  // Fills the toast (mark 0 refusal, 1 normal site), places it at the taskbar
  // corner, slides it in and starts the alert timer. Ignored while its alert box
  // is open: the caller shows nothing new while showing() holds.
  void ShowNotice(int mark, const char* line1, const char* line2, const char* host,
                  int verdict_kind);
  // From the moment a notice is filled until its alert has been answered.
  bool showing() const { return state_.showing(); }

  void SetNormalSiteMark(int mark);
  void SetLine1Text(const char* text);
  void SetLine2Text(const char* text);

  const char* host() const { return state_.host(); }
  int mode() const { return state_.mode(); }
  int answer() const { return state_.answer(); }
  uint32_t slide_direction() const { return slide_direction_; }

  // Tests shorten the alert delay and replace the pause between attempts of the
  // terminate loop; the agent keeps 3000 ms and 300 ms.
  void SetTimingForTest(UINT alert_delay_ms, std::function<void()> pause);

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp, bool* handled) override;

 private:
  static constexpr UINT_PTR kAlertTimer = 1;

  void SlideOutAndHide();
  void RunAlertSequence();
  void TellBrowsersToClose();

  ToastState state_;
  tessal::ScopedBrush background_;  // deleted after the destructor ends the window
  HWND owner_ = nullptr;
  uint32_t slide_direction_ = 0;  // none until the first placement
  bool alert_open_ = false;
  UINT alert_delay_ms_ = kAlertDelayMs;
  std::function<void()> pause_;
};

}  // namespace kestra
