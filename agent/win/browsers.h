// The outside programs the agent starts and stops: the protected browsers, the
// R edition's DLP component and the protected-start program.
#pragma once

#include <string>

#include "agent/core/startup_rules.h"

namespace kestra {

// Runs the edition's protected-browser programs hidden (both on 64-bit Windows),
// and in the R edition switches on the DLP component.
void StartProtectedBrowsers(Edition edition, const std::string& program_folder);
// Sends WM_DESTROY to the edition's browser windows, 64-bit program first.
void CloseProtectedBrowsers(Edition edition);
// Runs "<program folder>\qvTarnwick.exe" hidden, without waiting.
void RunProtectedStart(const std::string& program_folder);
// Runs a command line hidden without waiting; false when it could not start.
bool RunHidden(const std::string& command_line);

}  // namespace kestra
