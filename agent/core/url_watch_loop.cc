#include "agent/core/url_watch_loop.h"

namespace kestra {
namespace {

// True once the capture is open; false after a pause when it is not.
bool OpenCapture(UrlWatchEnv& env, MonitorCalls& calls) {
  if (!env.LoadMonitor(&calls)) {
    env.Pause(kWatchRetryMs);
    return false;
  }
  bool opened = calls.open_auto != nullptr && calls.open_auto(nullptr, 1) != 0;
  if (!opened && calls.error != nullptr) {
    char error[256] = {};
    calls.error(error);  // read as the library expects; the text itself is not used
  }
  env.WriteCaptureCheck(opened);
  if (!opened) env.Pause(kWatchRetryMs);
  return opened;
}

void Poll(UrlWatchEnv& env, MonitorCalls& calls, MonitorCallback callback) {
  // The library keeps the list it gets here; later refreshes do not reach it.
  std::string list = env.AddressList();
  if (calls.get_url != nullptr) calls.get_url(list.c_str(), callback, 0, 1);
  while (!env.Stopping()) {
    if (calls.check_url != nullptr) calls.check_url(kWatchPollBudgetMs);
    env.Pause(kWatchPollPauseMs);
  }
}

}  // namespace

void RunUrlWatcher(UrlWatchEnv& env, MonitorCallback callback) {
  MonitorCalls calls;
  while (!env.SupportOutdated() && !env.Stopping()) {
    if (!OpenCapture(env, calls)) continue;
    while (!env.Stopping() && env.AddressList().empty()) env.Pause(kWatchRetryMs);
    if (!env.Stopping()) Poll(env, calls, callback);
    if (calls.close != nullptr) calls.close();
    return;
  }
}

}  // namespace kestra
