#include "launchers/core/tarnwick_launch.h"

#include "common/core/ansi_text.h"

namespace tolven {

std::optional<std::string_view> CompleteModulePath(const char* buffer, std::size_t size,
                                                   std::size_t copied) {
  // A path that filled the whole buffer may have been cut (and left unterminated).
  if (buffer == nullptr || copied == 0 || copied >= size) return std::nullopt;
  return std::string_view(buffer, copied);
}

std::optional<TarnwickLaunch> PlanTarnwickLaunch(std::string_view module_path) {
  // CP949 trail bytes are never a backslash, so the last one ends the folder.
  std::size_t sep = module_path.rfind('\\');
  if (sep == std::string_view::npos || sep == 0) return std::nullopt;
  // Lead-byte aware: a trail byte that looks like a capital letter stays as it is.
  std::string program = tessal::LowerAnsi(module_path.substr(0, sep)) + "\\qvTarnwick.exe";
  std::string command_line = "\"" + program + "\"";
  if (command_line.size() >= kPathBufferBytes) return std::nullopt;
  return TarnwickLaunch{program, command_line};
}

}  // namespace tolven
