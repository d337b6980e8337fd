// qvTessalSeal's command line: "/make" (optionally "/force") or "/remove".
#pragma once

#include <string>
#include <vector>

namespace seal {

enum class Action { kInvalid, kMake, kRemove };

struct Command {
  Action action = Action::kInvalid;
  bool force = false;  // /make replaces files that are there already
};

// The arguments after the program name; switches are case-insensitive and may
// start with '-' as well as '/'.
Command ParseCommand(const std::vector<std::string>& args);

// Exit codes: the installer tells success from failure, nothing more.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitMakeFailed = 2;
inline constexpr int kExitWriteFailed = 3;
inline constexpr int kExitRemoveFailed = 4;

}  // namespace seal
