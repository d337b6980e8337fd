// The hosts-file guard on Windows: where the resolver reads its hosts file, the
// watch of that folder and of the resolver's settings, and the check and repair,
// which run on the main window's thread.
#pragma once

#include "common/win/platform.h"

namespace kestra {

// Posted by the agent's own watch; a process of lower integrity cannot send it.
inline constexpr UINT kUmHostsChanged = WM_APP + 0x28;

// Starts the thread that watches the hosts file's folder and the resolver's
// settings key. It only posts kUmHostsChanged to the window.
void StartHostsWatch(HWND window);
// A change was seen: the check follows once the burst of changes is over.
void OnHostsChanged(HWND window);
// The burst's timer (kTimerHostsCheck).
void OnHostsTimer(HWND window);
// Checks the resolver's settings and the hosts file against the protected sites
// now, puts a moved hosts folder back and repairs a tampered file. Nothing while
// the policy has no targets.
void CheckAndRepairHostsFile();

}  // namespace kestra
