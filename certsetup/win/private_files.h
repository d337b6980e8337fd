// The certificate files written beside the program, readable by administrators
// and SYSTEM only.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace seal {

struct PrivateFile {
  std::wstring name;
  const std::string* bytes;
};

// The whole of a small file; false when it is missing, not a plain file or
// larger than `limit`.
bool ReadSmallFile(const std::wstring& path, std::size_t limit, std::string* bytes);

// Writes every file beside its place ("<name>.new") and only then moves them
// all into place, over older ones. False when any step failed; the partly
// written new files are removed then.
bool PutPrivateFiles(const std::wstring& folder, const std::vector<PrivateFile>& files);

}  // namespace seal
