// The presence responder on 127.0.0.1:12500 as the tests meet it: asked the
// way a page asks, by a real TLS client from the Linux side.
#pragma once

#include "common/win/platform.h"

#include <string>

#include "tests/support/win_harness.h"

namespace harness {

// Puts the test's "jsxCVsc.cer", "locrt" and "locrk" into a program folder.
bool CopyResponderFiles(const std::string& folder);

// "jQuery123({...});" as the responder answers a page's script request, asked
// with curl trusting the test root until a reply came or timeout_ms passed;
// the replies land in `scratch`. Empty when none came.
std::string AskPresenceResponder(const TempFolder& scratch, DWORD timeout_ms);

// The reply body the responder gives that request.
inline constexpr char kPresenceReply[] = "jQuery123({\"message\":\"Corvanta Already Installed\"});";

// How often the test root is in the machine's "ROOT" store; with `remove`, it
// is taken out first.
int TestRootCopies(bool remove = false);

// Whether anything accepts connections on the port.
bool PresencePortAnswers();

}  // namespace harness
