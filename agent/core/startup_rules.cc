#include "agent/core/startup_rules.h"

#include <cstdio>

#include "common/core/ansi_text.h"
#include "common/core/file_io.h"

namespace kestra {

Edition ChooseEdition(std::string_view program_path) {
  std::string lower = tessal::LowerAnsi(program_path);
  bool x_name = lower.find("qvtessalkestra.") != std::string::npos;
  bool r_name = lower.find("qvtessalkestrar.") != std::string::npos;
  return !x_name && r_name ? Edition::kR : Edition::kX;
}

std::string TessalXFolder(const std::string& appdata) {
  return appdata + tessal::kPathSeparator + "TessalX";
}

std::string ChooseBaseFolder(const std::string& appdata, bool tessalx_exists) {
  if (!tessalx_exists) return "c:\\temp";
  return tessal::LowerAnsi(TessalXFolder(appdata));
}

std::string WorkFolderOf(const std::string& base_folder) {
  return base_folder + tessal::kPathSeparator + kWorkFolderName;
}

bool IsResponderlessServiceVersion(std::string_view v) {
  return v.size() >= 10 && v[0] == '1' && v[3] == '0' && v[6] == '0' && v[9] == '1';
}

bool IsOutdatedSupportVersion(std::string_view v) {
  if (v.size() < 7 || v[0] != '1' || v[3] != '0' || v[6] != '4') return false;
  if (v.size() <= 10) return true;
  return v[9] == '1' && v[10] <= '3';
}

bool IsSupportOutdated(const SupportLibrary& brellonx, const SupportLibrary& brellon) {
  if (!brellon.exists) return true;
  for (const SupportLibrary* lib : {&brellonx, &brellon}) {
    if (!lib->exists) continue;
    if (!lib->version || IsOutdatedSupportVersion(*lib->version)) return true;
  }
  return false;
}

std::string FormatMacText(const unsigned char* a, std::size_t length) {
  if (a == nullptr || length == 0) return "";
  unsigned char b[6] = {0, 0, 0, 0, 0, 0};
  for (std::size_t i = 0; i < 6 && i < length; ++i) b[i] = a[i];
  char text[32];
  std::snprintf(text, sizeof(text), "%02X-%02X-%02X-%02X-%02X-%02X", b[0], b[1], b[2], b[3], b[4],
                b[5]);
  return text;
}

}  // namespace kestra
