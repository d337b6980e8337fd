// Tavin exports: installation folder, installer state, version, language and
// installed files, read through the setup manifest library.
#include "common/win/platform.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/core/ansi_text.h"
#include "common/core/file_io.h"
#include "common/core/guarded.h"
#include "common/win/start_hidden.h"
#include "common/win/wide_text.h"
#include "installinfo/core/install_rules.h"
#include "installinfo/include/tavin.h"
#include "installinfo/win/registry.h"
#include "installinfo/win/tavin_state.h"

namespace tavin {

char g_root_folder[260] = "";
char g_diagnostic[1024] = "";
std::atomic<int> g_monitor_paused{0};

void SetDiagnostic(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(g_diagnostic, sizeof(g_diagnostic), format, args);
  va_end(args);
}

std::string ReadManifestName() {
  std::string content;
  if (!tessal::ReadWholeFile(RootFolder() + "setup.ini", &content, 1 << 20)) return std::string();
  // Read as a text line: CR LF arrives as LF.
  std::string text;
  for (std::size_t i = 0; i < content.size(); ++i) {
    if (content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n') continue;
    text.push_back(content[i]);
  }
  return ManifestNameFromSetupIni(text);
}

bool LoadManifest(CLorixDll* lorix, const std::string& path) {
  if (lorix->calls().LoadSetupFile(path.c_str()) == 0) {
    SetDiagnostic("xml file load fail");
    return false;
  }
  return true;
}

}  // namespace tavin

using namespace tavin;

namespace {

constexpr char kStateKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\OSKANA\\PKINSTALLER";

bool RootSet() {
  if (g_root_folder[0] != 0) return true;
  SetDiagnostic("%s", kRootNotSetText);
  return false;
}

using tessal::Guarded;

// Steps shared by the file exports: root set, library bound, manifest loaded
// from the name as read.
bool OpenInstalledManifest(CLorixDll* lorix) {
  if (!RootSet()) return false;
  std::string name = ReadManifestName();
  if (!lorix->Bind(RootFolder())) return false;
  return LoadManifest(lorix, name);
}

}  // namespace

extern "C" {

void TAVINAPI SetRootPath(const char* folder) {
  // A folder that does not fit is not cut (a cut path names another folder):
  // the root becomes unset.
  if (folder == nullptr || std::strlen(folder) > kRootFolderMax) {
    g_root_folder[0] = 0;
    SetDiagnostic("root path too long");
    return;
  }
  std::strcpy(g_root_folder, folder);
}

int TAVINAPI GetInstallState(void) {
  return Guarded([] {
    CRegistry key;
    if (!key.OpenOrCreate(kStateKey)) return kStateNoValue;
    std::string text;
    if (!key.ReadText("InstallState", &text)) return kStateNoValue;
    bool updater = FindWindowA("UPDATER_CLASS", "UPDATER") != nullptr;
    return InstallStateFromText(text, updater);
  });
}

int TAVINAPI GetMainVersion(char* version) {
  Guarded([&] {
    CLorixDll lorix;
    if (!lorix.Bind(RootFolder())) {
      SetDiagnostic("Load dll fail : %s", g_root_folder);
      return 0;
    }
    if (!LoadManifest(&lorix, RootFolder() + ReadManifestName())) return 0;
    char value[1024] = "";
    lorix.calls().GetElementField("MAINVERSION", value);
    if (version != nullptr) tessal::CopyBounded(version, sizeof(value), value);
    return 0;
  });
  return 0;
}

int TAVINAPI GetLanguage(void) {
  return Guarded([] {
    CLorixDll lorix;
    if (!lorix.Bind(RootFolder())) return 0;
    if (!LoadManifest(&lorix, RootFolder() + ReadManifestName())) return 0;
    // A loaded value holds up to 1023 bytes: read it whole, not into 128.
    char value[1024] = "";
    lorix.calls().GetElementField("LANG", value);
    return static_cast<int>(std::strtol(value, nullptr, 10));
  });
}

int TAVINAPI GetInstalledFileCount(void) {
  return Guarded([] {
    CLorixDll lorix;
    if (!OpenInstalledManifest(&lorix)) return 0;
    return lorix.calls().GetFileCount();
  });
}

int TAVINAPI GetInstalledFileInfomation(int index, char* manifest_version,
                                        char* installed_version) {
  return Guarded([&] {
    CLorixDll lorix;
    if (!OpenInstalledManifest(&lorix)) return 0;
    char source[260], name[260], folder[260], target_os[20], shortcut[10], display[130];
    char version[128];
    int icon = 0, self_register = 0, overwrite = 0, size = 0, real_time = 0, reboot = 0;
    if (lorix.calls().GetFileInfo(index, source, name, folder, version, target_os, shortcut,
                                  display, &icon, &self_register, &overwrite, &size, &real_time,
                                  &reboot) == 0) {
      SetDiagnostic("can't find file info");
      return 0;
    }
    if (manifest_version != nullptr)
      std::memcpy(manifest_version, version, std::strlen(version) + 1);
    // A translated folder can be up to 1023 bytes.
    char real[1024] = "";
    lorix.calls().SetupPathToRealPath(folder, real);
    std::string path = std::string(real) + name;
    char installed[128] = "";
    lorix.calls().GetTargetFileVersion(path.c_str(), installed);
    if (installed_version != nullptr)
      std::memcpy(installed_version, installed, std::strlen(installed) + 1);
    return 1;
  });
}

int TAVINAPI LiveUpdate(int number) {
  return Guarded([&] {
    if (!RootSet()) return 0;
    std::string program = RootFolder() + "updaterx.exe";
    if (GetFileAttributesA(program.c_str()) == INVALID_FILE_ATTRIBUTES)
      program = RootFolder() + "updater.exe";
    std::string line;
    if (!UpdaterCommandLine(program, number, &line)) {
      SetDiagnostic("updater path too long");
      return 0;
    }
    return tessal::StartHidden(nullptr, tessal::Widen(line), true, CREATE_DEFAULT_ERROR_MODE) ? 1
                                                                                              : 0;
  });
}

void TAVINAPI PauseMonitoring(void) { g_monitor_paused = 1; }

}  // extern "C"

// Exported under its C++ name (see tavin.def / tavin64.def).
extern "C" void TAVINAPI TavinGetInstallPath(char* folder) {
  if (g_root_folder[0] == 0) {
    SetDiagnostic("%s", kRootNotSetText);
    return;
  }
  if (folder != nullptr) std::memcpy(folder, g_root_folder, std::strlen(g_root_folder) + 1);
}
