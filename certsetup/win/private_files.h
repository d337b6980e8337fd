// The certificate files written beside the program, readable by administrators
// and SYSTEM only.
#pragma once

#include <string>
#include <vector>

namespace seal {

struct PrivateFile {
  std::wstring name;
  const std::string* bytes;
};

// Whether every one of the names is a non-empty file in the folder.
bool AllPresent(const std::wstring& folder, const std::vector<std::wstring>& names);

// Writes every file beside its place ("<name>.new") and only then moves them
// all into place, over older ones. False when any step failed; the partly
// written new files are removed then.
bool PutPrivateFiles(const std::wstring& folder, const std::vector<PrivateFile>& files);

}  // namespace seal
