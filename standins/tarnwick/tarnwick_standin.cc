// Stand-in for the maker's protected-start program (qvTarnwick.exe): logs
//   qvTarnwick <pid> started YYYY-MM-DD HH:MM:SS.mmm <command line>
// (and "qvTarnwick <pid> show <mode>" when its starter chose a show mode),
// then ends with exit code 0. When a file "qvTarnwick.start" lies beside it
// (the demo puts one there), it first starts the agent beside it, as the real
// program does on a protected PC, and logs
//   qvTarnwick <pid> starts <agent path>: <pid of the agent, or the error code>
#include "common/win/platform.h"

#include <string>

#include "standins/tarnwick/standin_log.h"

namespace {

std::string OwnFolder() {
  char path[MAX_PATH] = "";
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof(path));
  if (n == 0 || n >= sizeof(path)) return std::string();
  std::string folder(path, n);
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

void StartAgentWhenAsked() {
  std::string folder = OwnFolder();
  if (folder.empty() ||
      GetFileAttributesA((folder + "qvTarnwick.start").c_str()) == INVALID_FILE_ATTRIBUTES)
    return;
  std::string agent = folder + "qvTessalKestra.exe";
  std::string command = "\"" + agent + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  // On its own desktop, which Wine would not hand down to the agent.
  STARTUPINFOA own{};
  own.cb = sizeof(own);
  GetStartupInfoA(&own);
  if (own.lpDesktop != nullptr && own.lpDesktop[0] != '\0') si.lpDesktop = own.lpDesktop;
  PROCESS_INFORMATION pi{};
  if (CreateProcessA(agent.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                     folder.c_str(), &si, &pi)) {
    standin_log::Append(nullptr, "starts " + agent + ": " + std::to_string(pi.dwProcessId));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  } else {
    standin_log::Append(nullptr, "starts " + agent + ": error " + std::to_string(GetLastError()));
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  standin_log::AppendStart();
  StartAgentWhenAsked();
  return 0;
}
