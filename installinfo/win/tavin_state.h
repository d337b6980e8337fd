// Library-wide state of Tavin: the root folder, the diagnostic text and the
// monitor pause flag; helpers shared by the exports and the monitor.
#pragma once

#include <atomic>
#include <string>

#include "installinfo/win/lorix_binding.h"

namespace tavin {

extern char g_root_folder[260];
extern char g_diagnostic[1024];
extern std::atomic<int> g_monitor_paused;

void SetDiagnostic(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

inline std::string RootFolder() { return g_root_folder; }

// The manifest file name from "setup.ini" in the root folder; empty when the file
// cannot be read.
std::string ReadManifestName();

// Loads the manifest into the bound library; false (diagnostic "xml file load
// fail") when it cannot be loaded.
bool LoadManifest(CLorixDll* lorix, const std::string& path);

}  // namespace tavin
