// Gatrell: the keep-alive service. "-install", "-start" and "-remove" manage
// the service; anything else runs it under the service control manager.
#include "common/win/platform.h"

#include "common/win/dll_search.h"
#include "keepalive/core/service_rules.h"
#include "keepalive/win/service_commands.h"
#include "keepalive/win/service_main.h"

int main(int argc, char** argv) {
  // Before anything can load a library: never from the current folder or the PATH.
  tessal::RestrictDllSearch();
  switch (keepalive::ParseCommand(argc > 1 ? argv[1] : nullptr)) {
    case keepalive::Command::kInstall: keepalive::InstallService(); return 0;
    case keepalive::Command::kStart: keepalive::StartInstalledService(); return 0;
    case keepalive::Command::kRemove: keepalive::RemoveService(); return 0;
    case keepalive::Command::kRunService: break;
  }
  return static_cast<int>(keepalive::RunServiceDispatcher());
}
