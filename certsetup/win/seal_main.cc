// qvTessalSeal: "/make [/force]" writes the responder's certificate files into
// the program's own folder unless the three there still serve; "/remove" deletes
// them and takes the suite's roots out of the machine's "ROOT" store. Run silently by the
// installer: no window, no output, only the exit code (core/seal_command.h).
#include "common/win/platform.h"
#include <shellapi.h>

#include <openssl/crypto.h>

#include <ctime>
#include <string>
#include <vector>

#include "certsetup/core/seal_certs.h"
#include "certsetup/core/seal_command.h"
#include "certsetup/win/private_files.h"
#include "certsetup/win/root_removal.h"
#include "common/win/dll_search.h"
#include "common/win/scoped_handle.h"
#include "common/win/wide_text.h"

namespace {

std::vector<std::string> Arguments() {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  tessal::ScopedLocal owner(argv);  // freed even when a conversion throws
  std::vector<std::string> args;
  for (int i = 1; argv != nullptr && i < count; ++i)
    args.push_back(tessal::Narrow(argv[i], CP_UTF8));
  return args;
}

std::wstring ProgramFolder() {
  std::vector<wchar_t> path(32768);
  DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  std::wstring full(path.data(), n < path.size() ? n : 0);
  std::size_t slash = full.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : full.substr(0, slash);
}

// Whether the files in place serve for a while yet (seal::SealFilesUsable);
// anything missing, unreadable or odd is made again.
bool InPlaceFilesServe(const std::wstring& folder, const std::vector<std::wstring>& names) {
  constexpr std::size_t kLimit = 64 * 1024;  // each file is well under 4 KiB
  seal::SealFiles present;
  std::string* parts[] = {&present.root_der, &present.server_pem, &present.key_pem};
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!seal::ReadSmallFile(folder + L"\\" + names[i], kLimit, parts[i])) return false;
  }
  return seal::SealFilesUsable(present.root_der, present.server_pem, present.key_pem,
                               seal::ResponderHostNames(), std::time(nullptr));
}

std::vector<std::wstring> FileNames() {
  return {tessal::Widen(seal::kRootFile), tessal::Widen(seal::kServerCertFile),
          tessal::Widen(seal::kServerKeyFile)};
}

int Make(bool force) {
  std::wstring folder = ProgramFolder();
  std::vector<std::wstring> names = FileNames();
  if (folder.empty()) return seal::kExitWriteFailed;
  if (!force && InPlaceFilesServe(folder, names)) return seal::kExitOk;
  seal::SealFiles files;
  std::string error;
  if (!seal::MakeSealFiles(seal::ResponderHostNames(), std::time(nullptr), &files, &error)) {
    return seal::kExitMakeFailed;
  }
  bool put = seal::PutPrivateFiles(
      folder,
      {{names[0], &files.root_der}, {names[1], &files.server_pem}, {names[2], &files.key_pem}});
  return put ? seal::kExitOk : seal::kExitWriteFailed;
}

// The files this program made go with the suite: a removal leaves nothing of it.
int Remove() {
  std::wstring folder = ProgramFolder();
  bool deleted = !folder.empty();
  for (const std::wstring& name : FileNames()) {
    std::wstring path = folder + L"\\" + name;
    if (!DeleteFileW(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) deleted = false;
  }
  return seal::RemoveSuiteRoots() >= 0 && deleted ? seal::kExitOk : seal::kExitRemoveFailed;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  tessal::RestrictDllSearch();
  // No configuration file: the library's compiled-in folder may be one that
  // any user can create, and the installer runs this program as SYSTEM.
  OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr);
  seal::Command command = seal::ParseCommand(Arguments());
  switch (command.action) {
    case seal::Action::kMake: return Make(command.force);
    case seal::Action::kRemove: return Remove();
    case seal::Action::kInvalid: break;
  }
  return seal::kExitUsage;
}
