// Command line of the management-server simulator:
//   corvanta_mgmt_sim [--port N] [--policy FILE] [--log FILE] [--port-file FILE]
//                     [--max-seconds N] [--stop-file FILE]
#pragma once

#include <string>
#include <vector>

namespace mgmt_sim {

struct SimOptions {
  int port = 0;             // 0: a free port, printed on standard output
  std::string policy_path;  // served to InfoSet calls
  std::string log_path;     // every call appended as one line (UTF-8)
  std::string port_file;    // the port actually used, written once listening
  int max_seconds = 0;      // 0: until killed
  std::string stop_file;    // ends once this file exists (for starters that cannot signal)
};

// False with a message for an unknown option, a missing value or a bad number.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions* out, std::string* error);

}  // namespace mgmt_sim
