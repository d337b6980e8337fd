// The start-up steps of the main dialog that talk to the platform.
#pragma once

#include "common/win/platform.h"

#include <string>

#include "agent/core/startup_rules.h"
#include "common/core/safe_folder.h"

namespace kestra {

std::string OwnProgramPath();
std::string FolderOf(const std::string& path);

// The roaming application-data folder's TessalX, lower-cased, when it exists; else c:\temp.
std::string DetermineBaseFolder();

// Ends the process with the shutdown exit code when another instance of the
// edition already has its window; otherwise gives the window its edition title.
void EnsureSingleInstance(HWND window, Edition edition);

// Lets lower-integrity processes send the agent's messages to the window.
void AllowAgentMessages(HWND window);

// The physical address of the first IPv4 adapter, or "".
std::string ComputeMacText();

// True when a keep-alive service with the HTTPS responder runs.
bool KeepAliveServiceServes(const std::string& program_folder);

// Starts the HTTPS presence responder for the life of the agent; each
// connection shows the tray icon for a while (posted to the main window).
void StartAgentResponder(const std::string& program_folder, HWND main_window);

// True when the system support library is missing or too old.
bool SystemSupportOutdated();

// The base folder (created when missing) and its work folder, each held for the
// agent's life; either is invalid when it cannot be held safely.
struct HeldFolders {
  tessal::SafeFolder base;
  tessal::SafeFolder work;
};
// With `fresh`, the old work folder is removed first, in-process and bounded,
// never following a link inside it, and before the new one is made, so that the
// requesters' record files written after start-up survive.
HeldFolders HoldWorkFolders(const std::string& base_folder, bool fresh);

}  // namespace kestra
