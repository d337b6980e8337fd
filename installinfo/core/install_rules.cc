#include "installinfo/core/install_rules.h"

#include <algorithm>
#include <cstdio>

#include "common/core/ansi_text.h"

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
  if (name == "HKEY_CLASSES_ROOT")
    *root = RegistryRoot::kClassesRoot;
  else if (name == "HKEY_CURRENT_USER")
    *root = RegistryRoot::kCurrentUser;
  else if (name == "HKEY_LOCAL_MACHINE")
    *root = RegistryRoot::kLocalMachine;
  else if (name == "HKEY_USERS")
    *root = RegistryRoot::kUsers;
  else if (name == "HKEY_CURRENT_CONFIG")
    *root = RegistryRoot::kCurrentConfig;
  else
    return false;
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

bool MonitorListReader::Feed(std::string_view bytes) {
  for (char c : bytes) {
    if (list_.stopped) return false;
    if (taken_ == kMaxListBytes) {
      list_.stopped = true;
      return false;
    }
    ++taken_;
    if (c == '\n') {
      EndLine();
      continue;
    }
    pending_.push_back(c);
    // One byte more than a piece is kept: a CR there may still turn out to end the line.
    if (pending_.size() > kMaxListLine + 1) {
      TakePiece(std::string_view(pending_).substr(0, kMaxListLine));
      pending_.erase(0, kMaxListLine);
    }
  }
  return !list_.stopped;
}

void MonitorListReader::EndLine() {
  std::string_view line = pending_;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  do {
    TakePiece(line.substr(0, kMaxListLine));
    line.remove_prefix(std::min(line.size(), kMaxListLine));
  } while (!line.empty());
  pending_.clear();
}

void MonitorListReader::TakePiece(std::string_view piece) {
  if (list_.stopped) return;
  MonitorPair pair;
  if (!ParseMonitorLine(piece, &pair)) {
    ++list_.parse_errors;
    return;
  }
  list_.pairs.push_back(std::move(pair));
  if (list_.pairs.size() == kMaxMonitorPairs) list_.stopped = true;
}

MonitorList MonitorListReader::Finish() {
  // A line cut off by the byte bound is not taken.
  if (!list_.stopped && !pending_.empty()) EndLine();
  pending_.clear();
  return std::move(list_);
}

MonitorList ParseMonitorList(std::string_view content) {
  MonitorListReader reader;
  reader.Feed(content);
  return reader.Finish();
}

bool IsUsableProjectName(std::string_view name) {
  return name.find_first_of("\\/:") == std::string_view::npos &&
         name.find("..") == std::string_view::npos;
}

std::string TemporaryPathBeside(std::string_view target, uint64_t nonce) {
  std::size_t folder_end = 0;
  for (std::size_t i = 0; i < target.size();) {
    if (target[i] == '\\' || target[i] == '/') folder_end = i + 1;
    i += (tessal::IsLeadByte(static_cast<unsigned char>(target[i])) && i + 1 < target.size()) ? 2
                                                                                              : 1;
  }
  char name[32];
  std::snprintf(name, sizeof(name), "~pk%016llx.tmp", static_cast<unsigned long long>(nonce));
  return std::string(target.substr(0, folder_end)) + name;
}

bool IsFullPath(std::string_view path) {
  bool drive = path.size() >= 3 && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') &&
               path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  bool unc = path.size() >= 3 && path[0] == '\\' && path[1] == '\\' && path[2] != '\\';
  return drive || unc;
}

LibraryLoad PlanLibraryLoad(std::string_view folder, std::string_view file_name) {
  LibraryLoad load;
  load.path = std::string(folder) + std::string(file_name);
  if (folder.empty()) {
    load.kind = LibraryLoad::Kind::kBesideProgram;
  } else if (IsFullPath(folder)) {
    load.kind = LibraryLoad::Kind::kFullPath;
  } else {
    load.kind = LibraryLoad::Kind::kRelativePath;
  }
  return load;
}

MonitorAction DecideMonitorAction(bool installed_exists, bool versions_read,
                                  std::string_view installed_version,
                                  std::string_view protected_version) {
  if (!installed_exists) return MonitorAction::kCopy;
  if (versions_read && installed_version != protected_version) return MonitorAction::kCopy;
  return MonitorAction::kNothing;
}

}  // namespace tavin
