#include "standins/tarnwick/standin_log.h"

#include <cstdio>

namespace standin_log {

namespace {

std::string ModulePath(HMODULE module) {
  char path[MAX_PATH] = "";
  DWORD n = GetModuleFileNameA(module, path, sizeof(path));
  return n == 0 || n >= sizeof(path) ? std::string() : std::string(path, n);
}

}  // namespace

std::string ModuleName(HMODULE module) {
  std::string path = ModulePath(module);
  std::size_t sep = path.find_last_of("\\/");
  std::string name = path.substr(sep == std::string::npos ? 0 : sep + 1);
  std::size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

bool Append(HMODULE module, const std::string& event) {
  char configured[MAX_PATH] = "";
  DWORD n = GetEnvironmentVariableA("TESSAL_STANDIN_LOG", configured, sizeof(configured));
  std::string log;
  if (n > 0 && n < sizeof(configured)) {
    log = configured;
  } else {
    std::string path = ModulePath(module);
    std::size_t dot = path.find_last_of('.');
    log = (dot == std::string::npos ? path : path.substr(0, dot)) + ".log";
  }
  std::string line =
      ModuleName(module) + " " + std::to_string(GetCurrentProcessId()) + " " + event + "\n";
  // Appending writes are whole lines even with several writers; a writer that
  // meets a sharing conflict tries again briefly.
  for (int attempt = 0; attempt < 20; ++attempt) {
    HANDLE h = CreateFileA(log.c_str(), FILE_APPEND_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      BOOL ok = WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
      CloseHandle(h);
      return ok && written == line.size();
    }
    Sleep(25);
  }
  return false;
}

bool AppendStart() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char when[32];
  std::snprintf(when, sizeof(when), "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay,
                t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
  bool ok = Append(nullptr, std::string("started ") + when + " " + GetCommandLineA());
  STARTUPINFOA si{};
  GetStartupInfoA(&si);
  if (si.dwFlags & STARTF_USESHOWWINDOW)
    ok = Append(nullptr, "show " + std::to_string(si.wShowWindow)) && ok;
  return ok;
}

}  // namespace standin_log
