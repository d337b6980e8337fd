// libFuzzer target: the watched-host list built from arbitrary caller text (the
// agent passes its policy's address list), with every name resolving to the
// longest dotted address so that the 4096-byte list fills up.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "netmon/core/packet_text.h"
#include "netmon/core/target_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  static char list[qvw::kTargetListSize];
  size_t lookups = 0;
  auto resolve = [&lookups](const std::string& name, std::string* dotted) {
    if (name.size() > qvw::kMaxName) __builtin_trap();
    ++lookups;
    if (name.empty() || name[0] == 'x') return false;  // some names never resolve
    *dotted = "255.255.255.255";
    return true;
  };
  auto log = [](const char* tag, const char* name) {
    if (std::strlen(tag) == 0 || std::strlen(name) > qvw::kMaxName) __builtin_trap();
  };
  qvw::BuildTargetList(text.c_str(), list, resolve, log);
  size_t length = strnlen(list, sizeof(list));
  size_t given = std::strlen(text.c_str());
  if (length >= sizeof(list)) __builtin_trap();
  // The caller's text leads the list unchanged (cut to fit).
  size_t kept = given < sizeof(list) - 1 ? given : sizeof(list) - 1;
  if (length < kept || std::memcmp(list, text.c_str(), kept) != 0) __builtin_trap();
  if (lookups > given / 9 + 1) __builtin_trap();  // one per "https://x;" at most
  return 0;
}
