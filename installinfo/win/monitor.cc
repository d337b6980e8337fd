// The installed-file monitor: every ten seconds puts back installed files that
// went missing (or changed version) from their protected copies.
#include "common/win/platform.h"

#include <memory>
#include <string>

#include "common/core/file_io.h"
#include "common/core/setup_paths.h"
#include "common/win/scoped_handle.h"
#include "common/win/setup_paths_win.h"
#include "installinfo/core/install_rules.h"
#include "installinfo/include/tavin.h"
#include "installinfo/win/file_restore.h"
#include "installinfo/win/tavin_state.h"

using namespace tavin;

namespace {

constexpr DWORD kPassInterval = 10000;

struct MonitorStart {
  HANDLE ready;         // the caller's event
  const char* project;  // the caller's buffer, read only until `ready` is signalled
};

// The list as far as it is read: line by line, never whole. False when it cannot be opened.
// Only read, and every line is checked before use, so a swapped file can give
// nothing a planted list could not.
bool ReadMonitorList(const std::string& path, MonitorList* list) {
  tessal::File file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) return false;
  MonitorListReader reader;
  std::string chunk;
  while (file.ReadAtMost(4096, &chunk) && !chunk.empty() && reader.Feed(chunk)) {
  }
  *list = reader.Finish();
  return true;
}

DWORD WINAPI MonitorThread(void* param) {
  std::string folder;
  {
    MonitorStart* start = static_cast<MonitorStart*>(param);
    folder = tessal::ProtectedFolderPath(tessal::WindowsFolder(), start->project);
    SetEvent(start->ready);  // from here on the caller's buffer is gone
  }
  if (folder.empty()) return 0;
  std::string list_path = folder + "pklist.mon";
  MessageBoxA(nullptr, list_path.c_str(), "", MB_OK);

  MonitorList list;
  if (!ReadMonitorList(list_path, &list)) {
    MessageBoxA(nullptr, "파일열기 오류", "", MB_OK);
    return 0;
  }
  // One box for the whole list: a list of many bad lines must not stack up boxes.
  if (list.parse_errors > 0) MessageBoxA(nullptr, "파싱오류", "", MB_OK);

  // Versions are compared only when the library could be bound.
  auto lorix = std::make_unique<CLorixDll>();
  lorix->Bind(folder);

  char installed_version[128];
  char protected_version[128];
  for (;;) {
    while (g_monitor_paused != 0) Sleep(kPassInterval);
    for (const MonitorPair& pair : list.pairs) {
      bool exists = GetFileAttributesA(pair.installed.c_str()) != INVALID_FILE_ATTRIBUTES;
      bool versions = false;
      installed_version[0] = 0;
      protected_version[0] = 0;
      if (exists && lorix->calls().GetTargetFileVersion != nullptr) {
        lorix->calls().GetTargetFileVersion(pair.installed.c_str(), installed_version);
        lorix->calls().GetTargetFileVersion(pair.protected_copy.c_str(), protected_version);
        versions = true;
      }
      if (DecideMonitorAction(exists, versions, installed_version, protected_version) ==
          MonitorAction::kCopy) {
        RestoreFile(pair.protected_copy, pair.installed, SystemNonce);
      }
    }
    Sleep(kPassInterval);
  }
}

}  // namespace

extern "C" int TAVINAPI MonitoringInstalledFiles(void) {
  try {
    int expected = 1;
    if (g_monitor_paused.compare_exchange_strong(expected, 0)) return 1;
    if (g_root_folder[0] == 0) {
      SetDiagnostic("%s", kRootNotSetText);
      return 0;
    }
    std::string name = ReadManifestName();
    CLorixDll lorix;
    if (!lorix.Bind(RootFolder())) return 0;
    if (!LoadManifest(&lorix, name)) return 0;
    char project[1024] = "";
    lorix.calls().GetElementField("PROJECTNAME", project);
    // A name that leads out of the Windows folder gives no protected folder at all.
    if (!IsUsableProjectName(project)) {
      SetDiagnostic("invalid project name");
      return 0;
    }

    tessal::ScopedKernelHandle ready(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!ready.valid()) return 0;
    MonitorStart start = {ready.get(), project};
    // Closed before the event, once the thread has taken what it needs.
    tessal::ScopedKernelHandle thread(CreateThread(nullptr, 0, MonitorThread, &start, 0, nullptr));
    if (!thread.valid()) return 0;
    WaitForSingleObject(ready.get(), INFINITE);
    return 1;
  } catch (...) {
    return 0;
  }
}
