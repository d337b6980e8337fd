// qvTolvenw: the windowed launcher. Registers its window class but shows nothing,
// starts the protected-start program, gives it a second and ends; always exit code 0.
#include "common/win/platform.h"

#include "common/win/dll_search.h"
#include "launchers/win/launch_hidden.h"
#include "launchers/win/launcher_class.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  tessal::RestrictDllSearch();
  tolven::RegisterLauncherClass(instance);
  tolven::LaunchTarnwickHidden();
  Sleep(1000);
  return 0;
}
