// An agent installed in a program folder of its own with the stand-ins it talks
// to: the communication library pointed at a management-server simulator that
// serves a policy the test writes. Shared by the end-to-end tests and the demo.
#pragma once

#include "common/win/platform.h"

#include <string>
#include <vector>

#include "standins/mgmt_sim/win/sim_process.h"
#include "tests/support/win_harness.h"

namespace harness {

// One "<observationtarget>" block.
struct PolicySite {
  std::string company_id;
  std::string url;  // companymainurl
  std::string ip;   // companymainipaddress
  int activation = 1;
  int termination = 0;
  std::string extra;  // further tags, written as given
};
std::string PolicyReply(const std::initializer_list<PolicySite>& sites);

class AgentRig {
 public:
  explicit AgentRig(const std::string& name = "kestra_rig");
  ~AgentRig();

  // Program folder with the agent (under file_name) and the communication
  // library, settings pointing at a fresh simulator. False with a reason.
  bool Prepare(std::string* error, const char* file_name = "qvTessalKestra.exe");
  // The same beside an agent installed in `folder`, which the PC's own chain
  // starts (see AttachAgent).
  bool PrepareInstalled(const std::string& folder, std::string* error);
  void SetPolicy(const std::string& reply);
  bool StartAgent(const char* title = "qvTessalKestra_X");
  // Waits for the window of an agent that something else started and takes its process.
  bool AttachAgent(DWORD timeout_ms, const char* title = "qvTessalKestra_X");
  // The first good refresh has written the policy cache.
  bool WaitForPolicy(DWORD timeout_ms = 20000);
  HWND window() const { return window_; }
  std::string program_folder() const { return folder_; }
  std::string program_path() const { return program_; }
  static std::string WorkFolder();

  std::string RecordPath(int number) const;
  std::string EvidencePath(const std::string& host, int number) const;
  // Writes "host|addr|" (and evidence when given) and posts UM_INSPECT_RECORD.
  void Ask(int number, const std::string& host, const std::string& addr,
           const std::string& evidence = "");
  // The record's content once it differs from what was asked, or "" after timeout_ms.
  std::string WaitForAnswer(int number, const std::string& asked, DWORD timeout_ms = 8000);

  // Opens the tray menu, reads its items ("<command> <text>", "-" for a
  // separator) and closes it again; empty when the menu could not be read.
  std::vector<std::string> TrayMenu();

  std::string SimLog() const;
  bool WaitForSimLog(const std::string& utf8_fragment, DWORD timeout_ms = 10000) const;

  Process& agent() { return agent_; }
  // Ends the agent through its shutdown message (or by force).
  void StopAgent();

 private:
  // Beside the agent: the communication library and its settings.
  bool InstallStandins(std::string* error);

  TempFolder scratch_;  // the simulator's files, the menu probe's dump
  std::string folder_;  // the agent's program folder
  std::string program_;
  mgmt_sim::SimulatorProcess sim_;
  Process agent_;
  HWND window_ = nullptr;
};

// A top-level window of another process: a dialog (class #32770) whose control
// `control_id` exists; nullptr when none appears within timeout_ms.
HWND WaitForDialogWithControl(DWORD process_id, int control_id, DWORD timeout_ms);
std::wstring ControlText(HWND dialog, int control_id);
// Windows titled `title` owned by the process (message boxes).
HWND WaitForTitledWindow(DWORD process_id, const wchar_t* title, DWORD timeout_ms);
// Text of a message box (its static control 0xFFFF).
std::wstring MessageBoxText(HWND box);

}  // namespace harness
