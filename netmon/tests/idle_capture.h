// A capture that never sees a packet, for driving the monitor's per-packet
// functions directly (fuzzing, replay benchmark).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "netmon/core/monitor.h"

namespace qvw {

class IdleHandle : public CaptureHandle {
 public:
  bool IsEthernet() override { return true; }
  bool SetNonBlocking(std::string*) override { return true; }
  bool Compile(const char*, uint32_t) override { return true; }
  bool Install() override { return true; }
  void FreeProgram() override {}
  int Next(const uint8_t**, uint32_t*) override { return 0; }
  int Loop(const PacketHandler&) override { return -1; }
  void BreakLoop() override {}
  std::string ErrorText() override { return {}; }
};

class IdleBackend : public CaptureBackend {
 public:
  bool ListDevices(std::vector<Device>*, std::string*) override { return false; }
  std::unique_ptr<CaptureHandle> Open(const std::string&, int, int, int, std::string*) override {
    return std::make_unique<IdleHandle>();
  }
};

}  // namespace qvw
