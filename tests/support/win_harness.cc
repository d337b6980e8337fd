#include "tests/support/win_harness.h"

#include "common/win/platform.h"
#include <shlobj.h>

#include <algorithm>
#include <cstdio>

namespace harness {

std::string OutFolder() { return TESSAL_OUT_WIN; }
std::string StandinFolder() { return OutFolder() + "\\standins"; }
std::string TestCertFolder() { return TESSAL_TEST_CERTS_WIN; }
std::string TestCertUnixFolder() { return TESSAL_TEST_CERTS_UNIX; }
std::string IdleProgram() { return StandinFolder() + "\\idle_program.exe"; }

TempFolder::TempFolder(const std::string& prefix) {
  char tmp[MAX_PATH] = "";
  GetTempPathA(sizeof(tmp), tmp);
  static int counter = 0;
  path_ = std::string(tmp) + prefix + "_" + std::to_string(GetCurrentProcessId()) + "_" +
          std::to_string(counter++);
  RemoveTree(path_);
  CreateDirectoryA(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

Process::Process(Process&& other) noexcept : pi_(other.pi_) { other.pi_ = PROCESS_INFORMATION{}; }

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    Close();
    pi_ = other.pi_;
    other.pi_ = PROCESS_INFORMATION{};
  }
  return *this;
}

Process::~Process() { Close(); }

void Process::Close() {
  if (pi_.hThread) CloseHandle(pi_.hThread);
  if (pi_.hProcess) CloseHandle(pi_.hProcess);
  pi_ = PROCESS_INFORMATION{};
}

bool Process::Attach(DWORD process_id) {
  Close();
  pi_.hProcess = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION,
                             FALSE, process_id);
  if (pi_.hProcess != nullptr) pi_.dwProcessId = process_id;
  return pi_.hProcess != nullptr;
}

bool Process::Start(const std::string& program, const std::string& arguments) {
  Close();
  std::string command = "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments);
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  return CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi_) != 0;
}

bool Process::running() const {
  return pi_.hProcess != nullptr && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT;
}

bool Process::WaitForExit(DWORD timeout_ms, DWORD* exit_code) {
  if (pi_.hProcess == nullptr || WaitForSingleObject(pi_.hProcess, timeout_ms) != WAIT_OBJECT_0) {
    return false;
  }
  // Only after the wait: 259 is also what a running process reports.
  GetExitCodeProcess(pi_.hProcess, exit_code);
  return true;
}

void Process::Kill() {
  if (running()) {
    TerminateProcess(pi_.hProcess, 1);
    WaitForSingleObject(pi_.hProcess, 5000);
  }
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms, DWORD poll_ms) {
  DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeout_ms) return false;
    Sleep(poll_ms);
  }
}

bool PumpUntil(const std::function<bool()>& condition, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (condition()) return true;
    DWORD spent = GetTickCount() - start;
    if (spent >= timeout_ms) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(timeout_ms - spent, 10),
                              QS_ALLINPUT);
  }
}

namespace {

// Appends what the pipe holds; true once no writer is left.
bool DrainPipe(HANDLE read_end, std::string* text) {
  char buf[4096];
  DWORD avail = 0, n = 0;
  while (PeekNamedPipe(read_end, nullptr, 0, nullptr, &avail, nullptr)) {
    if (avail == 0) return false;
    if (!ReadFile(read_end, buf, sizeof(buf), &n, nullptr)) break;
    text->append(buf, n);
  }
  return true;
}

bool StartWithOutput(const std::string& program, std::string& command_line, HANDLE write_end,
                     PROCESS_INFORMATION* pi) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = si.hStdError = nul;
  si.hStdOutput = write_end;
  BOOL started = CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0,
                                nullptr, nullptr, &si, pi);
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  return started != 0;
}

}  // namespace

bool RunForOutput(const std::string& program, std::string command_line, DWORD timeout_ms,
                  std::string* output, DWORD* exit_code) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return false;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  PROCESS_INFORMATION pi{};
  bool started = StartWithOutput(program, command_line, write_end, &pi);
  CloseHandle(write_end);  // only the program's copy is left
  output->clear();
  DWORD start = GetTickCount();
  bool ended = started && WaitUntil([&] { return DrainPipe(read_end, output); }, timeout_ms);
  CloseHandle(read_end);
  if (!started) return false;
  DWORD spent = GetTickCount() - start;
  ended = ended && WaitForSingleObject(pi.hProcess, spent < timeout_ms ? timeout_ms - spent : 0) ==
                       WAIT_OBJECT_0;
  if (ended) {
    GetExitCodeProcess(pi.hProcess, exit_code);
  } else {
    TerminateProcess(pi.hProcess, 1);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return ended;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(at, end - at));
    at = end;
  }
  return lines;
}

HWND WaitForWindow(const char* window_class, const char* title, DWORD timeout_ms) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindWindowA(window_class, title)) != nullptr; }, timeout_ms);
  return found;
}

bool FileExists(const std::string& path) {
  DWORD attrs = GetFileAttributesA(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
  DWORD attrs = GetFileAttributesA(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadFileText(const std::string& path) {
  std::string text;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return text;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) text.append(buf, n);
  std::fclose(f);
  return text;
}

bool WriteFileText(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

std::string AppDataFolder() {
  char path[MAX_PATH] = "";
  SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

void KillWindowOwners(const char* window_class, const char* title) {
  for (int i = 0; i < 8; ++i) {
    HWND w = FindWindowA(window_class, title);
    if (w == nullptr) return;
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (p == nullptr) return;
    TerminateProcess(p, 1);
    WaitForSingleObject(p, 5000);
    CloseHandle(p);
  }
}

bool RequestScreenshot(const std::string& name) {
  const char* folder = std::getenv("TESSAL_SHOTS");
  if (folder == nullptr || *folder == 0) return false;
  std::string png = std::string(folder) + "\\" + name + ".png";
  DeleteFileA(png.c_str());
  std::printf("@screenshot %s\n", name.c_str());
  std::fflush(stdout);
  return WaitUntil([&] { return FileExists(png); }, 15000);
}

}  // namespace harness
