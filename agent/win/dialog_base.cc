#include "agent/win/dialog_base.h"

namespace kestra {

INT_PTR CDialogBase::DoModal() {
  modal_ = true;
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(template_id_), parent_,
                         &CDialogBase::DialogProc, reinterpret_cast<LPARAM>(this));
}

bool CDialogBase::CreateModeless(HWND parent) {
  modal_ = false;
  parent_ = parent;
  return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(template_id_), parent,
                            &CDialogBase::DialogProc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CDialogBase::EndDialog(INT_PTR result) {
  if (modal_) {
    ::EndDialog(hwnd_, result);
  } else {
    DestroyWindow(hwnd_);
  }
}

LRESULT CDialogBase::OnMessage(UINT msg, WPARAM wp, LPARAM, bool* handled) {
  // The framework's default: OK and Cancel end the dialog.
  if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
    EndDialog(LOWORD(wp));
    *handled = true;
    return 0;
  }
  return 0;
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  CDialogBase* self;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<CDialogBase*>(lp);
    SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_ = hwnd;
    return self->OnInitDialog();
  }
  self = reinterpret_cast<CDialogBase*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (self == nullptr) return FALSE;
  bool handled = false;
  LRESULT result = self->OnMessage(msg, wp, lp, &handled);
  if (msg == WM_NCDESTROY) self->hwnd_ = nullptr;
  if (!handled) return FALSE;
  if (msg == WM_QUERYDRAGICON || (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC)) {
    return static_cast<INT_PTR>(result);  // these return their value directly
  }
  SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
  return TRUE;
}

}  // namespace kestra
