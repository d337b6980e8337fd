#include "agent/core/toast_state.h"

#include "agent/core/host_names.h"
#include "agent/core/screen_corner.h"
#include "agent/core/verdict.h"
#include "common/core/ansi_text.h"

namespace kestra {

namespace {

constexpr char kAddressText[] =
    "(A1) 주소변경 파밍시도가 의심됩니다.\r\n"
    "확실하지 않을 경우 거래를 중단하시는게 안전합니다.\r\n"
    "모든 브라우저를 지금 종료하시겠습니까?\r\n"
    "윈도우 호스트파일은 자동 수정 및 백업됩니다(hosts_backup)";
constexpr char kDnsText[] =
    "(A0) DNS 파싱 해킹이 의심됩니다.\r\n"
    "확실하지 않을 경우 거래를 중단하시는게 안전합니다.\r\n"
    "모든 브라우저를 지금 종료하시겠습니까?";
constexpr char kCertificateText[] =
    "(A2) 접속(인증)변경 파밍시도가 의심됩니다.\r\n"
    "인터넷 주소서버의 일시적 장애일 수 있으며\r\n"
    "확실하지 않을 경우 거래를 중단하시는게 안전합니다.\r\n"
    "모든 브라우저를 지금 종료하시겠습니까?\r\n"
    "윈도우 호스트파일은 자동 수정 및 백업됩니다(hosts_backup)";
constexpr char kContentText[] =
    "(A3) 내용변경 파밍시도가 의심됩니다.\r\n"
    "확실하지 않을 경우 거래를 중단하시는게 안전합니다.\r\n"
    "모든 브라우저를 지금 종료하시겠습니까?\r\n"
    "윈도우 호스트파일은 자동 수정 및 백업됩니다(hosts_backup)";
constexpr char kOtherText[] =
    "(E1) 파밍시도가 의심됩니다.\r\n"
    "확실하지 않을 경우 거래를 중단하시는게 안전합니다.\r\n"
    "모든 브라우저를 지금 종료하시겠습니까?\r\n"
    "윈도우 호스트파일은 자동 수정 및 백업됩니다(hosts_backup)";

}  // namespace

const char* AlertTextFor(int verdict_kind) {
  switch (verdict_kind) {
    case kKindAddress: return kAddressText;
    case kKindDnsSettings: return kDnsText;
    case kKindCertificate: return kCertificateText;
    case kKindContent: return kContentText;
    default: return kOtherText;
  }
}

uint32_t ReverseSlideDirection(uint32_t direction) {
  switch (direction) {
    case kSlideLeftToRight: return kSlideRightToLeft;
    case kSlideRightToLeft: return kSlideLeftToRight;
    case kSlideTopToBottom: return kSlideBottomToTop;
    case kSlideBottomToTop: return kSlideTopToBottom;
    default: return direction;
  }
}

ScreenPoint CentreOnScreen(int screen_w, int screen_h, int w, int h) {
  return ScreenPoint{screen_w / 2 - w / 2, screen_h / 2 - h / 2};
}

void ToastState::SetNormalSiteMark(int mark) {
  mode_ = mark == 1 ? kModeNormal : kModeRefusal;
  answer_ = kAnswerNone;
  showing_ = 1;
}

void ToastState::Fill(int mark, std::string_view host, int verdict_kind) {
  mode_ = kModeUnset;
  SetNormalSiteMark(mark);
  tessal::CopyBounded(host_, sizeof(host_), host.substr(0, host.find('\0')));
  verdict_kind_ = verdict_kind;
  answer_ = kAnswerNone;
  showing_ = 1;
}

const char* ToastState::AlertTextDue() const {
  if (mode_ != kModeRefusal) return nullptr;
  return AlertTextFor(verdict_kind_);
}

bool ToastState::Answer(int answer) {
  answer_ = answer;
  return answer == kAnswerYes;
}

void ToastState::Connected() {
  if (mode_ == kModeNormal) showing_ = 0;
}

std::string ConnectUrl(std::string_view host) {
  if (!IsSafeHostName(host)) return std::string();
  return "https://" + std::string(host);
}

}  // namespace kestra
