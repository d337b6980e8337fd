// A small dialog framework: modal or modeless dialogs from resource templates,
// each object receiving its window's messages through one virtual handler.
#pragma once

#include "common/win/platform.h"

namespace kestra {

// How the agent's windows are parked at the screen corner before they slide in:
// moved, hidden, not activated.
inline constexpr UINT kMoveHidden = SWP_NOSIZE | SWP_NOACTIVATE | SWP_HIDEWINDOW;

class CDialogBase {
 public:
  CDialogBase(int template_id, HWND parent) : template_id_(template_id), parent_(parent) {}
  virtual ~CDialogBase() = default;
  CDialogBase(const CDialogBase&) = delete;
  CDialogBase& operator=(const CDialogBase&) = delete;

  INT_PTR DoModal();
  bool CreateModeless(HWND parent);
  HWND hwnd() const { return hwnd_; }

 protected:
  // Return TRUE for the framework's initial focus.
  virtual BOOL OnInitDialog() { return TRUE; }
  // Sets *handled and returns the message result when the dialog deals with it.
  virtual LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp, bool* handled);
  void EndDialog(INT_PTR result);

  int template_id_;
  HWND parent_;
  HWND hwnd_ = nullptr;
  bool modal_ = false;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
};

}  // namespace kestra
