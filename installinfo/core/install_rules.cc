#include "core/install_rules.h"

#include <cstdio>

#include "core/ansi_text.h"

namespace tavin {
namespace {

// Position of the first occurrence of `what` at or after `from` that starts on a
// character boundary of the 8-bit text.
std::size_t FindAnsi(std::string_view text, std::string_view what, std::size_t from) {
  std::size_t i = 0;
  while (i < text.size()) {
    if (i >= from && text.compare(i, what.size(), what) == 0) return i;
    i += (tessal::IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
  }
  return std::string_view::npos;
}

int DecimalPrefix(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (v < (1LL << 40)) v = v * 10 + (text[i] - '0');
  }
  if (negative) v = -v;
  if (v > 0x7FFFFFFF) return 0x7FFFFFFF;
  if (v < -0x7FFFFFFF - 1) return -0x7FFFFFFF - 1;
  return static_cast<int>(v);
}

}  // namespace

std::string ManifestNameFromSetupIni(std::string_view content) {
  std::size_t end = content.find('\n');
  std::size_t n = end == std::string_view::npos ? content.size() : end + 1;
  if (n > kRootFolderMax) n = kRootFolderMax;
  std::string name(content.substr(0, n));
  // A NUL in the file ends the text as it would in the line buffer.
  std::size_t nul = name.find('\0');
  if (nul != std::string::npos) name.resize(nul);
  return name;
}

int InstallStateFromText(std::string_view text, bool updater_window_present) {
  int value = DecimalPrefix(text);
  if (value == 1 && !updater_window_present) return kStateUpdaterGone;
  return value;
}

bool SplitRegistryPath(std::string_view path, RegistryRoot* root, std::string* sub_key) {
  std::size_t slash = path.find('\\');
  if (slash == std::string_view::npos || slash > 127) return false;
  std::string_view name = path.substr(0, slash);
  std::string_view rest = path.substr(slash + 1);
  if (rest.size() > 259) return false;
  if (name == "HKEY_CLASSES_ROOT") *root = RegistryRoot::kClassesRoot;
  else if (name == "HKEY_CURRENT_USER") *root = RegistryRoot::kCurrentUser;
  else if (name == "HKEY_LOCAL_MACHINE") *root = RegistryRoot::kLocalMachine;
  else if (name == "HKEY_USERS") *root = RegistryRoot::kUsers;
  else if (name == "HKEY_CURRENT_CONFIG") *root = RegistryRoot::kCurrentConfig;
  else return false;
  sub_key->assign(rest);
  return true;
}

bool UpdaterCommandLine(std::string_view program, int number, std::string* command_line) {
  char args[32];
  std::snprintf(args, sizeof(args), "update %d", number);
  std::string line = "\"" + std::string(program) + "\"  " + args;
  if (line.size() > 519) return false;
  *command_line = std::move(line);
  return true;
}

bool ExtractBetween(std::string_view line, std::string_view open, std::string_view close,
                    std::string* out) {
  std::size_t begin = FindAnsi(line, open, 0);
  if (begin == std::string_view::npos) return false;
  begin += open.size();
  std::size_t end = FindAnsi(line, close, begin);
  if (end == std::string_view::npos) return false;
  out->assign(line.substr(begin, end - begin));
  return true;
}

bool ParseMonitorLine(std::string_view line, MonitorPair* pair) {
  return ExtractBetween(line, "<INSTALLEDFILE>", "</INSTALLEDFILE>", &pair->installed) &&
         ExtractBetween(line, "<PROTECTEDFILE>", "</PROTECTEDFILE>", &pair->protected_copy);
}

std::vector<std::string> SplitListLines(std::string_view content) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t end = content.find('\n', pos);
    std::size_t line_end = end == std::string_view::npos ? content.size() : end;
    std::string_view line = content.substr(pos, line_end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    // A line longer than the buffer arrives in pieces, as a line read would give it.
    do {
      lines.emplace_back(line.substr(0, kMaxListLine));
      line.remove_prefix(line.size() < kMaxListLine ? line.size() : kMaxListLine);
    } while (!line.empty());
    pos = end == std::string_view::npos ? content.size() : end + 1;
  }
  return lines;
}

MonitorAction DecideMonitorAction(bool installed_exists, bool versions_read,
                                  std::string_view installed_version, std::string_view protected_version) {
  if (!installed_exists) return MonitorAction::kCopy;
  if (versions_read && installed_version != protected_version) return MonitorAction::kCopy;
  return MonitorAction::kNothing;
}

}  // namespace tavin
