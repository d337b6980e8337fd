// Decisions the agent takes once at start-up, from inputs the Win32 side gathers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestra {

enum class Edition { kX, kR };

// The R edition is the program file named with an extra R before the extension.
Edition ChooseEdition(std::string_view program_path);

// "<appdata>\TessalX" lower-cased when that folder already exists, else "c:\temp".
std::string ChooseBaseFolder(const std::string& appdata, bool tessalx_exists);
std::string TessalXFolder(const std::string& appdata);
// The work folder's name in the base folder, and its full path.
inline constexpr char kWorkFolderName[] = "CVWork";
std::string WorkFolderOf(const std::string& base_folder);

// The keep-alive service of the form "1, 0, 0, 1" predates the HTTPS responder.
bool IsResponderlessServiceVersion(std::string_view file_version);

// What start-up learned of one system support library.
struct SupportLibrary {
  bool exists = false;
  std::optional<std::string> version;  // empty when the version text could not be read
};
// Versions "1, 0, 4, 0" to "1, 0, 4, 13" of the support library are too old.
bool IsOutdatedSupportVersion(std::string_view file_version);
// brellon is the 32-bit support library (System32, else SysWow64); brellonx the other.
bool IsSupportOutdated(const SupportLibrary& brellonx, const SupportLibrary& brellon);

// "%02X-%02X-%02X-%02X-%02X-%02X" of the first six bytes, or "" for no address.
std::string FormatMacText(const unsigned char* address, std::size_t length);

}  // namespace kestra
