// Rules that the setup manifest library and the installation information library
// share: the class of the running Windows, which special folder a folder type
// means, CP949-aware text replacement and the protected-folder path.
#pragma once

#include <string>
#include <string_view>

namespace tessal {

// Folder paths handed out by the setup libraries hold at most this many bytes.
inline constexpr std::size_t kSetupFolderMax = 259;

// Class of a Windows version (major.minor, workstation product type or not);
// versions without a class keep `current`.
int WindowsVersionClass(int major, int minor, bool workstation, int current);
// Adds 10 on a system whose native processor architecture is x64.
inline int WithArchitecture(int code, bool x64) { return x64 ? code + 10 : code; }

// Replaces every occurrence of `from` by `to`, scanning left to right at
// character boundaries of the 8-bit text (a double-byte character is never
// split); inserted text is not scanned again. An empty `from` changes nothing.
std::string ReplaceAllAnsi(std::string_view text, std::string_view from, std::string_view to);

// What a folder type of the special-folder lookup asks of the system.
struct SpecialFolderPlan {
  enum class Fallback {
    kNone,
    kSystemDir,
    kWindowsDir,
    kProgramFiles,
    kProgramFilesX86,
    kSysWow64Dir
  };
  bool known = false;
  int csidl = -1;
  Fallback fallback = Fallback::kNone;
  bool drive_only = false;  // cut to the drive, as in C:
  bool drop_x86 = false;    // every " (x86)" removed
};
SpecialFolderPlan PlanSpecialFolder(int type, int all_users, int version_code);

// The folders the system gave, for the fallbacks.
struct SystemFolders {
  std::string system_dir;
  std::string windows_dir;
  std::string syswow64_dir;
};
// Picks the shell's answer or the fallback, applies the plan's trimming and
// appends a backslash. Empty when nothing was found or the result would not fit
// in kSetupFolderMax bytes.
std::string FinishSpecialFolder(const SpecialFolderPlan& plan, std::string_view shell_path,
                                const SystemFolders& system);

// "<windows folder><name>\" ; empty when it would not fit in kSetupFolderMax bytes.
std::string ProtectedFolderPath(std::string_view windows_folder, std::string_view name);

}  // namespace tessal
