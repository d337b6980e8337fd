// The refusal toast (CNotify) as the inspection sees it.
#include "agent/win/agent_state.h"
#include "agent/win/notify.h"
#include "agent/win/verdict_host.h"

namespace kestra {

namespace {

class NotifyToast : public Toast {
 public:
  bool Ensure(HWND owner) override { return toast_.hwnd() != nullptr || toast_.Create(owner); }
  bool showing() const override { return toast_.showing(); }
  void Show(const std::string& line1, const std::string& line2, const std::string& host,
            int kind) override {
    toast_.ShowNotice(0, line1.c_str(), line2.c_str(), host.c_str(), kind);
  }

 private:
  CNotify toast_;
};

}  // namespace

Toast* TheToast() {
  static NotifyToast toast;
  return &toast;
}

}  // namespace kestra
