#include "agent/core/hosts_folder_ops.h"

namespace kestra {

FileOpStatus HeldFolderHostsOps::Read(const std::string& name, std::size_t limit,
                                      std::string* bytes) {
  tessal::OpenStatus status = tessal::OpenStatus::kRefused;
  tessal::File file = folder_.OpenForRead(name, &status);
  if (!file.valid()) {
    if (status == tessal::OpenStatus::kBusy) return FileOpStatus::kLocked;
    return folder_.HasChild(name) ? FileOpStatus::kFailed : FileOpStatus::kMissing;
  }
  return file.ReadAtMost(limit, bytes) ? FileOpStatus::kOk : FileOpStatus::kFailed;
}

FileOpStatus HeldFolderHostsOps::CopyToNew(const std::string& from, const std::string& to) {
  std::string bytes;
  FileOpStatus read = Read(from, kMaxHostsFileBytes + 1, &bytes);
  return read == FileOpStatus::kOk ? WriteNew(to, bytes) : read;
}

FileOpStatus HeldFolderHostsOps::WriteNew(const std::string& name, const std::string& bytes) {
  tessal::File file = folder_.CreateNew(name);
  if (!file.valid()) return FileOpStatus::kFailed;
  if (file.ReplaceContent(bytes)) return FileOpStatus::kOk;
  file.Close();
  folder_.DeleteChild(name);  // no half-written file stays behind
  return FileOpStatus::kFailed;
}

FileOpStatus HeldFolderHostsOps::Replace(const std::string& from, const std::string& to) {
  switch (folder_.ReplaceChild(from, to)) {
    case tessal::OpenStatus::kOpened: return FileOpStatus::kOk;
    case tessal::OpenStatus::kBusy: return FileOpStatus::kLocked;
    case tessal::OpenStatus::kRefused: break;
  }
  return FileOpStatus::kFailed;
}

}  // namespace kestra
