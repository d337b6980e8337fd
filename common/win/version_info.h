// Reads the "FileVersion" text of a program or library's version resource.
#pragma once

#include <string>

namespace tessal {

// The FileVersion string of the first translation ("\StringFileInfo\%08x\FileVersion");
// false when the file has no readable version resource.
bool ReadFileVersionText(const std::string& path, std::string* version);

}  // namespace tessal
