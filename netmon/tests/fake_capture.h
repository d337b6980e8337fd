// Test doubles for the monitor: a capture backend that serves crafted frames,
// host services with an injected clock and lookups, a log sink that keeps lines,
// and a builder for Ethernet/IPv4 frames.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "netmon/core/capture_backend.h"
#include "netmon/core/monitor_run.h"

namespace qvw::testing {

using Bytes = std::vector<uint8_t>;

struct FrameSpec {
  uint8_t src[4] = {10, 0, 0, 15};
  uint8_t dst[4] = {10, 0, 0, 1};
  uint16_t src_port = 50000;
  uint16_t dst_port = 80;
  uint8_t protocol = 6;
  size_t ip_header_length = 20;
  size_t tcp_header_length = 20;  // for TCP frames
  std::string payload;
  int total_length = -1;  // -1: the real one
};
Bytes BuildFrame(const FrameSpec& shape);
// A DNS query message for name (labels separated by dots), type A class IN.
std::string DnsQuery(const std::string& name, uint16_t id = 0x1234);

struct CaptureState {
  std::deque<Bytes> frames;  // served one per read
  std::deque<int> results;   // forced read results (before frames)
  int reads = 0;
  int live_handles = 0;
  bool ethernet = true;
  bool nonblock_ok = true;
  std::vector<std::string> compiled;
  std::vector<uint32_t> compiled_netmasks;
  std::vector<std::string> installed;
  int frees = 0;
  bool compile_ok = true;
  bool install_ok = true;
  bool in_loop = false;
  bool loop_broken = false;
  std::string error_text = "fake error";
};

struct OpenCall {
  std::string name;
  int snapshot_length, flags, timeout_ms;
};

class FakeBackend : public CaptureBackend {
 public:
  bool list_ok = true;
  std::vector<Device> devices;
  int failing_opens = 0;  // that many next opens fail
  std::vector<OpenCall> opens;
  std::function<void(size_t open_index)> on_open;  // called after each open
  std::shared_ptr<CaptureState> state = std::make_shared<CaptureState>();

  bool ListDevices(std::vector<Device>* out, std::string* error) override;
  std::unique_ptr<CaptureHandle> Open(const std::string& name, int snapshot_length, int flags,
                                      int read_timeout_ms, std::string* error) override;
};

class FakeEnv : public HostEnv {
 public:
  std::string host_name = "testhost";
  std::map<std::string, std::string> addresses;
  unsigned slept_ms = 0;
  int socket_inits = 0;
  void InitSockets() override { ++socket_inits; }
  bool HostName(std::string* name) override {
    *name = host_name;
    return true;
  }
  bool ResolveIpv4(const std::string& name, std::string* dotted) override {
    auto it = addresses.find(name);
    if (it == addresses.end()) return false;
    *dotted = it->second;
    return true;
  }
  // Virtual time; a wait that would last past ten minutes fails the test.
  void SleepMs(unsigned ms) override {
    slept_ms += ms;
    if (slept_ms > 600000) throw std::runtime_error("waited past ten minutes of virtual time");
  }
};

class LinesSink : public LogSink {
 public:
  std::string text;
  void Write(const char* data, size_t length) override { text.append(data, length); }
};

class FakeConsole : public Console {
 public:
  std::string command_line;
  LinesSink sink;
  int opens = 0, closes = 0, keys = 0;
  LogSink* Open() override {
    ++opens;
    return &sink;
  }
  void Close() override { ++closes; }
  std::string CommandLine() override { return command_line; }
  void WaitKey() override { ++keys; }
};

Device EthernetDevice(const std::string& name, const std::string& description,
                      std::vector<std::vector<uint8_t>> ipv4_with_mask, bool with_netmask = true);

}  // namespace qvw::testing
