// Process-wide state of the agent. Owned by the main window's thread unless a
// field says otherwise; the worker threads read the marked fields without locks.
#pragma once

#include "common/win/platform.h"
#include <shellapi.h>

#include <atomic>
#include <string>

#include "agent/core/policy_refresh.h"
#include "agent/core/record_files.h"
#include "agent/core/startup_rules.h"
#include "agent/core/verdict.h"
#include "common/core/safe_folder.h"
#include "common/win/scoped_handle.h"

namespace kestra {

struct AgentState {
  Edition edition = Edition::kX;
  std::string program_path;    // the program's own full path
  std::string program_folder;  // without trailing separator
  // Set once at start-up, before any worker starts, and never written again
  // while workers run: the workers read them without locks.
  std::string base_folder;
  std::string work_folder;
  tessal::SafeFolder base;  // the base folder, held
  tessal::SafeFolder work;  // the work folder, held: every record file is reached through it
  std::string mac_text;
  HWND main_window = nullptr;  // read by workers
  NOTIFYICONDATAA tray{};

  std::atomic<int> stop_flag{0};              // read by the URL watcher
  std::atomic<int> outdated_support_flag{0};  // read by the URL watcher
  bool responder_wanted = false;              // keep-alive service lacks the responder

  RecordList records;  // written here, read by the URL watcher
  // Policy, target table (with the target lock), flags and tray menu model.
  PolicyState policy;
  InspectionState inspection;
  tessal::ScopedMenu tray_menu;
};

AgentState& Agent();

// Window title, tray tip and message-box title.
inline constexpr char kTrayTip[] = "Corvanta";
inline constexpr char kAlertTitle[] = "Corvanta Alert";

class Toast;
// The toast of refusals, or nullptr while the program has none.
Toast* TheToast();

}  // namespace kestra
