// The special-folder lookup and the Windows version code of the running system,
// shared by the setup manifest and installation information libraries.
#pragma once

#include <string>

namespace tessal {

// Class of the running Windows plus 10 on x64; `current` is kept (and no 10 added)
// when the version cannot be read.
int WindowsVersionCode(int current);

// Folder of a folder type (0 to 8) ending with a backslash; empty when the type is
// unknown or the system has no such folder. A version code of -1 is computed.
std::string LookupSpecialFolder(int type, int all_users, int version_code);

// The Windows folder with a trailing backslash (folder type 2).
std::string WindowsFolder();

}  // namespace tessal
