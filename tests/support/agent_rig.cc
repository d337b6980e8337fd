#include "tests/support/agent_rig.h"

#include <cstdio>

#include "agent/core/messages.h"
#include "agent/core/record_files.h"
#include "agent/core/scrambled_file.h"
#include "tests/support/menu_probe.h"

namespace harness {

std::string PolicyReply(const std::initializer_list<PolicySite>& sites) {
  std::string reply = "<result>0</result>";
  for (const PolicySite& s : sites) {
    reply += "<observationtarget><companyid>" + s.company_id + "</companyid><companymainurl>" +
             s.url + "</companymainurl><companymainipaddress>" + s.ip +
             "</companymainipaddress>"
             "<agentactivationoption>" +
             std::to_string(s.activation) +
             "</agentactivationoption>"
             "<agentterminationoption>" +
             std::to_string(s.termination) + "</agentterminationoption>" + s.extra +
             "</observationtarget>";
  }
  return reply;
}

AgentRig::AgentRig(const std::string& name) : scratch_(name) {}

AgentRig::~AgentRig() {
  StopAgent();
  sim_.Stop();
}

std::string AgentRig::WorkFolder() {
  if (FolderExists(AppDataFolder() + "\\TessalX")) return AppDataFolder() + "\\TessalX\\CVWork";
  return "c:\\temp\\CVWork";
}

bool AgentRig::Prepare(std::string* error, const char* file_name) {
  folder_ = scratch_.path();
  program_ = folder_ + "\\" + file_name;
  if (!CopyFileA((OutFolder() + "\\qvTessalKestra.exe").c_str(), program_.c_str(), FALSE)) {
    *error = "cannot install the agent in " + folder_;
    return false;
  }
  return InstallStandins(error);
}

bool AgentRig::PrepareInstalled(const std::string& folder, std::string* error) {
  folder_ = folder;
  program_ = folder_ + "\\qvTessalKestra.exe";
  if (!FileExists(program_)) {
    *error = "no agent is installed in " + folder_;
    return false;
  }
  return InstallStandins(error);
}

bool AgentRig::InstallStandins(std::string* error) {
  if (!CopyFileA((StandinFolder() + "\\qvTessalOlvar.dll").c_str(),
                 (folder_ + "\\qvTessalOlvar.dll").c_str(), FALSE)) {
    *error = "cannot install the communication library in " + folder_;
    return false;
  }
  std::string sim_program = OutFolder();
  sim_program.replace(sim_program.rfind("win64"), 5, "linux\\standins\\corvanta_mgmt_sim");
  if (!sim_.Start(sim_program, scratch_ / "sim", 600, 15000, error)) return false;
  std::string settings =
      "<CV_SERVER>127.0.0.1</CV_SERVER><CV_OBJECT>/CommandService</CV_OBJECT><CV_PORT>" +
      std::to_string(sim_.port()) + "</CV_PORT>";
  // The fallback settings beside the program; the system folder's copy must not exist.
  DeleteFileA("C:\\windows\\syswow64\\Brelmap.dll");
  return WriteFileText(folder_ + "\\Brelmap_tmp.dll", kestra::Scramble(settings));
}

void AgentRig::SetPolicy(const std::string& reply) { WriteFileText(sim_.policy_path(), reply); }

bool AgentRig::StartAgent(const char* title) {
  // Read by the menu probe inside the agent (see TrayMenu).
  SetEnvironmentVariableA("TESSAL_MENU_DUMP", (scratch_ / "menu.txt").c_str());
  bool started = agent_.Start(program_);
  SetEnvironmentVariableA("TESSAL_MENU_DUMP", nullptr);
  if (!started) return false;
  window_ = WaitForWindow(nullptr, title, 20000);
  return window_ != nullptr;
}

bool AgentRig::AttachAgent(DWORD timeout_ms, const char* title) {
  window_ = WaitForWindow(nullptr, title, timeout_ms);
  DWORD process_id = 0;
  if (window_ != nullptr) GetWindowThreadProcessId(window_, &process_id);
  return process_id != 0 && agent_.Attach(process_id);
}

bool AgentRig::WaitForPolicy(DWORD timeout_ms) {
  return WaitUntil([&] { return FileExists(folder_ + "\\Kestra.ini"); }, timeout_ms);
}

std::string AgentRig::RecordPath(int number) const {
  return kestra::RecordFileName(WorkFolder(), number);
}

std::string AgentRig::EvidencePath(const std::string& host, int number) const {
  return kestra::EvidenceFileName(WorkFolder(), host, number);
}

void AgentRig::Ask(int number, const std::string& host, const std::string& addr,
                   const std::string& evidence) {
  if (!evidence.empty()) WriteFileText(EvidencePath(host, number), evidence);
  WriteFileText(RecordPath(number), host + "|" + addr + "|");
  PostMessageA(window_, kestra::kUmInspectRecord, static_cast<WPARAM>(number), 0);
}

std::string AgentRig::WaitForAnswer(int number, const std::string& asked, DWORD timeout_ms) {
  std::string text;
  WaitUntil(
      [&] {
        text = ReadFileText(RecordPath(number));
        return !text.empty() && text != asked;
      },
      timeout_ms);
  return text == asked ? "" : text;
}

std::vector<std::string> AgentRig::TrayMenu() {
  std::vector<std::string> items;
  HMODULE probe = LoadLibraryA((StandinFolder() + "\\menu_probe.dll").c_str());
  auto hook_proc =
      probe ? reinterpret_cast<HOOKPROC>(GetProcAddress(probe, "MenuProbeHook")) : nullptr;
  DWORD thread = GetWindowThreadProcessId(window_, nullptr);
  HHOOK hook = hook_proc ? SetWindowsHookExA(WH_GETMESSAGE, hook_proc, probe, thread) : nullptr;
  std::string dump = scratch_ / "menu.txt";
  DeleteFileA(dump.c_str());
  SetCursorPos(900, 700);
  PostMessageA(window_, kestra::kUmTrayNotify, 0, WM_RBUTTONUP);
  HWND popup = WaitForWindow("#32768", nullptr, 10000);
  if (hook != nullptr && popup != nullptr &&
      WaitUntil([&] { return IsWindowVisible(popup) != 0; }, 5000)) {
    PostMessageA(window_, WM_NULL, kMenuProbeMagic, 0);
    if (WaitUntil([&] { return FileExists(dump); }, 5000)) {
      std::string text = ReadFileText(dump);
      std::size_t at = 0;
      while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        items.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
      }
    }
  }
  PostMessageA(window_, WM_CANCELMODE, 0, 0);
  if (popup != nullptr) WaitUntil([&] { return !IsWindowVisible(popup); }, 5000);
  if (hook != nullptr) UnhookWindowsHookEx(hook);
  if (probe != nullptr) FreeLibrary(probe);
  return items;
}

