// What a setup launcher starts: the protected-start program beside itself, by its
// quoted full path. Texts are 8-bit (CP949 on the target systems).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tolven {

// Bytes for the module path and for the command line, terminator included.
inline constexpr std::size_t kPathBufferBytes = 512;

struct TarnwickLaunch {
  std::string program;       // "<folder>\qvTarnwick.exe", the folder lower-cased
  std::string command_line;  // the same in double quotes
};

// The module path that the platform wrote into a buffer of `size` bytes,
// reporting `copied` bytes; nothing when it failed or was cut to fit.
std::optional<std::string_view> CompleteModulePath(const char* buffer, std::size_t size,
                                                   std::size_t copied);

// What to start for a launcher at `module_path`; nothing when the path names no
// folder or the command line would not fit in kPathBufferBytes (a cut path
// would start some other program).
std::optional<TarnwickLaunch> PlanTarnwickLaunch(std::string_view module_path);

}  // namespace tolven
