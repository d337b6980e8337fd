// Process-wide state of the agent. Owned by the main window's thread unless a
// field says otherwise; the worker threads read the marked fields without locks.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <string>

#include "core/verdict.h"
#include "core/policy_refresh.h"
#include "core/record_files.h"
#include "core/startup_rules.h"

namespace kestra {

struct AgentState {
  Edition edition = Edition::kX;
  std::string program_path;    // the program's own full path
  std::string program_folder;  // without trailing separator
  std::string base_folder;     // read by workers
  std::string work_folder;     // read by workers
  std::string mac_text;        // read by workers
  HWND main_window = nullptr;  // read by workers
  NOTIFYICONDATAA tray{};

  std::atomic<int> stop_flag{0};               // read by the URL watcher
  std::atomic<int> outdated_support_flag{0};   // read by the URL watcher
  bool responder_wanted = false;               // keep-alive service lacks the responder

  RecordList records;  // written here, read by the URL watcher
  // Policy, target table (with the target lock), flags and tray menu model.
  PolicyState policy;
  InspectionState inspection;
  HMENU tray_menu = nullptr;
};

AgentState& Agent();

// Window title, tray tip and message-box title.
inline constexpr char kTrayTip[] = "Corvanta";
inline constexpr char kAlertTitle[] = "Corvanta Alert";

// Writes a text into every registered record file, forming the work folder
// first when start-up has not done so yet.
int BroadcastToRegisteredRecords(const char* text);

class NoticeWindow;
// The toast of refusals, or nullptr while the program has none.
NoticeWindow* TheNoticeWindow();

}  // namespace kestra
