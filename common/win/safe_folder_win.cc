// Children of a held folder are opened with NtCreateFile relative to the folder's
// handle and FILE_OPEN_REPARSE_POINT, so the check and the use are one operation
// on one object: nothing between them can be swapped.
#include "common/win/platform.h"
#include <aclapi.h>
#include <winternl.h>

#include <algorithm>
#include <vector>

#include "common/core/safe_folder.h"
#include "common/win/scoped_handle.h"
#include "common/win/wide_text.h"

namespace tessal {

namespace {

constexpr NTSTATUS kStatusSharingViolation = static_cast<NTSTATUS>(0xC0000043L);
constexpr NTSTATUS kStatusDeletePending = static_cast<NTSTATUS>(0xC0000056L);
constexpr NTSTATUS kStatusNameNotFound = static_cast<NTSTATUS>(0xC0000034L);
constexpr NTSTATUS kStatusPathNotFound = static_cast<NTSTATUS>(0xC000003AL);
constexpr NTSTATUS kStatusAccessDenied = static_cast<NTSTATUS>(0xC0000022L);
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Held folders are shared for everything but deletion, so they cannot be
// renamed or removed while the program holds them.
constexpr ULONG kShareHeld = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
constexpr int kMaxTreeDepth = 64;

struct Opened {
  ScopedFileHandle handle;  // invalid unless the open succeeded
  NTSTATUS status = 0;
};

// Opens one name relative to `root`, never following a reparse point there.
Opened OpenRelative(HANDLE root, std::wstring name, ACCESS_MASK access, ULONG share,
                    ULONG disposition, ULONG options) {
  UNICODE_STRING us;
  us.Buffer = name.data();
  us.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  us.MaximumLength = us.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &us, OBJ_CASE_INSENSITIVE, root, nullptr);
  IO_STATUS_BLOCK io{};
  Opened out;
  HANDLE h = nullptr;
  out.status = NtCreateFile(
      &h, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
      disposition, options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
  if (NT_SUCCESS(out.status)) out.handle.reset(h);
  return out;
}

bool Info(HANDLE h, BY_HANDLE_FILE_INFORMATION* info) {
  return GetFileInformationByHandle(h, info) != 0;
}

bool IsPlainSingleLinkFile(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info;
  return Info(h, &info) &&
         (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
         info.nNumberOfLinks == 1;
}

bool IsRealFolder(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info;
  return Info(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

std::wstring WithoutLongPrefix(std::wstring path) {
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\" + path.substr(7);
  if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
  return path;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// True when the handle's final path (every link and junction resolved) is the
// path the caller meant, in its full or its long form.
bool FinalPathIs(HANDLE h, const std::string& expected) {
  wchar_t final_path[1024];
  DWORD n = GetFinalPathNameByHandleW(h, final_path, 1024, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n == 0 || n >= 1024) return false;
  std::wstring actual = WithoutLongPrefix(std::wstring(final_path, n));
  wchar_t full[1024];
  DWORD m = GetFullPathNameW(Widen(expected).c_str(), 1024, full, nullptr);
  if (m == 0 || m >= 1024) return false;
  if (SamePath(actual, full)) return true;
  wchar_t long_form[1024];
  DWORD k = GetLongPathNameW(full, long_form, 1024);
  return k > 0 && k < 1024 && SamePath(actual, long_form);
}

bool MarkForDeletion(HANDLE h) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof(disposition)))
    return true;
  // A read-only entry cannot be deleted until the attribute is gone.
  FILE_BASIC_INFO basic{};
  basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof(basic)) &&
         SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof(disposition));
}

// The access rights of one file, to be given to the file that takes its place.
// The owner stays the creator's (the elevated program's); the rights decide.
class SecurityCopy {
 public:
  SecurityCopy() = default;
  SecurityCopy(const SecurityCopy&) = delete;
  SecurityCopy& operator=(const SecurityCopy&) = delete;
  ~SecurityCopy() {
    if (descriptor_ != nullptr) LocalFree(descriptor_);
  }
  bool Read(HANDLE file) {
    if (GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl_,
                        nullptr, &descriptor_) != ERROR_SUCCESS) {
      return false;
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    protected_ = GetSecurityDescriptorControl(descriptor_, &control, &revision) &&
                 (control & SE_DACL_PROTECTED);
    return true;
  }
  // An unprotected list takes its inherited entries from the folder again, as
  // the old file's did.
  bool WriteTo(HANDLE file) const {
    SECURITY_INFORMATION what =
        DACL_SECURITY_INFORMATION |
        (protected_ ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
    return SetSecurityInfo(file, SE_FILE_OBJECT, what, nullptr, nullptr, dacl_, nullptr) ==
           ERROR_SUCCESS;
  }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  PACL dacl_ = nullptr;  // inside descriptor_; null means no list at all
  bool protected_ = false;
};

// Renames the open file to `name` in `folder`, over an existing file of that
// name, in one step. The native call resolves the name relative to the held
// folder; SetFileInformationByHandle would take it for a path.
OpenStatus RenameRelative(HANDLE file, HANDLE folder, const std::wstring& name) {
  std::size_t bytes = name.size() * sizeof(wchar_t);
  // FILE_RENAME_INFO has the layout of the native FILE_RENAME_INFORMATION.
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + bytes);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = folder;
  info->FileNameLength = static_cast<DWORD>(bytes);
  std::copy(name.begin(), name.end(), info->FileName);
  IO_STATUS_BLOCK io{};
  NTSTATUS status = NtSetInformationFile(file, &io, info, static_cast<ULONG>(buffer.size()),
                                         FileRenameInformation);
  if (NT_SUCCESS(status)) return OpenStatus::kOpened;
  bool busy = status == kStatusSharingViolation || status == kStatusAccessDenied;
  return busy ? OpenStatus::kBusy : OpenStatus::kRefused;
}

bool RemoveEntries(HANDLE folder, ULONGLONG deadline, int depth);

// Removes one entry of `folder`: a real folder with its contents, anything else
// (file, link, junction) as the name it is.
bool RemoveEntry(HANDLE folder, const std::wstring& name, ULONGLONG deadline, int depth) {
  Opened e = OpenRelative(
      folder, name, DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
      kShareAll, FILE_OPEN, 0);
  if (!e.handle.valid()) return e.status == kStatusNameNotFound;
  bool emptied =
      !IsRealFolder(e.handle.get()) || RemoveEntries(e.handle.get(), deadline, depth + 1);
  return emptied && MarkForDeletion(e.handle.get());
}

bool RemoveEntries(HANDLE folder, ULONGLONG deadline, int depth) {
  if (depth > kMaxTreeDepth) return false;
  alignas(8) unsigned char buffer[16 * 1024];
  bool all = true;
  FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
  while (GetFileInformationByHandleEx(folder, kind, buffer, sizeof(buffer))) {
    kind = FileIdBothDirectoryInfo;
    for (auto* e = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(buffer);;
         e = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(reinterpret_cast<unsigned char*>(e) +
                                                      e->NextEntryOffset)) {
      std::wstring name(e->FileName, e->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") {
        if (GetTickCount64() > deadline) return false;
        all = RemoveEntry(folder, name, deadline, depth) && all;
      }
      if (e->NextEntryOffset == 0) break;
    }
  }
  return all;
}

}  // namespace