std::string AgentRig::SimLog() const { return ReadFileText(sim_.log_path()); }

bool AgentRig::WaitForSimLog(const std::string& fragment, DWORD timeout_ms) const {
  return WaitUntil([&] { return SimLog().find(fragment) != std::string::npos; }, timeout_ms);
}

void AgentRig::StopAgent() {
  if (!agent_.running()) return;
  if (window_ != nullptr) PostMessageA(window_, kestra::kUmShutdown, 0, 0);
  DWORD code = 0;
  if (!agent_.WaitForExit(10000, &code)) agent_.Kill();
}

namespace {

struct DialogSearch {
  DWORD pid;
  int control;
  const wchar_t* title;
  HWND found;
};

BOOL CALLBACK FindDialog(HWND w, LPARAM lp) {
  auto* s = reinterpret_cast<DialogSearch*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid != s->pid || !IsWindowVisible(w)) return TRUE;
  if (s->title != nullptr) {
    wchar_t title[256] = L"";
    GetWindowTextW(w, title, 256);
    if (wcscmp(title, s->title) != 0) return TRUE;
  } else if (GetDlgItem(w, s->control) == nullptr) {
    return TRUE;
  }
  s->found = w;
  return FALSE;
}

}  // namespace

HWND WaitForDialogWithControl(DWORD process_id, int control_id, DWORD timeout_ms) {
  DialogSearch s{process_id, control_id, nullptr, nullptr};
  WaitUntil(
      [&] {
        EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&s));
        return s.found != nullptr;
      },
      timeout_ms);
  return s.found;
}

HWND WaitForTitledWindow(DWORD process_id, const wchar_t* title, DWORD timeout_ms) {
  DialogSearch s{process_id, 0, title, nullptr};
  WaitUntil(
      [&] {
        EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&s));
        return s.found != nullptr;
      },
      timeout_ms);
  return s.found;
}

std::wstring ControlText(HWND dialog, int control_id) {
  wchar_t text[2048] = L"";
  GetDlgItemTextW(dialog, control_id, text, 2048);
  return text;
}

std::wstring MessageBoxText(HWND box) { return ControlText(box, 0xFFFF); }

}  // namespace harness
