#pragma once

namespace kestra {

// Closes the protected browsers, stops the workers and ends the process with
// exit code 259. Does not return.
[[noreturn]] void RunShutdownRoutine();

}  // namespace kestra
