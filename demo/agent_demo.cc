// The agent's main job, played under Wine on the installed suite with
// stand-ins for the outside programs: the keep-alive service starts the agent
// through the launcher and the protected-start stand-in; a bank's page in
// headless Chromium asks the presence responder whether the suite is
// installed; the management-server simulator serves a policy of three
// organisations, two protected browsers register, ask about sites and get
// their verdicts; a pharmed address is refused, alerted, reported and, on the
// user's "예", every registered browser is told to close; a tampered hosts file
// is repaired with a backup.
//   agent_demo INSTALLED_FOLDER
#include "common/win/platform.h"

#include <cstdio>
#include <string>

#include "agent/core/messages.h"
#include "standins/mgmt_sim/win/sim_process.h"
#include "tests/support/agent_rig.h"
#include "tests/support/win_harness.h"

namespace {

int g_step = 0;

void Say(const std::string& text) {
  std::printf("%2d. %s\n", ++g_step, text.c_str());
  std::fflush(stdout);
}

[[noreturn]] void Fail(const std::string& text) {
  std::printf("FAILED: %s\n", text.c_str());
  std::fflush(stdout);
  std::exit(1);
}

std::string Narrow(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
  for (char& c : out) {
    if (c == '\r') c = ' ';
    if (c == '\n') c = ' ';
  }
  return out;
}

bool LogHas(const std::string& log, const char* line) {
  return harness::ReadFileText(log).find(line) != std::string::npos;
}

void ShowLines(const std::string& text, const char* prefix) {
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::printf("      %s%s\n", prefix, text.substr(at, end - at).c_str());
    at = end + 1;
  }
  std::fflush(stdout);
}

const char kHostsFolder[] = "C:\\windows\\system32\\drivers\\etc\\";

// Malware points a protected site at its own server in the hosts file; the
// agent's folder watch finds it, backs the file up and takes the line out.
void ShowHostsGuard(const harness::AgentRig& rig) {
  std::string hosts = std::string(kHostsFolder) + "hosts";
  std::string saved = harness::ReadFileText(hosts);
  DeleteFileA((std::string(kHostsFolder) + "hosts_backup").c_str());  // left by an earlier run
  std::string clean = "# the PC's own entries\r\n127.0.0.1       localhost\r\n";
  std::string tampered = clean + "10.66.6.6       www.kbank.co.kr\r\n";
  harness::WriteFileText(hosts, tampered);
  Say("Malware writes a line into the hosts file that sends www.kbank.co.kr to 10.66.6.6:");
  ShowLines(tampered, "hosts: ");
  ULONGLONG start = GetTickCount64();
  if (!harness::WaitUntil([&] { return harness::ReadFileText(hosts) == clean; }, 10000))
    Fail("the hosts file was not repaired");
  Say("The agent's folder watch repaired it " + std::to_string(GetTickCount64() - start) +
      " ms later; the other lines are as they were:");
  ShowLines(harness::ReadFileText(hosts), "hosts: ");
  Say("The original is kept beside it as hosts_backup:");
  ShowLines(harness::ReadFileText(std::string(kHostsFolder) + "hosts_backup"), "hosts_backup: ");
  if (rig.WaitForSimLog(u8"호스트파일 파밍시도")) {
    std::string sim = rig.SimLog();
    std::size_t at = sim.find(u8"호스트파일 파밍시도");
    at = sim.rfind('\n', at) + 1;
    Say("The event reached the management server:");
    ShowLines(sim.substr(at, sim.find('\n', at) - at), "");
  }
  harness::WriteFileText(hosts, saved);
  DeleteFileA((std::string(kHostsFolder) + "hosts_backup").c_str());
}

// The outside programs' stand-ins beside the installed suite: the protected-start
// stand-in with the marker that makes it start the agent, as the real one does.
void PutProtectedStartBeside(const std::string& folder) {
  if (!CopyFileA((harness::StandinFolder() + "\\qvTarnwick.exe").c_str(),
                 (folder + "\\qvTarnwick.exe").c_str(), FALSE) ||
      !harness::WriteFileText(folder + "\\qvTarnwick.start", "")) {
    Fail("cannot put the protected-start stand-in into " + folder);
  }
}

