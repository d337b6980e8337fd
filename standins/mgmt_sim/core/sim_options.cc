#include "standins/mgmt_sim/core/sim_options.h"

#include <cerrno>
#include <cstdlib>

namespace mgmt_sim {

namespace {

bool ParseNumber(const std::string& text, long max, int* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < 0 || v > max) return false;
  *out = static_cast<int>(v);
  return true;
}

}  // namespace

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions* out, std::string* error) {
  SimOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& opt = args[i];
    if (i + 1 >= args.size()) {
      *error = "missing value for " + opt;
      return false;
    }
    const std::string& value = args[++i];
    if (opt == "--port") {
      if (!ParseNumber(value, 65535, &o.port)) {
        *error = "bad port: " + value;
        return false;
      }
    } else if (opt == "--max-seconds") {
      if (!ParseNumber(value, 86400 * 7, &o.max_seconds)) {
        *error = "bad --max-seconds: " + value;
        return false;
      }
    } else if (opt == "--policy") {
      o.policy_path = value;
    } else if (opt == "--log") {
      o.log_path = value;
    } else if (opt == "--stop-file") {
      o.stop_file = value;
    } else if (opt == "--port-file") {
      o.port_file = value;
    } else {
      *error = "unknown option " + opt;
      return false;
    }
  }
  *out = o;
  return true;
}

}  // namespace mgmt_sim