void SafeFolder::Close() {
  if (valid()) CloseHandle(handle_);
  handle_ = InvalidNativeFile();
}

bool SafeFolder::valid() const { return handle_ != InvalidNativeFile() && handle_ != nullptr; }

SafeFolder SafeFolder::Hold(const std::string& path) {
  SafeFolder folder(
      CreateFileW(Widen(path).c_str(), kFolderAccess, kShareHeld, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr),
      path);
  if (!folder.valid()) return SafeFolder();
  if (!IsRealFolder(folder.handle_) || !FinalPathIs(folder.handle_, path)) return SafeFolder();
  return folder;
}

SafeFolder SafeFolder::HoldChild(std::string_view name, bool create) const {
  if (!valid() || !IsSingleComponent(name)) return SafeFolder();
  Opened c = OpenRelative(handle_, Widen(name), kFolderAccess, kShareHeld,
                          create ? FILE_OPEN_IF : FILE_OPEN, FILE_DIRECTORY_FILE);
  if (!c.handle.valid()) return SafeFolder();
  std::string path = path_ + "\\" + std::string(name);
  SafeFolder child(c.handle.release(), path);
  if (!IsRealFolder(child.handle_) || !FinalPathIs(child.handle_, path)) return SafeFolder();
  return child;
}

File SafeFolder::OpenForUpdate(std::string_view name, OpenStatus* status) const {
  OpenStatus ignored;
  OpenStatus& st = status ? *status : ignored;
  st = OpenStatus::kRefused;
  if (!valid() || !IsSingleComponent(name)) return File();
  // FILE_OPEN_IF never truncates, so a refused file keeps its content.
  Opened f = OpenRelative(handle_, Widen(name), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                          FILE_OPEN_IF, FILE_NON_DIRECTORY_FILE);
  if (!f.handle.valid()) {
    if (f.status == kStatusSharingViolation || f.status == kStatusDeletePending)
      st = OpenStatus::kBusy;
    return File();
  }
  if (!IsPlainSingleLinkFile(f.handle.get())) return File();
  st = OpenStatus::kOpened;
  return File(f.handle.release());
}

