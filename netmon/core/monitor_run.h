// The monitor run behind QVW_MonitorXst, the library's console self-check: reads
// its options from the process's command line, opens the capture automatically,
// filters, waits for traffic and prints it.
#pragma once

#include <string>

#include "netmon/core/capture_backend.h"
#include "netmon/core/monitor.h"

namespace qvw {

// The console the entry prints on and reads its key from.
class Console {
 public:
  virtual ~Console() = default;
  // Creates the console; the sink stays valid until Close. Null when none.
  virtual LogSink* Open() = 0;
  virtual void Close() = 0;
  virtual std::string CommandLine() = 0;
  virtual void WaitKey() = 0;
};

struct RunOptions {
  int port = 0;
  bool has_destination = false;
  std::string destination_name;
  std::string destination;  // dotted address, or the name itself with "-dns"
  bool no_lookup = false;
  bool range = false;
  bool change = false;
};

// Options are found by substring anywhere in the command line.
RunOptions ParseRunOptions(const std::string& command_line);

// True after a complete run, false after an error ending.
bool RunFromConsole(Monitor& monitor, HostEnv& env, Console& console);

}  // namespace qvw
