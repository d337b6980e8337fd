// The log of the small stand-ins: one line per event, appended to the file named
// by TESSAL_STANDIN_LOG, or to "<module name>.log" beside the module when unset:
//   <module name> <pid> <event>
#pragma once

#include "common/win/platform.h"

#include <string>

namespace standin_log {

// The module's file name without folder and extension ("qvTarnwick").
std::string ModuleName(HMODULE module);
// Appends one line; false when the log could not be written.
bool Append(HMODULE module, const std::string& event);
// Records a program's start:
//   started YYYY-MM-DD HH:MM:SS.mmm <command line>
// and, when its starter chose a show mode, a second line "show <mode>".
bool AppendStart();

}  // namespace standin_log
