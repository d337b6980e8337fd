// The application object: common controls, then the main dialog run modally;
// when its loop returns the program ends.
#include "common/win/platform.h"
#include <commctrl.h>

#include "agent/win/main_dialog.h"
#include "common/win/dll_search.h"

namespace kestra {

class CqvTessalKestraApp {
 public:
  // The framework's registry key; the agent keeps no settings there.
  static constexpr char kRegistryKey[] = "로컬 응용 프로그램 마법사에서 생성된 응용 프로그램";

  int InitInstance() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    // Every class of the original common-controls set.
    controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES |
                     ICC_TAB_CLASSES | ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS | ICC_HOTKEY_CLASS |
                     ICC_ANIMATE_CLASS;
    InitCommonControlsEx(&controls);
    CqvTessalKestraDlg dialog;
    dialog.DoModal();
    return 0;  // no message pump after the dialog
  }
};

}  // namespace kestra

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before anything can load a library: never from the current folder or the PATH.
  tessal::RestrictDllSearch();
  kestra::CqvTessalKestraApp app;
  return app.InitInstance();
}