// A bank's page in headless Chromium (a Linux program, started through Wine)
// asks the service's responder whether the suite is installed, trusting only
// the root that the PC made at install.
void ShowPresencePage(const std::string& folder, const harness::TempFolder& scratch) {
  std::string out = harness::OutFolder();
  std::string script =
      mgmt_sim::UnixPathOf(out.substr(0, out.rfind("\\out\\")) + "\\demo\\presence_page.sh");
  char shots[MAX_PATH] = "";
  GetEnvironmentVariableA("TESSAL_SHOTS", shots, sizeof(shots));
  std::string result = scratch / "page.txt";
  std::string error;
  if (!mgmt_sim::StartLinuxProgram(
          "Z:\\bin\\bash",
          "/bin/bash \"" + script + "\" \"" + mgmt_sim::UnixPathOf(folder + "\\jsxCVsc.cer") +
              "\" \"" + mgmt_sim::UnixPathOf(shots) + "\" \"" + mgmt_sim::UnixPathOf(result) + "\"",
          &error)) {
    Fail("the page could not be shown: " + error);
  }
  if (!harness::WaitUntil([&] { return harness::FileExists(result); }, 120000))
    Fail("the page did not load");
  Say("A bank's page in headless Chromium, trusting only the root this PC made at install "
      "(jsxCVsc.cer), "
      "asks https://localhost:12500 whether the suite is installed:");
  ShowLines(harness::ReadFileText(result), "page: ");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) Fail("usage: agent_demo INSTALLED_FOLDER");
  std::string folder = argv[1];
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  harness::TempFolder scratch("kestra_demo_logs");

  harness::AgentRig rig("kestra_demo");
  std::string error;
  if (!rig.PrepareInstalled(folder, &error)) Fail(error);
  rig.SetPolicy(harness::PolicyReply({
      {"KBANK", "https://www.kbank.co.kr", "203.0.113.10", 1, 0,
       "<companyuseurls>m.kbank.co.kr</companyuseurls><companyuseipaddresss>203.0.113.11</"
       "companyuseipaddresss>"},
      {"HCARD", "https://www.hcard.co.kr", "203.0.113.20", 1, 0, ""},
      {"SSEC", "https://www.ssec.co.kr", "203.0.113.30", 1, 1, ""},
  }));
  Say("The management-server simulator serves a policy of three organisations: KBANK, HCARD, SSEC");
  PutProtectedStartBeside(folder);
  Say("Beside the installed suite in " + folder +
      " the demo puts the stand-ins of two outside programs: the "
      "communication library qvTessalOlvar.dll, pointed at the simulator, and the protected-start "
      "program "
      "qvTarnwick.exe");

  ULONGLONG start = GetTickCount64();
  if (!rig.AttachAgent(75000)) Fail("the keep-alive service did not start the agent");
  Say("The service \"Corvanta BrontelMon\", which looks every 30 s for the suite's programs, "
      "started qvTolvenz.exe "
      "in the user's session " +
      std::to_string((GetTickCount64() - start) / 1000) +
      " s later; qvTolvenz started qvTarnwick.exe, which started the agent:");
  ShowLines(harness::ReadFileText(folder + "\\qvTarnwick.log"), "");
  Say("The agent's window is titled \"qvTessalKestra_X\"");
  HWND window = rig.window();
  if (harness::WaitUntil([&] { return IsWindowVisible(window) != 0; }, 20000)) {
    if (harness::RequestScreenshot("main-window"))
      Say("The main window slid in at the screen corner (screenshot)");
  }
  if (!rig.WaitForPolicy()) Fail("the agent loaded no policy");
  Say("The agent loaded the policy from the simulator and cached it in Kestra.ini");
  ShowPresencePage(folder, scratch);

  std::string log = scratch / "browsers.log";
  harness::Process brelgo, brelgox;
  brelgo.Start(harness::StandinFolder() + "\\Brelgo.exe", "--log \"" + log + "\" --record 101");
  brelgox.Start(harness::StandinFolder() + "\\BrelgoX.exe", "--log \"" + log + "\" --record 102");
  Say("Started the protected-browser stand-ins Brelgo.exe (class BRELGO) and BrelgoX.exe (class "
      "BRELXGO)");
  if (!harness::WaitUntil(
          [&] {
            return LogHas(log, "BRELGO registered 101") && LogHas(log, "BRELXGO registered 102");
          },
          20000)) {
    Fail("the browsers did not register");
  }
  Say("Both browsers registered their record numbers 101 and 102");

  SetCursorPos(900, 700);
  PostMessageA(window, kestra::kUmTrayNotify, 0, WM_RBUTTONUP);
  if (HWND menu = harness::WaitForWindow("#32768", nullptr, 10000)) {
    Sleep(300);
    if (harness::RequestScreenshot("tray-menu"))
      Say("The tray menu lists the three sites, the policy time and the engine update "
          "(screenshot)");
    PostMessageA(window, WM_CANCELMODE, 0, 0);
    harness::WaitUntil([&] { return !IsWindowVisible(menu); }, 5000);
  }

  std::string asked = "www.kbank.co.kr|203.0.113.10|";
  rig.Ask(101, "www.kbank.co.kr", "203.0.113.10");
  Say("Browser 101 asks about www.kbank.co.kr at 203.0.113.10: the agent answers \"" +
      rig.WaitForAnswer(101, asked) + "\"");
  asked = "www.example.com|198.51.100.7|";
  rig.Ask(102, "www.example.com", "198.51.100.7");
  Say("Browser 102 asks about www.example.com: the agent answers \"" +
      rig.WaitForAnswer(102, asked) + "\"");

  rig.Ask(101, "www.hcard.co.kr", "10.66.6.6", "<HASH>0</HASH>");
  Say("Browser 101 asks about www.hcard.co.kr at 10.66.6.6, a pharmed address");
  HWND toast = harness::WaitForDialogWithControl(rig.agent().id(), 1002, 15000);
  if (toast == nullptr) Fail("no toast");
  Say("The record file keeps the request (verdict NOT) and the toast slides in: \"" +
      Narrow(harness::ControlText(toast, 1005)) + "\" / \"" +
      Narrow(harness::ControlText(toast, 1002)) + "\"");
  Sleep(500);
  harness::RequestScreenshot("toast");
  if (!harness::WaitUntil(
          [&] {
            return LogHas(log, "BRELGO UM_BROWSER_ALERT") &&
                   LogHas(log, "BRELXGO UM_BROWSER_ALERT");
          },
          10000)) {
    Fail("the browsers were not signalled");
  }
  Say("Both browser windows received UM_BROWSER_ALERT (0x2727)");
  if (!rig.WaitForSimLog("CVComm_Log")) Fail("no event at the simulator");
  Say("The event reached the management server:");
  std::string sim = rig.SimLog();
  std::size_t at = sim.find("CVComm_Log");
  ShowLines(sim.substr(at, sim.find('\n', at) - at), "");

  HWND alert = harness::WaitForDialogWithControl(rig.agent().id(), 1008, 15000);
  if (alert == nullptr) Fail("no alert box");
  Say("3 s later the alert box asks: \"" + Narrow(harness::ControlText(alert, 1008)) + "\"");
  Sleep(300);
  harness::RequestScreenshot("alert");
  PostMessageA(alert, WM_COMMAND, IDOK, 0);
  Say(u8"The user answers \"예\"");
  if (!harness::WaitUntil(
          [&] { return LogHas(log, "BRELGO TERMINATE") && LogHas(log, "BRELXGO TERMINATE"); },
          20000)) {
    Fail("the browsers were not told to close");
  }
  Say("Every registered browser found <TERMINATE></TERMINATE> in its record file and closed. "
      "Browser log:");
  ShowLines(harness::ReadFileText(log), "");

  ShowHostsGuard(rig);

  // Once the agent has ended, the service's chain must not start it again.
  DeleteFileA((folder + "\\qvTarnwick.start").c_str());
  DeleteFileA((folder + "\\qvTarnwick.exe").c_str());
  rig.StopAgent();
  DWORD code = 0;
  rig.agent().WaitForExit(10000, &code);
  Say("The agent ended through its shutdown routine with exit code " + std::to_string(code) +
      ". Done.");
  return 0;
}
