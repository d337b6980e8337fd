#include "common/win/platform.h"
#include <winsock2.h>

#include "agent/win/startup.h"

#include <iphlpapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <vector>

#include "agent/core/messages.h"
#include "agent/responder/win/responder_thread.h"
#include "agent/win/tray.h"
#include "common/core/ansi_text.h"
#include "common/core/file_io.h"
#include "common/win/dll_search.h"
#include "common/win/scoped_handle.h"
#include "common/win/version_info.h"

namespace kestra {

std::string OwnProgramPath() {
  std::vector<char> path(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return "";
    if (n < path.size()) return std::string(path.data(), n);
    path.resize(path.size() * 2);
  }
}

std::string FolderOf(const std::string& path) {
  std::size_t sep = path.find_last_of("\\/");
  return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

std::string DetermineBaseFolder() {
  char appdata[MAX_PATH] = "";
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appdata))) {
    return ChooseBaseFolder("", false);
  }
  std::string tessalx = TessalXFolder(appdata);
  bool exists = tessal::FolderExists(tessalx);
  if (exists) {
    tessal::MakeFolder(appdata);
    tessal::MakeFolder(tessalx);
  }
  return ChooseBaseFolder(appdata, exists);
}

void EnsureSingleInstance(HWND window, Edition edition) {
  SetWindowTextA(window, kTitleDuringCheck);
  bool other = edition == Edition::kR ? FindWindowA(nullptr, kTitleR) != nullptr
                                      : FindWindowA(nullptr, kTitleOldX) != nullptr ||
                                            FindWindowA(nullptr, kTitleX) != nullptr;
  if (other) TerminateProcess(GetCurrentProcess(), kShutdownExitCode);
  SetWindowTextA(window, edition == Edition::kR ? kTitleR : kTitleX);
}

void AllowAgentMessages(HWND window) {
  // Already loaded by the program; taken from the system folder by full path.
  tessal::ScopedModule user32(tessal::LoadSystemLibrary("user32.dll"));
  if (!user32.valid()) return;
  using FilterEx = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
  using Filter = BOOL(WINAPI*)(UINT, DWORD);
  auto filter_ex =
      reinterpret_cast<FilterEx>(GetProcAddress(user32.get(), "ChangeWindowMessageFilterEx"));
  auto filter = reinterpret_cast<Filter>(GetProcAddress(user32.get(), "ChangeWindowMessageFilter"));
  constexpr DWORD kAllow = 1;  // MSGFLT_ALLOW, and MSGFLT_ADD for the older function
  for (unsigned msg : kFilteredMessages) {
    if (filter_ex) {
      filter_ex(window, msg, kAllow, nullptr);
    } else if (filter) {
      filter(msg, kAllow);
    }
  }
}

std::string ComputeMacText() {
  std::vector<unsigned char> buffer(15360);
  ULONG size = static_cast<ULONG>(buffer.size());
  auto* adapters = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
  if (GetAdaptersAddresses(AF_INET, GAA_FLAG_INCLUDE_PREFIX, nullptr, adapters, &size) !=
      NO_ERROR) {
    return "";
  }
  // The first adapter that has a physical address: a loopback or tunnel adapter
  // listed first would otherwise leave the PC without a MAC text.
  for (IP_ADAPTER_ADDRESSES* a = adapters; a != nullptr; a = a->Next) {
    if (a->PhysicalAddressLength != 0)
      return FormatMacText(a->PhysicalAddress, a->PhysicalAddressLength);
  }
  return "";
}

namespace {

bool ProcessRuns(const char* lower_image_name) {
  tessal::ScopedFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) return false;
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot.get(), &entry); more;
       more = Process32Next(snapshot.get(), &entry)) {
    if (tessal::LowerAnsi(entry.szExeFile) == lower_image_name) return true;
  }
  return false;
}

SupportLibrary Probe(const std::string& path) {
  SupportLibrary lib;
  lib.exists = tessal::PathExists(path);
  std::string version;
  if (lib.exists && tessal::ReadFileVersionText(path, &version)) lib.version = version;
  return lib;
}

}  // namespace

void StartAgentResponder(const std::string& program_folder, HWND main_window) {
  responder::ThreadOptions options;
  options.program_folder = program_folder;
  options.on_connection = [main_window] {
    PostMessageA(main_window, kUmResponderConnection, 0, 0);
  };
  // The thread runs for the process's life: its handle is closed at once.
  responder::StartResponderThread(std::move(options));
}

bool KeepAliveServiceServes(const std::string& program_folder) {
  if (!ProcessRuns("gatrell.exe")) return false;
  std::string service = program_folder + "\\Gatrell.exe";
  std::string version;
  if (tessal::PathExists(service) && tessal::ReadFileVersionText(service, &version) &&
      IsResponderlessServiceVersion(version)) {
    return false;
  }
  return true;
}

bool SystemSupportOutdated() {
  char windows[MAX_PATH] = "";
  UINT n = GetWindowsDirectoryA(windows, sizeof(windows));
  std::string root(windows, n < sizeof(windows) ? n : 0);
  if (root.empty() || root.back() != '\\') root += '\\';
  SupportLibrary brellonx = Probe(root + "System32\\BrellonX.dll");
  SupportLibrary brellon = Probe(root + "System32\\Brellon.dll");
  if (!brellon.exists) brellon = Probe(root + "SysWow64\\Brellon.dll");
  return IsSupportOutdated(brellonx, brellon);
}

HeldFolders HoldWorkFolders(const std::string& base_folder, bool fresh) {
  constexpr unsigned kRemovalLimitMs = 15000;
  HeldFolders held;
  tessal::MakeFolder(base_folder);
  held.base = tessal::SafeFolder::Hold(base_folder);
  if (!held.base.valid()) return held;
  if (fresh) held.base.RemoveTree(kWorkFolderName, kRemovalLimitMs);
  held.work = held.base.HoldChild(kWorkFolderName, true);
  return held;
}

}  // namespace kestra
