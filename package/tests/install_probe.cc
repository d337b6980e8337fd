// Reports what an installation left on the PC, one "name=value" line each, into
// the file named by the first argument (a Windows program's console output is not
// seen under Wine's test runs):
//   install_probe REPORT            the service, the installer-state key, the products
//   install_probe REPORT FOLDER\    and Tavin's answers for the folder, loaded from it
//                                   and asked from inside it
//   install_probe REPORT PACKAGE.msi   the package's texts as Windows Installer reads
//                                   them (UTF-8)
// The key is only looked at: Tavin's GetInstallState would create it.
#include "common/win/platform.h"
#include <msi.h>
#include <msiquery.h>

#include <cstdio>
#include <string>

#include "installinfo/include/tavin.h"

namespace {

void Service(FILE* out) {
  SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service =
      scm ? OpenServiceW(scm, L"Corvanta BrontelMon", SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG)
          : nullptr;
  if (service == nullptr) {
    std::fprintf(out, "service=absent\n");
  } else {
    SERVICE_STATUS status = {};
    QueryServiceStatus(service, &status);
    std::fprintf(out, "service_state=%lu\n", status.dwCurrentState);
    alignas(8) char buffer[8192];
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
    DWORD needed = 0;
    if (QueryServiceConfigA(service, config, sizeof(buffer), &needed)) {
      std::fprintf(out, "service_type=%lu\nservice_start=%lu\nservice_error=%lu\n",
                   config->dwServiceType, config->dwStartType, config->dwErrorControl);
      std::fprintf(out, "service_binary=%s\nservice_display=%s\n", config->lpBinaryPathName,
                   config->lpDisplayName);
    }
    CloseServiceHandle(service);
  }
  if (scm) CloseServiceHandle(scm);
}

// Every product Windows Installer knows, with its version.
void Products(FILE* out) {
  char code[39];
  for (DWORD i = 0; MsiEnumProductsA(i, code) == ERROR_SUCCESS; ++i) {
    char name[256] = "", version[64] = "";
    DWORD name_size = sizeof(name), version_size = sizeof(version);
    MsiGetProductInfoA(code, INSTALLPROPERTY_PRODUCTNAME, name, &name_size);
    MsiGetProductInfoA(code, INSTALLPROPERTY_VERSIONSTRING, version, &version_size);
    std::fprintf(out, "product=%s %s\n", name, version);
  }
}

void StateKey(FILE* out) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\OSKANA\\PKINSTALLER", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    std::fprintf(out, "state_key=absent\n");
    return;
  }
  char value[64] = "";
  DWORD size = sizeof(value) - 1;
  RegQueryValueExA(key, "InstallState", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
  std::fprintf(out, "state_key=present\nstate_value=%s\n", value);
  RegCloseKey(key);
}

template <typename F>
F Bind(HMODULE tavin, const char* name) {
  return reinterpret_cast<F>(GetProcAddress(tavin, name));
}

void Tavin(FILE* out, const std::string& folder) {
  HMODULE tavin =
      LoadLibraryExA((folder + "Tavin.dll").c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (tavin == nullptr) {
    std::fprintf(out, "tavin=absent\n");
    return;
  }
  auto set_root = Bind<decltype(&SetRootPath)>(tavin, "SetRootPath");
  auto state = Bind<decltype(&GetInstallState)>(tavin, "GetInstallState");
  auto main_version = Bind<decltype(&GetMainVersion)>(tavin, "GetMainVersion");
  auto count = Bind<decltype(&GetInstalledFileCount)>(tavin, "GetInstalledFileCount");
  auto info = Bind<decltype(&GetInstalledFileInfomation)>(tavin, "GetInstalledFileInfomation");
  auto language = Bind<decltype(&GetLanguage)>(tavin, "GetLanguage");
  set_root(folder.c_str());
  // The installed-file exports read the manifest named in "setup.ini" from the
  // current folder, as a program started in the installation folder has it.
  SetCurrentDirectoryA(folder.c_str());
  char version[1024] = "";
  main_version(version);
  int files = count();
  std::fprintf(out, "install_state=%d\nmain_version=%s\nlanguage=%d\nfile_count=%d\n", state(),
               version, language(), files);
  for (int i = 0; i < files; ++i) {
    char listed[128] = "", installed[128] = "";
    int found = info(i, listed, installed);
    std::fprintf(out, "file%d=%d %s %s\n", i, found, listed, installed);
  }
  FreeLibrary(tavin);
}

// Each condition of the package's LaunchCondition table with its message, as
// the installer decodes them from the package's code page.
void LaunchTexts(FILE* out, const char* package) {
  MSIHANDLE db = 0, view = 0, record = 0;
  if (MsiOpenDatabaseA(package, MSIDBOPEN_READONLY, &db) != ERROR_SUCCESS) {
    std::fprintf(out, "package=unreadable\n");
    return;
  }
  if (MsiDatabaseOpenViewW(db, L"SELECT `Condition`, `Description` FROM `LaunchCondition`",
                           &view) == ERROR_SUCCESS &&
      MsiViewExecute(view, 0) == ERROR_SUCCESS) {
    while (MsiViewFetch(view, &record) == ERROR_SUCCESS) {
      wchar_t condition[512], text[512];
      DWORD condition_size = 512, text_size = 512;
      MsiRecordGetStringW(record, 1, condition, &condition_size);
      MsiRecordGetStringW(record, 2, text, &text_size);
      char condition_utf8[1024], text_utf8[1024];
      WideCharToMultiByte(CP_UTF8, 0, condition, -1, condition_utf8, sizeof(condition_utf8),
                          nullptr, nullptr);
      WideCharToMultiByte(CP_UTF8, 0, text, -1, text_utf8, sizeof(text_utf8), nullptr, nullptr);
      std::fprintf(out, "launch=%s|%s\n", condition_utf8, text_utf8);
      MsiCloseHandle(record);
    }
  }
  if (view) MsiCloseHandle(view);
  MsiCloseHandle(db);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr) return 1;
  // Unbuffered, so that a probe that dies still shows how far it came.
  std::setvbuf(out, nullptr, _IONBF, 0);
  Service(out);
  StateKey(out);
  Products(out);
  if (argc > 2) {
    std::string arg = argv[2];
    if (arg.size() > 4 && arg.compare(arg.size() - 4, 4, ".msi") == 0) {
      LaunchTexts(out, argv[2]);
    } else {
      Tavin(out, arg);
    }
  }
  std::fclose(out);
  return 0;
}
