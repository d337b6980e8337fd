// What each platform supplies to the exported functions: its capture backend,
// its host services and the console of the monitor run.
#pragma once

#include "netmon/core/capture_backend.h"
#include "netmon/core/monitor.h"
#include "netmon/core/monitor_run.h"

namespace qvw {

CaptureBackend& PlatformBackend();
HostEnv& PlatformEnv();
Console& PlatformConsole();

// The one monitor of the process, shared by every export.
Monitor& GlobalMonitor();

}  // namespace qvw
