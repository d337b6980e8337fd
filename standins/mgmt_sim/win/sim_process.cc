#include "standins/mgmt_sim/win/sim_process.h"

#include <cstdlib>

namespace mgmt_sim {

namespace {

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadSmallFile(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "";
  char buf[64] = "";
  DWORD n = 0;
  ReadFile(h, buf, sizeof(buf) - 1, &n, nullptr);
  CloseHandle(h);
  return std::string(buf, n);
}

bool WaitFor(bool (*condition)(const std::string&), const std::string& path, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  while (!condition(path)) {
    if (GetTickCount() - start >= timeout_ms) return false;
    Sleep(50);
  }
  return true;
}

}  // namespace

std::string UnixPathOf(const std::string& windows_path) {
  // Wine's own mapping, present in every Wine kernel32.
  using Fn = char*(CDECL*)(LPCWSTR);
  auto fn = reinterpret_cast<Fn>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name"));
  if (fn != nullptr) {
    wchar_t wide[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, windows_path.c_str(), -1, wide, MAX_PATH) > 0) {
      if (char* unix_path = fn(wide)) {
        std::string result = unix_path;
        HeapFree(GetProcessHeap(), 0, unix_path);
        return result;
      }
    }
  }
  if (windows_path.size() >= 3 && (windows_path[0] == 'Z' || windows_path[0] == 'z') &&
      windows_path[1] == ':') {
    std::string result = windows_path.substr(2);
    for (char& c : result) {
      if (c == '\\') c = '/';
    }
    return result;
  }
  return "";
}

bool StartLinuxProgram(const std::string& program, std::string command, std::string* error) {
  // Its output goes nowhere: a program left running must not hold the
  // caller's output pipe (a test runner would wait for it).
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE null_file =
      CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                  OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = si.hStdOutput = si.hStdError = null_file;
  PROCESS_INFORMATION pi{};
  BOOL started = CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                nullptr, &si, &pi);
  DWORD start_error = GetLastError();
  if (null_file != INVALID_HANDLE_VALUE) CloseHandle(null_file);
  if (!started) {
    *error = "cannot start " + program + " (error " + std::to_string(start_error) + ")";
    return false;
  }
  if (pi.hThread) CloseHandle(pi.hThread);
  if (pi.hProcess) CloseHandle(pi.hProcess);
  return true;
}

bool SimulatorProcess::Start(const std::string& program, const std::string& folder, int max_seconds,
                             DWORD timeout_ms, std::string* error) {
  Stop();
  folder_ = folder;
  CreateDirectoryA(folder.c_str(), nullptr);
  if (!Exists(program)) {
    *error = program + " is missing: build the linux tree first (cmake --build --preset linux)";
    return false;
  }
  std::string port_file = folder + "\\port";
  std::string stop_file = folder + "\\stop";
  DeleteFileA(port_file.c_str());
  DeleteFileA(stop_file.c_str());
  if (!Exists(policy_path())) {
    HANDLE h =
        CreateFileA(policy_path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  std::string unix_folder = UnixPathOf(folder);
  if (unix_folder.empty()) {
    *error = "no Unix path for " + folder;
    return false;
  }
  std::string command = "\"" + program + "\" --port 0 --port-file \"" + unix_folder +
                        "/port\" --policy \"" + unix_folder + "/policy\" --log \"" + unix_folder +
                        "/calls.log\" --stop-file \"" + unix_folder + "/stop\" --max-seconds " +
                        std::to_string(max_seconds);
  if (!StartLinuxProgram(program, command, error)) return false;
  if (!WaitFor([](const std::string& p) { return !ReadSmallFile(p).empty(); }, port_file,
               timeout_ms)) {
    *error = "the simulator did not listen within " + std::to_string(timeout_ms) + " ms";
    return false;
  }
  port_ = std::atoi(ReadSmallFile(port_file).c_str());
  return port_ > 0;
}

void SimulatorProcess::Stop() {
  if (folder_.empty()) return;
  std::string port_file = folder_ + "\\port";
  if (port_ > 0) {
    HANDLE h = CreateFileA((folder_ + "\\stop").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           0, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    // It removes its port file as it ends.
    WaitFor([](const std::string& p) { return !Exists(p); }, port_file, 5000);
    DeleteFileA((folder_ + "\\stop").c_str());
  }
  port_ = 0;
}

}  // namespace mgmt_sim