File SafeFolder::OpenForRead(std::string_view name, OpenStatus* status) const {
  OpenStatus ignored;
  OpenStatus& st = status ? *status : ignored;
  st = OpenStatus::kRefused;
  if (!valid() || !IsSingleComponent(name)) return File();
  Opened f = OpenRelative(handle_, Widen(name), GENERIC_READ, kShareAll, FILE_OPEN,
                          FILE_NON_DIRECTORY_FILE);
  if (!f.handle.valid()) {
    if (f.status == kStatusSharingViolation) st = OpenStatus::kBusy;
    return File();
  }
  if (!IsPlainSingleLinkFile(f.handle.get())) return File();
  st = OpenStatus::kOpened;
  return File(f.handle.release());
}

bool SafeFolder::HasChild(std::string_view name) const {
  if (!valid() || !IsSingleComponent(name)) return false;
  Opened f = OpenRelative(handle_, Widen(name), FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0);
  f.handle.reset();
  return f.status != kStatusNameNotFound && f.status != kStatusPathNotFound;
}

File SafeFolder::CreateNew(std::string_view name) const {
  if (!valid() || !IsSingleComponent(name)) return File();
  // FILE_CREATE fails on any existing entry, a planted link included.
  Opened f = OpenRelative(handle_, Widen(name), GENERIC_READ | GENERIC_WRITE | DELETE,
                          FILE_SHARE_READ, FILE_CREATE, FILE_NON_DIRECTORY_FILE);
  return f.handle.valid() ? File(f.handle.release()) : File();
}

OpenStatus SafeFolder::ReplaceChild(std::string_view from, std::string_view to) const {
  if (!valid() || !IsSingleComponent(from) || !IsSingleComponent(to)) return OpenStatus::kRefused;
  std::wstring to_name = Widen(to);
  FILE_BASIC_INFO old_basic{};
  SecurityCopy rights;
  {
    Opened old = OpenRelative(handle_, to_name, READ_CONTROL | FILE_READ_ATTRIBUTES, kShareAll,
                              FILE_OPEN, FILE_NON_DIRECTORY_FILE);
    if (!old.handle.valid()) {
      return old.status == kStatusSharingViolation ? OpenStatus::kBusy : OpenStatus::kRefused;
    }
    bool read = IsPlainSingleLinkFile(old.handle.get()) &&
                GetFileInformationByHandleEx(old.handle.get(), FileBasicInfo, &old_basic,
                                             sizeof(old_basic)) &&
                rights.Read(old.handle.get());
    // The handle must be closed before the rename: a replaced file may not be open.
    old.handle.reset();
    if (!read) return OpenStatus::kRefused;
    if (old_basic.FileAttributes & FILE_ATTRIBUTE_READONLY) return OpenStatus::kBusy;
  }
  Opened fresh =
      OpenRelative(handle_, Widen(from),
                   DELETE | READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                   FILE_SHARE_READ, FILE_OPEN, FILE_NON_DIRECTORY_FILE);
  if (!fresh.handle.valid()) return OpenStatus::kRefused;
  FILE_BASIC_INFO attributes{};  // times left as they are
  attributes.FileAttributes = old_basic.FileAttributes;
  bool ready = IsPlainSingleLinkFile(fresh.handle.get()) && rights.WriteTo(fresh.handle.get()) &&
               SetFileInformationByHandle(fresh.handle.get(), FileBasicInfo, &attributes,
                                          sizeof(attributes));
  return ready ? RenameRelative(fresh.handle.get(), handle_, to_name) : OpenStatus::kRefused;
}

bool SafeFolder::DeleteChild(std::string_view name) const {
  if (!valid() || !IsSingleComponent(name)) return false;
  Opened f = OpenRelative(handle_, Widen(name), DELETE | FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN,
                          FILE_NON_DIRECTORY_FILE);
  if (!f.handle.valid()) return false;
  FILE_DISPOSITION_INFO disposition{TRUE};
  return IsPlainSingleLinkFile(f.handle.get()) &&
         SetFileInformationByHandle(f.handle.get(), FileDispositionInfo, &disposition,
                                    sizeof(disposition));
}

bool SafeFolder::RemoveTree(std::string_view name, unsigned time_limit_ms) const {
  if (!valid() || !IsSingleComponent(name)) return false;
  return RemoveEntry(handle_, Widen(name), GetTickCount64() + time_limit_ms, 0);
}

}  // namespace tessal
