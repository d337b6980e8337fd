// The watched-host list of the URL check: the caller's text followed by the
// address of every "https://name;" entry that resolves, each with its ";".
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace qvw {

constexpr size_t kTargetListSize = 4096;

using Resolver = std::function<bool(const std::string& name, std::string* dotted)>;
using LineLogger = std::function<void(const char* tag, const char* text)>;

// Rebuilds list (kTargetListSize bytes) from text. A text longer than the list
// is cut; an address that no longer fits (with its ";") is not appended, and
// nothing more is appended after it. The list always stays terminated.
// log("resolve", name) is called before each lookup.
void BuildTargetList(const char* text, char* list, const Resolver& resolve, const LineLogger& log);

}  // namespace qvw
