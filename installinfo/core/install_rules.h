// Decisions of the installation information library that need no system call:
// the manifest name file, the installer state, registry paths, the updater's
// command line and the installed-file monitor's list and pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavin {

inline constexpr std::size_t kRootFolderMax = 259;
inline constexpr const char* kRootNotSetText =
    "set root path before update - call SetRootPath function";

// First line of "setup.ini" as a 260-byte line read gives it: up to and including
// the first line break, at most 259 bytes. The break stays part of the name.
std::string ManifestNameFromSetupIni(std::string_view content);

// Installer state from the "InstallState" text: its decimal value, except that
// 1 becomes 102 while the updater's window is absent.
inline constexpr int kStateNoValue = 101;
inline constexpr int kStateUpdaterGone = 102;
int InstallStateFromText(std::string_view text, bool updater_window_present);

enum class RegistryRoot {
  kNone,
  kClassesRoot,
  kCurrentUser,
  kLocalMachine,
  kUsers,
  kCurrentConfig
};
// Splits "ROOT\sub\key" at the first backslash. False for an unknown root name,
// a root name over 127 bytes, no backslash, or a sub-key over 259 bytes.
bool SplitRegistryPath(std::string_view path, RegistryRoot* root, std::string* sub_key);

// "\"<program>\"  update <number>" ; false when it would not fit in 520 bytes
// (a cut command line could start something else).
bool UpdaterCommandLine(std::string_view program, int number, std::string* command_line);

// One pair of the monitor list.
struct MonitorPair {
  std::string installed;
  std::string protected_copy;
};
inline constexpr std::size_t kMaxMonitorPairs = 200;
inline constexpr std::size_t kMaxListLine = 2047;
// The most of the list that is ever read: 200 pairs of full-length lines with
// room for blank and bad lines between them.
inline constexpr std::size_t kMaxListBytes = 1u << 20;

// Text between the first `open` and the first `close` after it, found at
// character boundaries; false when either is missing.
bool ExtractBetween(std::string_view line, std::string_view open, std::string_view close,
                    std::string* out);
// A list line: both tag pairs, in either order.
bool ParseMonitorLine(std::string_view line, MonitorPair* pair);

struct MonitorList {
  std::vector<MonitorPair> pairs;  // at most kMaxMonitorPairs
  int parse_errors = 0;            // lines without both tag pairs
  bool stopped = false;            // reading ended at the pair table's or the byte bound
};

// Reads the list as it arrives, line by line as a 2048-byte line buffer would
// (a longer line comes in pieces of at most 2047 bytes; the line break and a CR
// before it are not part of the line). Reading ends when the pair table is full
// or kMaxListBytes have been taken, so no list is ever held whole.
class MonitorListReader {
 public:
  // Takes the next bytes; false once no more are wanted.
  bool Feed(std::string_view bytes);
  // The list, with a last line that had no line break.
  MonitorList Finish();

 private:
  void EndLine();
  void TakePiece(std::string_view piece);

  std::string pending_;
  std::size_t taken_ = 0;
  MonitorList list_;
};
MonitorList ParseMonitorList(std::string_view content);

// A project name names one folder right under the Windows folder: no separator,
// drive or parent step that would put the protected folder anywhere else.
bool IsUsableProjectName(std::string_view name);

// A temporary file beside `target` (same folder): "~pk" and 16 hexadecimal
// digits of `nonce`, ".tmp".
std::string TemporaryPathBeside(std::string_view target, uint64_t nonce);

// How a library of the suite is loaded from a folder without touching the host
// process's search order.
struct LibraryLoad {
  enum class Kind {
    kFullPath,       // path is complete: its dependencies are looked for beside it first
    kRelativePath,   // make it complete first
    kBesideProgram,  // no folder: the program's own folder and the system folder only
  } kind = Kind::kBesideProgram;
  std::string path;
};
LibraryLoad PlanLibraryLoad(std::string_view folder, std::string_view file_name);
// "X:\..." or a UNC path "\\server\...".
bool IsFullPath(std::string_view path);

// What one monitor pass does with one pair.
enum class MonitorAction { kNothing, kCopy };
// A missing installed file is always put back; a present one only when its
// version text differs from the protected copy's (both read), so that an
// unchanged file is not rewritten every ten seconds.
MonitorAction DecideMonitorAction(bool installed_exists, bool versions_read,
                                  std::string_view installed_version,
                                  std::string_view protected_version);

}  // namespace tavin
