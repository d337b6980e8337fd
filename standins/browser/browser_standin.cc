// Stand-in for the protected-browser programs. Its window class comes from its
// own file name (Brelgo, BrelgoX, BrelgoR, BrelgoRX), like the real programs'.
// It also plays the requester: it registers a record number, asks the agent
// about sites through its record file and follows what the agent writes there.
// Every message from the agent and every step is appended to a log file as
// "<CLASS> <event>" so that tests can assert on it.
//
//   Brelgo.exe [--log FILE] [--record N]
//              [--inspect HOST ADDR [--cert TEXT] [--hash TEXT]]... [--delay MS]
//              [--verdict-ms MS] [--release-at-exit]
#include "common/win/platform.h"
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "agent/core/messages.h"
#include "agent/core/record_files.h"
#include "agent/core/startup_rules.h"
#include "common/core/ansi_text.h"
#include "common/core/file_io.h"
#include "standins/browser/core/requester.h"

namespace {

constexpr UINT_PTR kRegisterTimer = 1;
constexpr UINT_PTR kWatchTimer = 2;

std::string g_log;
std::string g_class;
brelgo::Options g_options;
std::string g_work;
brelgo::RecordWatch g_watch;
bool g_registered = false;
std::size_t g_next_request = 0;
ULONGLONG g_next_at = 0;

void Log(const std::string& line) {
  if (g_log.empty()) return;
  FILE* f = std::fopen(g_log.c_str(), "ab");
  if (f == nullptr) return;
  std::fprintf(f, "%s %s\n", g_class.c_str(), line.c_str());
  std::fclose(f);
}

std::string ClassFromFileName() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string lower = tessal::LowerAnsi(path);
  std::size_t sep = lower.find_last_of("\\/");
  std::string name = lower.substr(sep == std::string::npos ? 0 : sep + 1);
  if (name.rfind("brelgorx", 0) == 0) return kestra::kBrowserClassR64;
  if (name.rfind("brelgor", 0) == 0) return kestra::kBrowserClassR32;
  if (name.rfind("brelgox", 0) == 0) return kestra::kBrowserClassX64;
  return kestra::kBrowserClassX32;
}

// The agent's work folder, found as the agent finds it.
std::string WorkFolder() {
  char appdata[MAX_PATH] = "";
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appdata))) {
    return kestra::WorkFolderOf(kestra::ChooseBaseFolder("", false));
  }
  bool exists = tessal::FolderExists(kestra::TessalXFolder(appdata));
  return kestra::WorkFolderOf(kestra::ChooseBaseFolder(appdata, exists));
}

HWND FindAgent() {
  bool r = g_class == kestra::kBrowserClassR32 || g_class == kestra::kBrowserClassR64;
  return FindWindowA(nullptr, r ? kestra::kTitleR : kestra::kTitleX);
}

struct Look {
  std::optional<std::string> content;
  uint64_t stamp = 0;
};

