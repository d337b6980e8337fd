// What the pharming toast and the alert box decide: the alert text for a verdict
// kind, the toast's slide directions and centring, and the toast's own state from
// the moment it is filled until the user has answered the alert.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestra {

// The question asked 3 s after a refusal, chosen by the verdict kind (0 address,
// 1 DNS settings, 2 certificate, 3 content, anything else "other"). Lines end in CR LF.
const char* AlertTextFor(int verdict_kind);

// Written into every registered record file when the user answers "예".
inline constexpr char kTerminateText[] = "<TERMINATE></TERMINATE>";
inline constexpr int kTerminateRetries = 10;        // more attempts per unopenable file
inline constexpr unsigned kTerminatePauseMs = 300;  // after each failed attempt

inline constexpr unsigned kAlertDelayMs = 3000;   // toast shown -> alert box
inline constexpr unsigned kToastSlideMs = 600;    // slide in, and out before a new notice
inline constexpr unsigned kToastDismissMs = 300;  // slide out on "확인" / "연결하기"

// Animation flags of the platform's window animation.
inline constexpr uint32_t kAnimateHide = 0x10000;
inline constexpr uint32_t kAnimateVerticalPositive = 0x4;
// "확인" rolls the toast away downwards.
inline constexpr uint32_t kToastDismissFlags = kAnimateHide | kAnimateVerticalPositive;

// A toast still on screen leaves the way it came: left/right and up/down swap;
// anything else (no direction yet) stays as it is.
uint32_t ReverseSlideDirection(uint32_t direction);

// Top-left corner that centres a w x h window on a W x H screen, each size halved
// on its own (W / 2 - w / 2), as the alert box has always been placed.
struct ScreenPoint {
  int x = 0, y = 0;
};
ScreenPoint CentreOnScreen(int screen_w, int screen_h, int w, int h);

// The answers of the alert box (the platform's IDYES and IDNO).
inline constexpr int kAnswerNone = -1;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

// Toast modes: not set, a refused site (alert follows), a normal site.
inline constexpr int kModeUnset = -1;
inline constexpr int kModeRefusal = 0;
inline constexpr int kModeNormal = 1;

// The toast's state. "showing" is set from the moment a notice is filled until its
// alert has been answered; no new notice is shown meanwhile.
class ToastState {
 public:
  static constexpr std::size_t kHostSize = 128;

  // Mark 1 is a normal site; any other mark a refusal.
  void SetNormalSiteMark(int mark);
  // The bookkeeping of a new notice: mode from the mark, host (cut to 127 bytes:
  // the requester's record may carry a far longer one), verdict kind, no answer yet.
  void Fill(int mark, std::string_view host, int verdict_kind);

  // The alert text due when the toast's timer fires, or null when the toast is not
  // a refusal and nothing is asked.
  const char* AlertTextDue() const;
  // The alert box's answer (kAnswerNone when it could not be shown). True when
  // every registered browser is to be told to close.
  bool Answer(int answer);
  // The alert sequence is over; a new notice may be shown.
  void Finish() { showing_ = 0; }
  // "연결하기": a normal-site toast is done with; a refused one waits for its alert.
  void Connected();

  const char* host() const { return host_; }
  int mode() const { return mode_; }
  int answer() const { return answer_; }
  int verdict_kind() const { return verdict_kind_; }
  bool showing() const { return showing_ != 0; }

 private:
  char host_[kHostSize] = {};
  int mode_ = kModeUnset;
  int answer_ = kAnswerNone;
  int verdict_kind_ = 0;
  int showing_ = 0;
};

// "https://<host>" for the "연결하기" command, or "" when the host is not a plain
// DNS name (IsSafeHostName): the host comes from a less trusted process and must
// not become anything but a web address.
std::string ConnectUrl(std::string_view host);

}  // namespace kestra
