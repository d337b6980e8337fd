// The URL watcher thread's life, apart from the platform: the packet monitor
// library opened (again every second while it cannot capture), the capture
// check file written, the policy's address list handed over once, and the
// library polled until the agent stops.
#pragma once

#include <cstdint>
#include <string>

namespace kestra {

// The library's functions the watcher calls; any of them may be missing.
using MonitorCallback = int (*)(const char* text);
struct MonitorCalls {
  int (*open_auto)(const char* interface_name, int non_blocking) = nullptr;
  int (*close)() = nullptr;
  int (*error)(char* out) = nullptr;
  int (*get_url)(const char* targets, MonitorCallback callback, int run_loop,
                 int all_mode) = nullptr;
  int (*check_url)(int32_t budget_ms) = nullptr;
};

class UrlWatchEnv {
 public:
  virtual ~UrlWatchEnv() = default;
  virtual bool Stopping() = 0;
  virtual bool SupportOutdated() = 0;
  // Loads the library (once; later calls return the same) and binds its calls.
  virtual bool LoadMonitor(MonitorCalls* calls) = 0;
  virtual void WriteCaptureCheck(bool opened) = 0;
  // The policy's address list, read under the target lock.
  virtual std::string AddressList() = 0;
  virtual void Pause(unsigned ms) = 0;
};

inline constexpr unsigned kWatchRetryMs = 1000;
inline constexpr int kWatchPollBudgetMs = 100;
inline constexpr unsigned kWatchPollPauseMs = 50;

// Runs until the agent stops (or at once when the system support is outdated).
void RunUrlWatcher(UrlWatchEnv& env, MonitorCallback callback);

}  // namespace kestra