// Reads the record file without keeping the agent from writing it.
Look LookAtRecord() {
  tessal::File file =
      tessal::SafeFolder::Hold(g_work).OpenForRead(kestra::RecordFileLeaf(g_options.record));
  if (!file.valid()) return {};
  FILETIME written{};
  GetFileTime(file.get(), nullptr, nullptr, &written);
  std::string text;
  if (!file.ReadAtMost(4096, &text)) return {};
  return {text, (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime};
}

void IssueRequest() {
  const brelgo::Request& request = g_options.requests[g_next_request++];
  std::string evidence = brelgo::EvidenceText(request);
  bool evidence_written =
      evidence.empty() ||
      tessal::WriteWholeFile(kestra::EvidenceFileName(g_work, request.host, g_options.record),
                             evidence);
  std::string text = brelgo::RecordText(request);
  bool record_written = kestra::WriteRecordFile(tessal::SafeFolder::Hold(g_work), g_options.record,
                                                text) == tessal::OpenStatus::kOpened;
  // Logged once the files are written: a reader of the log finds them in place.
  char line[64];
  std::snprintf(line, sizeof(line), "inspect %d ", g_options.record);
  Log(line + request.host + " " + request.address);
  if (!evidence_written) Log("evidence not written");
  if (!record_written) {
    Log("record not written");
    return;
  }
  Look look = LookAtRecord();
  g_watch.Requested(text, look.stamp, GetTickCount64(), g_options.verdict_ms);
  HWND agent = FindAgent();
  if (agent == nullptr) {
    Log("no agent window");
    return;
  }
  PostMessageA(agent, kestra::kUmInspectRecord, static_cast<WPARAM>(g_options.record), 0);
}

void Register(HWND hwnd) {
  HWND agent = FindAgent();
  if (agent == nullptr) return;
  Look before = LookAtRecord();
  g_watch.Poll(before.content, before.stamp, GetTickCount64());
  PostMessageA(agent, kestra::kUmRegisterRecord, static_cast<WPARAM>(g_options.record), 0);
  g_registered = true;
  char line[64];
  std::snprintf(line, sizeof(line), "registered %d", g_options.record);
  Log(line);
  KillTimer(hwnd, kRegisterTimer);
  g_next_at = GetTickCount64() + static_cast<ULONGLONG>(g_options.delay_ms);
  SetTimer(hwnd, kWatchTimer, 50, nullptr);
}

void Watch() {
  Look look = LookAtRecord();
  ULONGLONG now = GetTickCount64();
  brelgo::RecordWatch::Step step = g_watch.Poll(look.content, look.stamp, now);
  for (const std::string& line : step.lines) Log(line);
  if (step.terminate) {
    // Closing as the real browser does when told to; no WM_DESTROY of our own,
    // so the log keeps "WM_DESTROY" for what the agent sends.
    PostQuitMessage(0);
    return;
  }
  if (step.verdict_settled) g_next_at = now + static_cast<ULONGLONG>(g_options.delay_ms);
  if (!g_watch.awaiting() && g_next_request < g_options.requests.size() && now >= g_next_at)
    IssueRequest();
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  char line[96];
  switch (msg) {
    case WM_TIMER:
      if (wp == kRegisterTimer) Register(hwnd);
      if (wp == kWatchTimer) Watch();
      return 0;
    case WM_DESTROY:
      // The agent sends WM_DESTROY to close the browser.
      Log("WM_DESTROY");
      PostQuitMessage(0);
      return 0;
    case WM_CLOSE:
      Log("WM_CLOSE");
      DestroyWindow(hwnd);
      return 0;
    default:
      if (msg == kestra::kUmBrowserAlert) {
        std::snprintf(line, sizeof(line), "UM_BROWSER_ALERT %lu %lu",
                      static_cast<unsigned long>(wp), static_cast<unsigned long>(lp));
        Log(line);
        return 0;
      }
      return DefWindowProcA(hwnd, msg, wp, lp);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  g_class = ClassFromFileName();
  std::vector<std::string> args(__argv + 1, __argv + __argc);
  std::string error;
  if (!brelgo::ParseOptions(args, &g_options, &error)) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
      if (args[i] == "--log") g_log = args[i + 1];
    }
    Log("usage error: " + error);
    return 2;
  }
  g_log = g_options.log;
  g_work = WorkFolder();
  WNDCLASSA wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = g_class.c_str();
  RegisterClassA(&wc);
  HWND hwnd = CreateWindowA(g_class.c_str(), g_class.c_str(), WS_OVERLAPPED, 0, 0, 100, 100,
                            nullptr, nullptr, instance, nullptr);
  if (hwnd == nullptr) return 1;
  Log("started");
  if (g_options.record != 0) SetTimer(hwnd, kRegisterTimer, 100, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (g_options.release_at_exit && g_registered) {
    if (HWND agent = FindAgent()) {
      PostMessageA(agent, kestra::kUmReleaseRecord, static_cast<WPARAM>(g_options.record), 0);
      char line[64];
      std::snprintf(line, sizeof(line), "released %d", g_options.record);
      Log(line);
    }
  }
  Log("ended");
  return 0;
}
