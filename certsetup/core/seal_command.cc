#include "certsetup/core/seal_command.h"

#include <cctype>

namespace seal {
namespace {

// "/make" -> "make"; empty for anything that is not a switch.
std::string SwitchName(const std::string& arg) {
  if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) return std::string();
  std::string name;
  for (char c : arg.substr(1))
    name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

}  // namespace

Command ParseCommand(const std::vector<std::string>& args) {
  Command command;
  bool make = false, remove = false;
  for (const std::string& arg : args) {
    std::string name = SwitchName(arg);
    if (name == "make") {
      make = true;
    } else if (name == "remove") {
      remove = true;
    } else if (name == "force") {
      command.force = true;
    } else {
      return Command();
    }
  }
  if (make == remove || (remove && command.force)) return Command();
  command.action = make ? Action::kMake : Action::kRemove;
  return command;
}

}  // namespace seal
