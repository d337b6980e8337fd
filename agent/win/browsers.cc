#include "agent/win/browsers.h"

#include "common/win/platform.h"

#include "agent/core/messages.h"
#include "common/core/file_io.h"
#include "common/win/scoped_handle.h"
#include "common/win/start_hidden.h"
#include "common/win/wide_text.h"

namespace kestra {

namespace {

// The proof the DLP component expects, assembled at run time.
void BuildDlpProof(unsigned char proof[4]) {
  const unsigned char parts[4] = {0x51, 0x56, 0x54, 0x4C};
  for (int i = 0; i < 4; ++i) proof[i] = parts[i];
}

// The library stays loaded for the life of the agent: the DLP runs inside it.
void StartDlp(const std::string& program_folder) {
  HMODULE dlp = LoadLibraryA((program_folder + "\\qvTessalQuenmor.dll").c_str());
  if (dlp == nullptr) return;
  using SetProof = void(__cdecl*)(const unsigned char*);
  using StartActive = void(__cdecl*)(int);
  auto set_proof = reinterpret_cast<SetProof>(GetProcAddress(dlp, "qvTsl_SetProof"));
  auto start = reinterpret_cast<StartActive>(GetProcAddress(dlp, "qvTsl_StartActiveDlp"));
  FARPROC end = GetProcAddress(dlp, "qvTsl_EndActiveDlp");
  if (set_proof == nullptr || start == nullptr || end == nullptr) return;
  unsigned char proof[4];
  BuildDlpProof(proof);
  set_proof(proof);
  start(0);
}

// Only opens for reading, to see whether a program file is there; nothing is
// written or deleted through the path, so a planted link can gain nothing.
bool CanOpenForReading(const char* path) {
  tessal::ScopedFileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                            nullptr));
  return file.valid();
}

void DestroyBrowserWindow(const char* window_class) {
  HWND browser = FindWindowA(window_class, nullptr);
  if (browser == nullptr || !IsWindow(browser)) return;
  // Bounded, so that a hung browser cannot stall the agent.
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(browser, WM_DESTROY, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
}

}  // namespace

bool RunHidden(const std::string& command_line) {
  return tessal::StartHidden(nullptr, tessal::Widen(command_line));
}

void StartProtectedBrowsers(Edition edition, const std::string& program_folder) {
  bool r = edition == Edition::kR;
  const char* wow64_first =
      r ? "C:\\Windows\\SysWOW64\\BrelgoR.exe" : "C:\\Windows\\SysWOW64\\Brelgo.exe";
  if (CanOpenForReading(wow64_first)) {
    RunHidden(std::string("\"") + wow64_first + "\"");
    RunHidden(r ? "\"C:\\Windows\\SysWOW64\\BrelgoRX.exe\""
                : "\"C:\\Windows\\SysWOW64\\BrelgoX.exe\"");
  } else {
    RunHidden(r ? "\"C:\\Windows\\System32\\BrelgoR.exe\""
                : "\"C:\\Windows\\System32\\Brelgo.exe\"");
  }
  if (r) StartDlp(program_folder);
}

void CloseProtectedBrowsers(Edition edition) {
  bool r = edition == Edition::kR;
  DestroyBrowserWindow(r ? kBrowserClassR64 : kBrowserClassX64);
  DestroyBrowserWindow(r ? kBrowserClassR32 : kBrowserClassX32);
}

void RunProtectedStart(const std::string& program_folder) {
  RunHidden("\"" + program_folder + "\\qvTarnwick.exe\"");
}

}  // namespace kestra
