#include "certsetup/win/private_files.h"

#include "common/win/platform.h"
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>

#include "common/win/scoped_handle.h"

namespace seal {
namespace {

// Protected (nothing inherited from the folder): full control for SYSTEM and
// the administrators, nobody else may even read.
constexpr wchar_t kPrivateRights[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";

class PrivateDescriptor {
 public:
  PrivateDescriptor() {
    ConvertStringSecurityDescriptorToSecurityDescriptorW(kPrivateRights, SDDL_REVISION_1,
                                                         &descriptor_, nullptr);
  }
  ~PrivateDescriptor() { LocalFree(descriptor_); }
  PrivateDescriptor(const PrivateDescriptor&) = delete;
  PrivateDescriptor& operator=(const PrivateDescriptor&) = delete;

  PSECURITY_DESCRIPTOR get() const { return descriptor_; }
  PACL Dacl() const {
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!descriptor_ || !GetSecurityDescriptorDacl(descriptor_, &present, &dacl, &defaulted) ||
        !present) {
      return nullptr;
    }
    return dacl;
  }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return folder + L"\\" + name;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
      return false;
    done += written;
  }
  return FlushFileBuffers(file) != 0;
}

// A new file that has the private rights from its creation on; they are set
// once more on the handle so that a system that cannot apply them fails here.
bool WriteNewPrivateFile(const std::wstring& path, const std::string& bytes,
                         const PrivateDescriptor& rights) {
  PACL dacl = rights.Dacl();
  if (dacl == nullptr) return false;
  DeleteFileW(path.c_str());  // left over from an interrupted run
  SECURITY_ATTRIBUTES attributes{sizeof attributes, rights.get(), FALSE};
  tessal::ScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE | WRITE_DAC, 0, &attributes,
                                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  return WriteAll(file.get(), bytes) &&
         SetSecurityInfo(file.get(), SE_FILE_OBJECT,
                         DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                         nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

}  // namespace

bool ReadSmallFile(const std::wstring& path, std::size_t limit, std::string* bytes) {
  tessal::ScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(file.get(), &size) && size.QuadPart >= 0 &&
            static_cast<ULONGLONG>(size.QuadPart) <= limit;
  bytes->assign(ok ? static_cast<std::size_t>(size.QuadPart) : 0, '\0');
  DWORD read = 0;
  return ok && (bytes->empty() || (ReadFile(file.get(), &(*bytes)[0],
                                            static_cast<DWORD>(bytes->size()), &read, nullptr) &&
                                   read == bytes->size()));
}

// The program's folder is the suite's installation folder, which only
// administrators can change, so whole paths are safe here.
bool PutPrivateFiles(const std::wstring& folder, const std::vector<PrivateFile>& files) {
  PrivateDescriptor rights;
  bool ok = true;
  for (const PrivateFile& f : files) {
    ok = ok && WriteNewPrivateFile(Join(folder, f.name + L".new"), *f.bytes, rights);
  }
  for (const PrivateFile& f : files) {
    std::wstring fresh = Join(folder, f.name + L".new");
    ok = ok && MoveFileExW(fresh.c_str(), Join(folder, f.name).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) DeleteFileW(fresh.c_str());
  }
  return ok;
}

}  // namespace seal
