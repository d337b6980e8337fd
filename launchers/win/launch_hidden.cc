#include "launchers/win/launch_hidden.h"

#include "common/win/platform.h"

#include <optional>
#include <string>

#include "common/win/start_hidden.h"
#include "common/win/wide_text.h"
#include "launchers/core/tarnwick_launch.h"

namespace tolven {

namespace {

std::optional<std::string> OwnModulePath() {
  char buffer[kPathBufferBytes];
  DWORD copied = GetModuleFileNameA(nullptr, buffer, sizeof(buffer));
  std::optional<std::string_view> path = CompleteModulePath(buffer, sizeof(buffer), copied);
  if (!path) return std::nullopt;
  return std::string(*path);
}

}  // namespace

bool LaunchTarnwickHidden() {
  std::optional<std::string> module_path = OwnModulePath();
  if (!module_path) return false;
  std::optional<TarnwickLaunch> plan = PlanTarnwickLaunch(*module_path);
  if (!plan) return false;
  // Through the wide call with the program named: no search along the
  // command line, and the CP949 folder reaches the file system whole.
  std::wstring program = tessal::Widen(plan->program);
  return tessal::StartHidden(program.c_str(), tessal::Widen(plan->command_line));
}

}  // namespace tolven
