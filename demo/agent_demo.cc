// The agent's main job, played under Wine with stand-ins for the outside
// programs: the agent starts and slides in, two protected browsers register with
// it, and the shutdown message closes them and ends the agent.
#include <windows.h>

#include <cstdio>
#include <string>

#include "core/messages.h"
#include "win_harness.h"

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

std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%X", value);
  return text;
}

}  // namespace

int main() {
  harness::KillWindowOwners(nullptr, kestra::kTitleX);
  harness::TempFolder program_folder("kestra_demo");
  std::string agent_path = program_folder / "qvTessalKestra.exe";
  if (!CopyFileA((harness::OutFolder() + "\\qvTessalKestra.exe").c_str(), agent_path.c_str(), FALSE)) {
    Fail("cannot copy the agent into " + program_folder.path());
  }
  std::string log = program_folder / "browsers.log";

  Say("Starting the agent " + agent_path);
  harness::Process agent;
  if (!agent.Start(agent_path)) Fail("the agent did not start");
  HWND window = harness::WaitForWindow(nullptr, kestra::kTitleX, 20000);
  if (window == nullptr) Fail("no window titled qvTessalKestra_X");
  Say("The agent runs as the X edition: its main window is titled \"qvTessalKestra_X\"");

  if (!harness::WaitUntil([&] { return IsWindowVisible(window) != 0; }, 20000)) {
    Fail("the main window did not slide in");
  }
  RECT r;
  GetWindowRect(window, &r);
  Say("The main window slid in at the screen corner: (" + std::to_string(r.left) + ", " +
      std::to_string(r.top) + ") to (" + std::to_string(r.right) + ", " + std::to_string(r.bottom) + ")");
  if (harness::RequestScreenshot("main-window")) Say("Screenshot of the slid-in main window saved");

  std::string work = "c:\\temp\\CVWork";
  if (harness::FolderExists(harness::AppDataFolder() + "\\TessalX")) work = harness::AppDataFolder() + "\\TessalX\\CVWork";
  if (!harness::WaitUntil([&] { return harness::FolderExists(work); }, 20000)) Fail("no work folder " + work);
  Say("Work folder ready: " + work);

  harness::Process brelgo, brelgox;
  brelgo.Start(harness::StandinFolder() + "\\Brelgo.exe", "--log \"" + log + "\" --record 101");
  brelgox.Start(harness::StandinFolder() + "\\BrelgoX.exe", "--log \"" + log + "\" --record 102");
  Say("Started the protected-browser stand-ins Brelgo.exe (class BRELGO) and BrelgoX.exe (class BRELXGO)");
  if (!harness::WaitUntil([&] {
        std::string text = harness::ReadFileText(log);
        return text.find("BRELGO registered 101") != std::string::npos &&
               text.find("BRELXGO registered 102") != std::string::npos;
      }, 20000)) {
    Fail("the browsers did not register");
  }
  Say("Both browsers registered their record numbers 101 and 102 with " + Hex(kestra::kUmRegisterRecord) +
      " (UM_REGISTER_RECORD)");
  for (int number : {101, 102}) {
    char name[32];
    std::snprintf(name, sizeof(name), "\\TESSALKESTRA_%05d", number);
    harness::WriteFileText(work + name, number == 101 ? "www.bank.co.kr|203.0.113.10|" : "www.card.co.kr|203.0.113.20|");
  }
  Say("Record files in the work folder:");
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((work + "\\TESSALKESTRA_*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::printf("      %s  \"%s\"\n", data.cFileName, harness::ReadFileText(work + "\\" + data.cFileName).c_str());
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }

  Say("Sending the shutdown message " + Hex(kestra::kUmShutdown) + " (UM_SHUTDOWN) to the agent");
  PostMessageA(window, kestra::kUmShutdown, 0, 0);
  DWORD code = 0;
  if (!agent.WaitForExit(20000, &code)) Fail("the agent did not end");
  Say("The agent ended with exit code " + std::to_string(code));
  DWORD ignored;
  brelgo.WaitForExit(10000, &ignored);
  brelgox.WaitForExit(10000, &ignored);
  Say("What the browsers received:");
  std::string text = harness::ReadFileText(log);
  std::printf("%s", text.c_str());
  bool closed = text.find("BRELGO WM_DESTROY") != std::string::npos &&
                text.find("BRELXGO WM_DESTROY") != std::string::npos;
  if (!closed || code != kestra::kShutdownExitCode) Fail("the browsers were not closed as expected");
  Say("Both protected browsers were closed by the agent's shutdown routine. Done.");
  for (int number : {101, 102}) {
    char name[32];
    std::snprintf(name, sizeof(name), "\\TESSALKESTRA_%05d", number);
    DeleteFileA((work + name).c_str());
  }
  return 0;
}
