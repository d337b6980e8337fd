// The start-up steps of the main dialog that talk to the platform.
#pragma once

#include <windows.h>

#include <string>

#include "core/startup_rules.h"

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

// True when the system support library is missing or too old.
bool SystemSupportOutdated();

// Removes the old work folder, waiting (bounded) for the removal to end, then
// creates base and work folders. Returns the work folder.
std::string RecreateWorkFolder(const std::string& base_folder);

}  // namespace kestra
