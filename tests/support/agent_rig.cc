#include "agent_rig.h"

#include <cstdio>

#include "core/messages.h"
#include "core/record_files.h"
#include "core/scrambled_file.h"

namespace harness {

std::string PolicyReply(const std::initializer_list<PolicySite>& sites) {
  std::string reply = "<result>0</result>";
  for (const PolicySite& s : sites) {
    reply += "<observationtarget><companyid>" + s.company_id + "</companyid><companymainurl>" + s.url +
             "</companymainurl><companymainipaddress>" + s.ip + "</companymainipaddress>"
             "<agentactivationoption>" + std::to_string(s.activation) + "</agentactivationoption>"
             "<agentterminationoption>" + std::to_string(s.termination) + "</agentterminationoption>" +
             s.extra + "</observationtarget>";
  }
  return reply;
}

AgentRig::AgentRig(const std::string& name) : folder_(name) {}

AgentRig::~AgentRig() {
  StopAgent();
  sim_.Stop();
}

std::string AgentRig::WorkFolder() {
  if (FolderExists(AppDataFolder() + "\\TessalX")) return AppDataFolder() + "\\TessalX\\CVWork";
  return "c:\\temp\\CVWork";
}

bool AgentRig::Prepare(std::string* error, const char* file_name) {
  program_ = folder_ / file_name;
  if (!CopyFileA((OutFolder() + "\\qvTessalKestra.exe").c_str(), program_.c_str(), FALSE) ||
      !CopyFileA((StandinFolder() + "\\qvTessalOlvar.dll").c_str(), (folder_ / "qvTessalOlvar.dll").c_str(),
                 FALSE)) {
    *error = "cannot install the agent and the communication library in " + folder_.path();
    return false;
  }
  std::string sim_program = OutFolder();
  sim_program.replace(sim_program.rfind("win64"), 5, "linux\\standins\\corvanta_mgmt_sim");
  if (!sim_.Start(sim_program, folder_ / "sim", 600, 15000, error)) return false;
  std::string settings = "<CV_SERVER>127.0.0.1</CV_SERVER><CV_OBJECT>/CommandService</CV_OBJECT><CV_PORT>" +
                         std::to_string(sim_.port()) + "</CV_PORT>";
  // The fallback settings beside the program; the system folder's copy must not exist.
  DeleteFileA("C:\\windows\\syswow64\\Brelmap.dll");
  return WriteFileText(folder_ / "Brelmap_tmp.dll", kestra::Scramble(settings));
}

void AgentRig::SetPolicy(const std::string& reply) { WriteFileText(sim_.policy_path(), reply); }

bool AgentRig::StartAgent(const char* title) {
  if (!agent_.Start(program_)) return false;
  window_ = WaitForWindow(nullptr, title, 20000);
  return window_ != nullptr;
}

bool AgentRig::WaitForPolicy(DWORD timeout_ms) {
  return WaitUntil([&] { return FileExists(folder_ / "Kestra.ini"); }, timeout_ms);
}

std::string AgentRig::RecordPath(int number) const { return kestra::RecordFileName(WorkFolder(), number); }

std::string AgentRig::EvidencePath(const std::string& host, int number) const {
  return kestra::EvidenceFileName(WorkFolder(), host, number);
}

void AgentRig::Ask(int number, const std::string& host, const std::string& addr, const std::string& evidence) {
  if (!evidence.empty()) WriteFileText(EvidencePath(host, number), evidence);
  WriteFileText(RecordPath(number), host + "|" + addr + "|");
  PostMessageA(window_, kestra::kUmInspectRecord, static_cast<WPARAM>(number), 0);
}

std::string AgentRig::WaitForAnswer(int number, const std::string& asked, DWORD timeout_ms) {
  std::string text;
  WaitUntil([&] {
    text = ReadFileText(RecordPath(number));
    return !text.empty() && text != asked;
  }, timeout_ms);
  return text == asked ? "" : text;
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
  WaitUntil([&] {
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&s));
    return s.found != nullptr;
  }, timeout_ms);
  return s.found;
}

HWND WaitForTitledWindow(DWORD process_id, const wchar_t* title, DWORD timeout_ms) {
  DialogSearch s{process_id, 0, title, nullptr};
  WaitUntil([&] {
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&s));
    return s.found != nullptr;
  }, timeout_ms);
  return s.found;
}

std::wstring ControlText(HWND dialog, int control_id) {
  wchar_t text[2048] = L"";
  GetDlgItemTextW(dialog, control_id, text, 2048);
  return text;
}

std::wstring MessageBoxText(HWND box) { return ControlText(box, 0xFFFF); }

}  // namespace harness
