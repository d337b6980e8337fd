// The packet monitor: one capture per process and everything the exports do with
// it. Portable; the capture library and the host system come in through
// CaptureBackend and HostEnv, so that tests can drive it with crafted frames.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "netmon/core/capture_backend.h"
#include "netmon/core/frame.h"
#include "netmon/core/target_list.h"
#include "netmon/include/qvWirelet.h"

namespace qvw {

constexpr int kSnapshotLength = 1024;
constexpr size_t kInterfaceNameSize = 128;
constexpr size_t kLastUrlSize = 1024;
constexpr size_t kLogLineSize = 4096;

class Monitor {
 public:
  Monitor(CaptureBackend& backend, HostEnv& env) : backend_(backend), env_(env) {}
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;

  // Capture session. The operations that can fail say so with false; the
  // traffic queries return their counts.
  bool OpenAuto(const char* interface_name, int non_blocking);
  bool Open(const char* interface_name, int non_blocking);
  bool Set(int direction, const char* host, const char* net, int port);
  bool Close();
  bool Error(char* out);

  // Traffic queries.
  int GetCounts(uint32_t budget_ms);
  int GetCodes(uint32_t budget_ms, const char* compare);
  int GetCaptures(uint32_t budget_ms, int max_records, int port_low, int port_high,
                  CaptureRecord** records);

  // URL and DNS extraction.
  bool GetUrl(const char* targets, UrlCallback callback, int run_loop, int all_mode);
  int CheckUrl(int32_t budget_ms);
  bool GetPacketUrl(char* out);
  bool GetDns(uint32_t budget_ms, const char* name);

  // The per-packet URL check (the handler of the capture loop).
  void CheckPacket(const uint8_t* data, size_t captured);

  // Logging is on while a sink is set.
  void SetLogSink(LogSink* sink) { log_ = sink; }
  LogSink* log_sink() const { return log_; }
  void Log(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;

  bool is_open() const { return handle_ != nullptr; }
  const char* filter_expression() const { return filter_expression_; }
  const char* interface_name() const { return interface_name_; }
  uint32_t netmask() const { return netmask_; }
  const char* last_destination() const { return last_destination_; }
  int last_destination_port() const { return last_destination_port_; }
  const char* target_list() const { return target_list_; }
  int all_mode() const { return all_mode_; }

 private:
  enum class Budget { kUnsigned, kSigned };
  // The shared polling loop: one read per 10 ms tick until the budget is used.
  // handle returns false to end the call at once.
  template <typename Handle>
  int Poll(Budget kind, uint32_t budget_ms, Handle handle);
  // Updates the last destination from a readable frame.
  void RecordDestination(const FrameFields& fields);
  bool OpenDevice(int flags, int timeout_ms, const char* retry_line, const char* fail_line);
  void FinishOpen(const char* tag, int non_blocking);
  // The caller's interface name, refused when it would not fit.
  bool TakeInterfaceName(const char* tag, const char* interface_name);
  // Opens the chosen device; only an Ethernet link is kept.
  bool OpenEthernet(const char* tag, int flags, int timeout_ms, const char* retry_line,
                    const char* fail_line, int non_blocking);
  // Drops the open capture; inside the capture loop the handle is kept until
  // the loop has returned.
  void ReleaseHandle();

  CaptureBackend& backend_;
  HostEnv& env_;
  std::unique_ptr<CaptureHandle> handle_;
  bool in_loop_ = false;
  std::unique_ptr<CaptureHandle> closing_;
  char filter_expression_[256] = {};
  char interface_name_[kInterfaceNameSize] = {};
  uint32_t netmask_ = 0;
  char last_destination_[64] = {};
  int last_destination_port_ = 0;
  char target_list_[kTargetListSize] = {};
  char last_url_[kLastUrlSize] = {};
  UrlCallback callback_ = nullptr;
  int all_mode_ = 0;
  LogSink* log_ = nullptr;
  char line_[kLogLineSize] = {};
};

}  // namespace qvw
