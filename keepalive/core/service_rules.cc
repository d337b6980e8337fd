#include "keepalive/core/service_rules.h"

#include "common/core/ansi_text.h"

namespace keepalive {

Command ParseCommand(const char* first_argument) {
  if (first_argument == nullptr) return Command::kRunService;
  if (tessal::EqualsIgnoreCase(first_argument, "-install")) return Command::kInstall;
  if (tessal::EqualsIgnoreCase(first_argument, "-start")) return Command::kStart;
  if (tessal::EqualsIgnoreCase(first_argument, "-remove")) return Command::kRemove;
  return Command::kRunService;
}

namespace {

// The file name after the last folder separator; a CP949 trail byte that looks
// like a backslash is no separator.
std::string_view FileNameOf(std::string_view path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (tessal::IsLeadByte(static_cast<unsigned char>(path[i]))) {
      ++i;
    } else if (path[i] == '\\' || path[i] == '/') {
      start = i + 1;
    }
  }
  return path.substr(start);
}

}  // namespace

bool IsWatchedImage(std::string_view image_name) {
  image_name = FileNameOf(image_name);
  for (const char* watched : {"qvtessalkestra.exe", "qvtarnwick.exe", "qvtarnholm.exe"}) {
    if (tessal::EqualsIgnoreCase(image_name, watched)) return true;
  }
  return false;
}

bool SuiteRunning(const std::vector<std::string>& image_names) {
  for (const std::string& name : image_names) {
    if (IsWatchedImage(name)) return true;
  }
  return false;
}

bool IsLegacyWindows(std::optional<WindowsVersion> version) {
  return version && version->major == 5 && (version->minor == 0 || version->minor == 1);
}

std::optional<std::u16string> ProgramFolder(std::u16string_view program_path) {
  std::size_t sep = program_path.find_last_of(u'\\');
  if (sep == std::u16string_view::npos) return std::nullopt;
  return std::u16string(program_path.substr(0, sep));
}

std::optional<LaunchCommand> MakeLaunchCommand(std::u16string_view service_folder) {
  LaunchCommand launch;
  launch.application = std::u16string(service_folder) + u"\\qvTolvenz.exe";
  launch.command_line = QuotedProgramPath(launch.application);
  if ((launch.command_line.size() + 1) * sizeof(char16_t) > kLaunchCommandBytes)
    return std::nullopt;
  return launch;
}

std::u16string QuotedProgramPath(std::u16string_view program_path) {
  return u"\"" + std::u16string(program_path) + u"\"";
}

StatusReport StartPendingReport() { return {kStartPending, 0, 0, 0}; }
StatusReport RunningReport() { return {kRunning, kAcceptStop, 0, 0}; }
StatusReport NoStopEventReport(uint32_t last_error) { return {kStopped, 0, last_error, 1}; }
StatusReport StoppedReport() { return {kStopped, 0, 0, 3}; }

std::optional<StatusReport> OnControl(uint32_t control, uint32_t current_state) {
  if (control != kControlStop || current_state != kRunning) return std::nullopt;
  return StatusReport{kStopPending, 0, 0, 4};
}

bool IsNoUserSession(uint32_t session_id) { return session_id == 0 || session_id == 0xFFFFFFFFu; }

}  // namespace keepalive
