#include "common/core/setup_paths.h"

#include "common/core/ansi_text.h"

namespace tessal {

int WindowsVersionClass(int major, int minor, bool workstation, int current) {
  if (major == 5 && minor == 0) return 5;
  if (major == 5 && minor == 1) return 0;
  if (major == 5 && minor == 2) return 6;
  if (major == 6 && (minor == 0 || minor == 1)) return workstation ? 1 : 7;
  if (major == 6 && (minor == 2 || minor == 3)) return workstation ? 2 : 8;
  // 10.0 (Windows 10 and 11) gets the class of 10.x rather than none, so that
  // 64-bit systems are not taken for 32-bit ones.
  if (major == 10) return workstation ? 3 : 8;
  return current;
}

std::string ReplaceAllAnsi(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text.compare(i, from.size(), from) == 0) {
      out.append(to);
      i += from.size();
      continue;
    }
    std::size_t step =
        (IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
    out.append(text.substr(i, step));
    i += step;
  }
  return out;
}

SpecialFolderPlan PlanSpecialFolder(int type, int all_users, int version_code) {
  using F = SpecialFolderPlan::Fallback;
  SpecialFolderPlan p;
  p.known = true;
  bool x64 = version_code > 9;
  switch (type) {
    case 0:
      p.csidl = 0x25;
      p.fallback = F::kSystemDir;
      break;
    case 1: p.csidl = all_users ? 0x19 : 0x10; break;
    case 2:
      p.csidl = 0x24;
      p.fallback = F::kWindowsDir;
      break;
    case 3: p.csidl = all_users ? 0x16 : 0x0B; break;
    case 4:
      p.csidl = 0x24;
      p.fallback = F::kWindowsDir;
      p.drive_only = true;
      break;
    case 5:
      p.csidl = 0x26;
      p.fallback = F::kProgramFiles;
      p.drop_x86 = true;
      break;
    case 6: p.csidl = all_users ? 0x23 : 0x1A; break;
    case 7:
      p.csidl = x64 ? 0x29 : 0x25;
      p.fallback = F::kSysWow64Dir;
      break;
    case 8:
      p.csidl = x64 ? 0x2A : 0x26;
      p.fallback = F::kProgramFilesX86;
      p.drop_x86 = !x64;
      break;
    default: p = SpecialFolderPlan(); break;
  }
  return p;
}

std::string FinishSpecialFolder(const SpecialFolderPlan& plan, std::string_view shell_path,
                                const SystemFolders& system) {
  using F = SpecialFolderPlan::Fallback;
  if (!plan.known) return std::string();
  std::string path(shell_path);
  if (path.empty()) {
    std::string drive = system.windows_dir.substr(0, 2);
    switch (plan.fallback) {
      case F::kNone: break;
      case F::kSystemDir: path = system.system_dir; break;
      case F::kWindowsDir: path = system.windows_dir; break;
      case F::kSysWow64Dir: path = system.syswow64_dir; break;
      case F::kProgramFiles:
        if (!drive.empty()) path = drive + "\\Program Files";
        break;
      case F::kProgramFilesX86:
        if (!drive.empty()) path = drive + "\\Program Files (x86)";
        break;
    }
  }
  if (plan.drive_only) path = path.substr(0, 2);
  if (plan.drop_x86) path = ReplaceAllAnsi(path, " (x86)", "");
  if (path.empty()) return path;
  path.push_back('\\');
  if (path.size() > kSetupFolderMax) return std::string();
  return path;
}

std::string ProtectedFolderPath(std::string_view windows_folder, std::string_view name) {
  std::string path(windows_folder);
  path.append(name);
  path.push_back('\\');
  if (path.size() > kSetupFolderMax) return std::string();
  return path;
}

}  // namespace tessal
