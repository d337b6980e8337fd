// The flat exported interface: each function hands over to the process's one
// monitor and never lets an exception out.
#define QVW_BUILDING_LIBRARY 1
#include "netmon/include/qvWirelet.h"

#include "common/core/guarded.h"
#include "netmon/exports/platform.h"

namespace qvw {

Monitor& GlobalMonitor() {
  static Monitor monitor(PlatformBackend(), PlatformEnv());
  return monitor;
}

}  // namespace qvw

namespace {

// Every export on the one monitor of the process.
template <typename Call>
int Guarded(Call call) {
  return tessal::Guarded([&] { return call(qvw::GlobalMonitor()); });
}

}  // namespace

extern "C" {

QVW_API int QVW_CALL QVW_MonitorOpenAuto(const char* interfaceName, int nonBlocking) {
  return Guarded([&](qvw::Monitor& m) { return m.OpenAuto(interfaceName, nonBlocking) ? 1 : 0; });
}

QVW_API int QVW_CALL QVW_MonitorOpen(const char* interfaceName, int nonBlocking) {
  return Guarded([&](qvw::Monitor& m) { return m.Open(interfaceName, nonBlocking) ? 1 : 0; });
}

QVW_API int QVW_CALL QVW_MonitorSet(int direction, const char* host, const char* net, int port) {
  return Guarded([&](qvw::Monitor& m) { return m.Set(direction, host, net, port) ? 1 : 0; });
}

QVW_API int QVW_CALL QVW_MonitorClose(void) {
  return Guarded([&](qvw::Monitor& m) { return m.Close() ? 1 : 0; });
}

QVW_API int QVW_CALL QVW_MonitorError(char* out) {
  return Guarded([&](qvw::Monitor& m) { return m.Error(out) ? 1 : 0; });
}

QVW_API int QVW_CALL QVW_MonitorGetCounts(uint32_t timeBudgetMs) {
  return Guarded([&](qvw::Monitor& m) { return m.GetCounts(timeBudgetMs); });
}

QVW_API int QVW_CALL QVW_MonitorGetCodes(uint32_t timeBudgetMs, const char* compare) {
  return Guarded([&](qvw::Monitor& m) { return m.GetCodes(timeBudgetMs, compare); });
}

QVW_API int QVW_CALL QVW_MonitorGetCaptures(uint32_t timeBudgetMs, int maxRecords, int portLow,
                                            int portHigh, CaptureRecord** records) {
  return Guarded([&](qvw::Monitor& m) {
    return m.GetCaptures(timeBudgetMs, maxRecords, portLow, portHigh, records);
  });
}

QVW_API int QVW_CALL QVW_MonitorGetUrl(const char* targets, UrlCallback callback, int runLoop,
                                       int allMode) {
  return Guarded(
      [&](qvw::Monitor& m) { return m.GetUrl(targets, callback, runLoop, allMode) ? 1 : 0; });
}

QVW_API int QVW_CALL QVW_MonitorCheckUrl(int32_t timeBudgetMs) {
  return Guarded([&](qvw::Monitor& m) { return m.CheckUrl(timeBudgetMs); });
}

QVW_API int QVW_CALL QVW_GetPacketUrl(char* out) {
  return Guarded([&](qvw::Monitor& m) { return m.GetPacketUrl(out) ? 1 : 0; });
}

QVW_API int QVW_CALL QVW_MonitorGetDns(uint32_t timeBudgetMs, const char* name) {
  return Guarded([&](qvw::Monitor& m) { return m.GetDns(timeBudgetMs, name) ? 1 : 0; });
}

QVW_API int QVW_CALL QVW_MonitorXst(void) {
  return Guarded([&](qvw::Monitor& m) {
    return qvw::RunFromConsole(m, qvw::PlatformEnv(), qvw::PlatformConsole()) ? 1 : 0;
  });
}

}  // extern "C"
