// qvTolvenz: the console launcher that the keep-alive service starts in the
// user's session. Starts the protected-start program and ends; always exit code 0.
#include "common/win/dll_search.h"
#include "launchers/win/launch_hidden.h"

int main() {
  tessal::RestrictDllSearch();
  tolven::LaunchTarnwickHidden();
  return 0;
}
