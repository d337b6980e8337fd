// The one seam between the monitor and a capture library: Debian's libpcap on
// Linux, WinPcap's wpcap.dll (loaded at run time) on Windows, fakes in tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qvw {

// WinPcap open flags; the Linux backend maps them onto pcap_create options.
constexpr int kOpenPromiscuous = 1;
constexpr int kOpenNoCaptureLocal = 8;
constexpr int kOpenMaxResponsiveness = 16;

constexpr size_t kErrorTextSize = 256;  // the capture library's error buffer

struct DeviceAddress {
  bool ipv4 = false;
  uint8_t address[4] = {};
  bool has_netmask = false;  // the entry carries an IPv4 netmask
  uint32_t netmask = 0;      // as the device list gives it (network byte order)
};

struct Device {
  std::string name;
  bool has_description = false;
  std::string description;
  std::vector<DeviceAddress> addresses;
};

using PacketHandler = std::function<void(const uint8_t* data, uint32_t captured)>;

// An open capture. Destroying it frees its compiled filter and closes it.
class CaptureHandle {
 public:
  virtual ~CaptureHandle() = default;
  virtual bool IsEthernet() = 0;
  virtual bool SetNonBlocking(std::string* error) = 0;
  // Compiles expression (optimised, with netmask), replacing the program held.
  virtual bool Compile(const char* expression, uint32_t netmask) = 0;
  // Installs the program held.
  virtual bool Install() = 0;
  virtual void FreeProgram() = 0;
  // 1 packet (data and captured length set), 0 none ready, negative error/end.
  virtual int Next(const uint8_t** data, uint32_t* captured) = 0;
  // Hands every packet to handler until a read error or a break; returns its code.
  virtual int Loop(const PacketHandler& handler) = 0;
  // Asks a running Loop to end after the packet in hand.
  virtual void BreakLoop() = 0;
  virtual std::string ErrorText() = 0;
};

class CaptureBackend {
 public:
  virtual ~CaptureBackend() = default;
  virtual bool ListDevices(std::vector<Device>* devices, std::string* error) = 0;
  virtual std::unique_ptr<CaptureHandle> Open(const std::string& name, int snapshot_length,
                                              int flags, int read_timeout_ms,
                                              std::string* error) = 0;
};

// What the monitor needs from the host system besides capture.
class HostEnv {
 public:
  virtual ~HostEnv() = default;
  virtual void InitSockets() = 0;
  // This host's name; false when it cannot be had.
  virtual bool HostName(std::string* name) = 0;
  // First IPv4 address of name in dotted text; false when it does not resolve.
  virtual bool ResolveIpv4(const std::string& name, std::string* dotted) = 0;
  virtual void SleepMs(unsigned ms) = 0;
};

// Sink of the diagnostic log; none is set unless the monitor run turned it on.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void Write(const char* data, size_t length) = 0;
};

}  // namespace qvw
