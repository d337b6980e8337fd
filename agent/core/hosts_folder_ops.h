// The hosts guard's file operations on the held folder of the hosts file: each
// one reaches its file relative to the held handle, so no link planted in the
// folder turns a backup or a replace into a write anywhere else.
#pragma once

#include "agent/core/hosts_guard.h"
#include "common/core/safe_folder.h"

namespace kestra {

class HeldFolderHostsOps : public HostsFileOps {
 public:
  explicit HeldFolderHostsOps(const tessal::SafeFolder& folder) : folder_(folder) {}

  FileOpStatus Read(const std::string& name, std::size_t limit, std::string* bytes) override;
  bool Exists(const std::string& name) override { return folder_.HasChild(name); }
  FileOpStatus CopyToNew(const std::string& from, const std::string& to) override;
  FileOpStatus WriteNew(const std::string& name, const std::string& bytes) override;
  FileOpStatus Replace(const std::string& from, const std::string& to) override;
  bool Delete(const std::string& name) override { return folder_.DeleteChild(name); }

 private:
  const tessal::SafeFolder& folder_;
};

}  // namespace kestra
