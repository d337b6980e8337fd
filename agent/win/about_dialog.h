#pragma once

#include "agent/win/dialog_base.h"
#include "agent/win/resource.h"

namespace kestra {

// "qvTessalKestra 정보", shown modally from the system menu.
class CAboutDlg : public CDialogBase {
 public:
  explicit CAboutDlg(HWND parent) : CDialogBase(IDD_ABOUTBOX, parent) {}
};

}  // namespace kestra
