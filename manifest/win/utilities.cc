// Version and folder utilities of the manifest library.
#include "common/win/platform.h"

#include <cstring>
#include <string>
#include <vector>

#include "common/core/ansi_text.h"
#include "common/core/setup_paths.h"
#include "common/win/scoped_handle.h"
#include "common/win/setup_paths_win.h"
#include "common/win/wide_text.h"
#include "common/win/xml_file_win.h"
#include "manifest/core/version_block.h"
#include "manifest/core/version_text.h"
#include "manifest/include/lorix.h"

#ifndef LORIX_INSTALLER_EXE
#define LORIX_INSTALLER_EXE "Release\\Setup.exe"
#endif

namespace {

struct Translation {
  WORD language;
  WORD codepage;
};

// "T.YYYYMMDD.hhmmss.0" of the file's last write (UTC); false when it cannot be opened.
// Only read, for its time stamp, with the caller's rights: a planted link gains nothing.
bool TimestampText(const char* path, std::string* out) {
  tessal::ScopedFileHandle file(
      CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  FILETIME written;
  SYSTEMTIME t;
  if (!GetFileTime(file.get(), nullptr, nullptr, &written) || !FileTimeToSystemTime(&written, &t))
    return false;
  *out = lorix::TimestampVersionText(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  return true;
}

int CopyFolder(char* out, const std::string& folder) {
  if (out == nullptr) return 0;
  std::memcpy(out, folder.c_str(), folder.size() + 1);
  return static_cast<int>(folder.size());
}

BOOL CALLBACK FirstLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD lang, LONG_PTR param) {
  *reinterpret_cast<WORD*>(param) = lang;
  return FALSE;
}

// Language of the executable's version resource 1, so that the rewritten block
// replaces it instead of standing beside it; Korean when it cannot be told.
WORD VersionResourceLanguage(const wchar_t* path) {
  WORD language = 0x0412;
  tessal::ScopedModule module(LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!module.valid()) return language;
  EnumResourceLanguagesW(module.get(), MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), FirstLanguage,
                         reinterpret_cast<LONG_PTR>(&language));
  return language;
}

}  // namespace

extern "C" {

int LORIXAPI GetTargetFileVersion(const char* path, char* version) {
  try {
    if (version == nullptr) return 0;
    version[0] = 0;
    if (path == nullptr) return 0;
    std::string text;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0) {
      if (!TimestampText(path, &text)) return 0;
      tessal::CopyBounded(version, 128, text);
      return 1;
    }
    std::vector<char> block(size + 1, 0);
    Translation* tr = nullptr;
    UINT len = 0;
    if (!GetFileVersionInfoA(path, 0, size, block.data()) ||
        !VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&tr),
                        &len)) {
      return 0;
    }
    if (tr != nullptr && len >= sizeof(Translation)) {
      char query[64];
      wsprintfA(query, "\\StringFileInfo\\%04x%04x\\FileVersion", tr->language, tr->codepage);
      char* value = nullptr;
      UINT value_len = 0;
      if (!VerQueryValueA(block.data(), query, reinterpret_cast<void**>(&value), &value_len))
        return 0;
      if (value != nullptr)
        text = lorix::NormalizeVersionText(std::string_view(value, strnlen(value, value_len)));
    }
    // The caller's buffer holds 128 bytes.
    if (!text.empty() && text.size() < 128) {
      tessal::CopyBounded(version, 128, text);
      return 1;
    }
    version[0] = 0;
    if (TimestampText(path, &text)) tessal::CopyBounded(version, 128, text);
    return 0;
  } catch (...) {
    return 0;
  }
}

int LORIXAPI ChangeInstallExeVersion(const char* /*unused*/, int major, int minor, int build,
                                     int revision) {
  try {
    std::wstring target = tessal::Widen(LORIX_INSTALLER_EXE);
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(target.c_str(), &ignored);
    if (size == 0) return 0;
    std::vector<BYTE> block;
    try {
      block.assign(size, 0);
    } catch (const std::bad_alloc&) {
      return static_cast<int>(E_FAIL);
    }
    if (!GetFileVersionInfoW(target.c_str(), 0, size, block.data())) return 0;
    void* fixed = nullptr;
    Translation* tr = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(block.data(), L"\\", &fixed, &len) ||
        !VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&tr),
                        &len) ||
        tr == nullptr || len < sizeof(Translation)) {
      return 0;
    }
    wchar_t query[64];
    void* value = nullptr;
    wsprintfW(query, L"\\StringFileInfo\\%04x%04x\\FileVersion", tr->language, tr->codepage);
    if (!VerQueryValueW(block.data(), query, &value, &len)) return 0;
    wsprintfW(query, L"\\StringFileInfo\\%04x%04x\\ProductVersion", tr->language, tr->codepage);
    if (!VerQueryValueW(block.data(), query, &value, &len)) return 0;

    // Rebuild the block rather than writing in place: a longer text would
    // otherwise run into what follows it.
    lorix::VersionNode root;
    if (!lorix::ParseVersionBlock(block.data(), block.size(), &root)) return 0;
    std::u16string table = lorix::TranslationTableName(tr->language, tr->codepage);
    std::u16string text = lorix::AsciiToU16(lorix::DottedVersion(major, minor, build, revision));
    if (!lorix::SetVersionString(&root, table, u"FileVersion", text) ||
        !lorix::SetVersionString(&root, table, u"ProductVersion", text)) {
      return 0;
    }
    std::vector<uint8_t> rebuilt = lorix::SerializeVersionBlock(root);
    if (rebuilt.size() > 0xFFFF) return 0;

    WORD language = VersionResourceLanguage(target.c_str());
    tessal::ScopedResourceUpdate update(BeginUpdateResourceW(target.c_str(), FALSE));
    if (!update.valid()) return 0;
    BOOL replaced = UpdateResourceW(update.get(), MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1),
                                    language, rebuilt.data(), static_cast<DWORD>(rebuilt.size()));
    // Written only when the block was replaced, else discarded.
    BOOL committed = EndUpdateResourceW(update.release(), replaced ? FALSE : TRUE);
    return replaced && committed ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int LORIXAPI GetSpcialDirectoryInCurrentSystem(int folder_type, int all_users, char* folder,
                                               int version_code) {
  try {
    if (folder == nullptr) return 0;
    std::memset(folder, 0, 260);
    std::string path = tessal::LookupSpecialFolder(folder_type, all_users, version_code);
    if (path.empty()) return 0;
    return CopyFolder(folder, path) > 0 ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int LORIXAPI GetTempInstallPath(char* folder) {
  try {
    return CopyFolder(folder, tessal::ProtectedFolderPath(tessal::WindowsFolder(), "INSTALLTEMP"));
  } catch (...) {
    return 0;
  }
}

int LORIXAPI GetProtectedFilePath(char* folder, const char* name) {
  try {
    return CopyFolder(
        folder, tessal::ProtectedFolderPath(tessal::WindowsFolder(), name != nullptr ? name : ""));
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
