// Wire format between the communication-library stand-in and the management-server
// simulator. One TCP connection carries one call and its reply:
//
//   call:  "CVS1" | u32 field count (1..16) | per field: u32 length | bytes
//          field 0 is the entry-point name ("CVComm_Log"), the others its
//          arguments as texts (integers in decimal, 8-bit texts as given)
//   reply: "CVS1" | u32 status (0 served, 1 refused) | u32 length | body
//
// All u32 values are big-endian. The body of an InfoSet reply is the policy
// reply text; an empty body means "no reply".
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mgmt_sim {

inline constexpr char kMagic[] = "CVS1";
inline constexpr std::size_t kMaxFields = 16;
// A call carries a few short texts; anything larger is not one of ours.
inline constexpr std::size_t kMaxCallBytes = 1u << 20;
// Large enough for the biggest policy a test serves (the agent refuses far less).
inline constexpr std::size_t kMaxReplyBody = 64u << 20;

struct Call {
  std::string name;
  std::vector<std::string> args;
  bool operator==(const Call& o) const { return name == o.name && args == o.args; }
};

struct Reply {
  uint32_t status = 0;
  std::string body;
};

enum class Parse { kNeedMore, kComplete, kInvalid };

std::string EncodeCall(const Call& call);
// Decodes one call from the start of bytes; *used receives its size when complete.
Parse DecodeCall(std::string_view bytes, Call* out, std::size_t* used);

std::string EncodeReply(const Reply& reply);
Parse DecodeReply(std::string_view bytes, Reply* out, std::size_t* used);

// True for one of the six entry points with its number of arguments.
bool IsKnownCall(const Call& call);
bool IsInfoCall(const Call& call);

// What the simulator answers: InfoSet/InfoSetR get the policy (nullopt or empty:
// an empty body, "no reply"); the other known calls an empty body; unknown
// calls are refused.
Reply Serve(const Call& call, const std::optional<std::string>& policy);

// One log line (without line end): the name and arguments separated by tabs,
// each text passed through to_utf8 and escaped so that a call stays one line
// ("\\", "\t", "\r", "\n").
std::string FormatLogLine(const Call& call,
                          const std::function<std::string(std::string_view)>& to_utf8);

// Escapes backslash, tab, CR and LF.
std::string EscapeField(std::string_view text);

}  // namespace mgmt_sim
