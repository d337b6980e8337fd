// Starts the management-server simulator from a Windows program under Wine.
// The simulator is a Linux program: Wine runs it directly when asked to create
// a process from its file, but gives no handle that can be waited on or
// terminated, so it is bounded by --max-seconds and ended through a stop file.
#pragma once

#include "common/win/platform.h"

#include <string>

namespace mgmt_sim {

// The Unix path of a Windows path under Wine ("Z:\tmp\x" -> "/tmp/x"); empty
// when it has none.
std::string UnixPathOf(const std::string& windows_path);

// Starts a Linux program (its Windows path, e.g. "Z:\\usr\\bin\\curl") with
// the whole command line, its standard streams on NUL. Wine gives no handle to
// wait on: bound the program itself. False with a reason when it did not start.
bool StartLinuxProgram(const std::string& program, std::string command, std::string* error);

class SimulatorProcess {
 public:
  SimulatorProcess() = default;
  SimulatorProcess(const SimulatorProcess&) = delete;
  SimulatorProcess& operator=(const SimulatorProcess&) = delete;
  ~SimulatorProcess() { Stop(); }

  // Starts `program` (the Windows path of out\linux\standins\corvanta_mgmt_sim)
  // with its files in `folder` (created when missing): policy, calls.log, port,
  // stop. Waits up to timeout_ms for it to listen. False with a reason when it
  // does not.
  bool Start(const std::string& program, const std::string& folder, int max_seconds,
             DWORD timeout_ms, std::string* error);
  // Asks it to end and waits (bounded) until it has.
  void Stop();

  int port() const { return port_; }
  std::string policy_path() const { return folder_ + "\\policy"; }
  std::string log_path() const { return folder_ + "\\calls.log"; }

 private:
  std::string folder_;
  int port_ = 0;
};

}  // namespace mgmt_sim
