// The keep-alive service's decisions, from inputs that the Win32 side gathers:
// the command line, the process list, the workstation version, the launch
// command line, the service controls and the console session.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keepalive {

inline constexpr char16_t kServiceName[] = u"Corvanta BrontelMon";
inline constexpr char16_t kDisplayName[] = u"Corvanta Brontel Monitor";

enum class Command { kInstall, kStart, kRemove, kRunService };

// The first argument (null when there is none), case ignored.
Command ParseCommand(const char* first_argument);

// True when the image name (with or without its folder) is one of the suite's
// programs: the agent, the protected-start program or its companion.
bool IsWatchedImage(std::string_view image_name);
// True when any of the running images is one of them.
bool SuiteRunning(const std::vector<std::string>& image_names);

struct WindowsVersion {
  uint32_t major = 0;
  uint32_t minor = 0;
};
// Windows 2000 and XP (5.0, 5.1) run the console user's programs in the
// service's own session; an unknown version (failed query) is not legacy.
bool IsLegacyWindows(std::optional<WindowsVersion> version);

// The program's folder: its path up to, not including, the last backslash;
// nothing when the path has no folder.
std::optional<std::u16string> ProgramFolder(std::u16string_view program_path);

// What the service starts: the launcher's full path and its quoted command line.
struct LaunchCommand {
  std::u16string application;
  std::u16string command_line;
};
// The command line is held in 1024 bytes of UTF-16 with its terminating NUL.
inline constexpr std::size_t kLaunchCommandBytes = 1024;
// The launcher "qvTolvenz.exe" in the service's folder; nothing when the
// command line would not fit (a cut path could name another program).
std::optional<LaunchCommand> MakeLaunchCommand(std::u16string_view service_folder);

// "\"<path>\"": the program path as the service control manager runs it.
std::u16string QuotedProgramPath(std::u16string_view program_path);

// Values of the service status record that the service reports.
enum ServiceState : uint32_t {
  kStopped = 1,
  kStartPending = 2,
  kStopPending = 3,
  kRunning = 4,
};
inline constexpr uint32_t kControlStop = 1;
inline constexpr uint32_t kAcceptStop = 1;

struct StatusReport {
  uint32_t state = kStopped;
  uint32_t controls_accepted = 0;
  uint32_t exit_code = 0;
  uint32_t check_point = 0;
};
StatusReport StartPendingReport();
StatusReport RunningReport();
// The stop event could not be made: stopped with the platform's error.
StatusReport NoStopEventReport(uint32_t last_error);
StatusReport StoppedReport();

// The control handler: a stop while running is reported as stop-pending and
// then signalled on the stop event; everything else is ignored (nothing).
std::optional<StatusReport> OnControl(uint32_t control, uint32_t current_state);

// Session 0 belongs to the services and 0xFFFFFFFF means no session is attached
// to the console (the log-on screen of a fast user switch): no user to serve.
bool IsNoUserSession(uint32_t session_id);

}  // namespace keepalive
