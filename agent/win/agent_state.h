// Process-wide state of the agent. Owned by the main window's thread unless a
// field says otherwise; the worker threads read the marked fields without locks.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <string>

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
  DWORD restart_clock = 0;

  std::atomic<int> stop_flag{0};               // read by the URL watcher
  std::atomic<int> outdated_support_flag{0};   // read by the URL watcher
  bool responder_wanted = false;               // keep-alive service lacks the responder
  CRITICAL_SECTION target_lock{};
  bool target_lock_ready = false;

  RecordList records;  // written here, read by the URL watcher
};

AgentState& Agent();

// Window title, tray tip and message-box title.
inline constexpr char kTrayTip[] = "Corvanta";
inline constexpr char kAlertTitle[] = "Corvanta Alert";

// Writes a text into every registered record file, forming the work folder
// first when start-up has not done so yet.
int BroadcastToRegisteredRecords(const char* text);

}  // namespace kestra
