#include "netmon/core/monitor.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "netmon/core/packet_text.h"

namespace qvw {
namespace {

void CopyText(char* out, size_t size, std::string_view text) {
  size_t n = std::min(text.size(), size - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

const char* Description(const Device& device) {
  return device.has_description ? device.description.c_str() : "(null)";
}

// The netmask of a chosen device: that of its first listed address, or
// 255.255.255.0 when it lists none or that entry carries no IPv4 netmask.
uint32_t DeviceNetmask(const Device& device) {
  if (!device.addresses.empty() && device.addresses.front().has_netmask)
    return device.addresses.front().netmask;
  static const uint8_t kDefault[4] = {255, 255, 255, 0};
  uint32_t mask;
  std::memcpy(&mask, kDefault, sizeof mask);
  return mask;
}

const char* DirectionWord(int direction) {
  switch (direction) {
    case 1: return "src";
    case 2: return "dst";
    case 3: return "src or dst";
    case 4: return "src and dst";
    default: return nullptr;
  }
}

}  // namespace

void Monitor::Log(const char* format, ...) {
  if (!log_) return;
  std::memset(line_, 0, sizeof line_);
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(line_, sizeof line_, format, args);
  va_end(args);
  if (n < 0) return;
  size_t length = static_cast<size_t>(n);
  if (length > sizeof line_ - 1) {
    // A cut line still ends its line.
    length = sizeof line_ - 1;
    line_[length - 1] = '\n';
  }
  log_->Write(line_, length);
}

void Monitor::ReleaseHandle() {
  if (!handle_) return;
  if (in_loop_) {
    handle_->BreakLoop();
    closing_ = std::move(handle_);
    return;
  }
  handle_.reset();
}

// ---- capture session ----

bool Monitor::OpenDevice(int flags, int timeout_ms, const char* retry_line, const char* fail_line) {
  // A second open replaces the capture: the old handle is closed, not leaked.
  ReleaseHandle();
  std::string error;
  auto handle = backend_.Open(interface_name_, kSnapshotLength, flags, timeout_ms, &error);
  if (!handle) {
    Log(retry_line, error.c_str());
    error.clear();
    handle = backend_.Open(interface_name_, kSnapshotLength, 0, timeout_ms, &error);
    if (!handle) {
      Log(fail_line, error.c_str());
      return false;
    }
  }
  handle_ = std::move(handle);
  return true;
}

void Monitor::FinishOpen(const char* tag, int non_blocking) {
  if (!non_blocking) return;
  std::string error;
  if (handle_->SetNonBlocking(&error))
    Log("%s set nonblock ok\n", tag);
  else
    Log("%s set nonblock err: %s\n", tag, error.c_str());
}

bool Monitor::TakeInterfaceName(const char* tag, const char* interface_name) {
  Log("%s user input interface: %s\n", tag, interface_name);
  // A longer name would be cut into another device's name: refuse it.
  if (std::strlen(interface_name) >= kInterfaceNameSize) return false;
  CopyText(interface_name_, sizeof interface_name_, interface_name);
  return true;
}

bool Monitor::OpenEthernet(const char* tag, int flags, int timeout_ms, const char* retry_line,
                           const char* fail_line, int non_blocking) {
  if (!OpenDevice(flags, timeout_ms, retry_line, fail_line)) return false;
  if (!handle_->IsEthernet()) {
    Log("%s Only support Ethernet: %s - skip\n", tag, interface_name_);
    return false;
  }
  FinishOpen(tag, non_blocking);
  return true;
}

bool Monitor::OpenAuto(const char* interface_name, int non_blocking) {
  env_.InitSockets();
  if (interface_name) {
    if (!TakeInterfaceName("QVWMA:", interface_name)) return false;
  } else {
    std::string host, live;
    if (env_.HostName(&host)) env_.ResolveIpv4(host, &live);
    Log("QVWMA: getting live ip = %s\n", live.c_str());
    std::vector<Device> devices;
    std::string error;
    if (!backend_.ListDevices(&devices, &error)) {
      Log("QVWMA: Error in pcap_findalldevs_ex: %s\n", error.c_str());
      return false;
    }
    const Device* chosen = nullptr;
    for (const Device& device : devices) {
      CopyText(interface_name_, sizeof interface_name_, device.name);
      Log("QVWMA: check interface: %s(%s/)\n", interface_name_, Description(device));
      for (const DeviceAddress& address : device.addresses) {
        if (!address.ipv4 || !address.has_netmask) continue;
        char dotted[16];
        FormatDotted(address.address, dotted, sizeof dotted);
        Log("QVWMA: %s ip = %s\n", interface_name_, dotted);
        if (live.find(dotted) != std::string::npos) {
          chosen = &device;
          break;
        }
      }
      if (chosen) break;
    }
    if (!chosen) {
      Log("QVWMO: can't find proper interface\n");
      return false;
    }
    Log("QVWMA: same device find - %s\n", interface_name_);
    netmask_ = DeviceNetmask(*chosen);
  }
  return OpenEthernet("QVWMA:", kOpenNoCaptureLocal | kOpenMaxResponsiveness, 50,
                      "QVWMA: Error opening adapter with Promiscuous mode: %s\n",
                      "QVWMA: Error opening adapter: %s\n", non_blocking);
}

bool Monitor::Open(const char* interface_name, int non_blocking) {
  if (interface_name) {
    if (!TakeInterfaceName("QVWMO:", interface_name)) return false;
  } else {
    std::vector<Device> devices;
    std::string error;
    if (!backend_.ListDevices(&devices, &error)) {
      Log("QVWMO: Error in pcap_findalldevs_ex: %s\n", error.c_str());
      return false;
    }
    const Device* chosen = nullptr;
    int index = 0;
    for (const Device& device : devices) {
      ++index;
      Log("QVWMO: %d : %s : %s\n", index, device.name.c_str(), Description(device));
      if (!device.has_description) continue;
      std::string lower = LowerAscii(device.description);
      if (lower.find("virtual") != std::string::npos ||
          lower.find("microsoft") != std::string::npos || lower.find("pseudo") != std::string::npos)
        continue;
      if (lower.find("atheros") == std::string::npos) continue;
      Log("QVWMO: select %d: %s : %s\n", index, device.name.c_str(), Description(device));
      chosen = &device;
      break;
    }
    if (!chosen) {
      Log("QVWMO: can't find proper interface\n");
      return false;
    }
    CopyText(interface_name_, sizeof interface_name_, chosen->name);
    Log("QVWMO: find interface: %s\n", interface_name_);
    netmask_ = DeviceNetmask(*chosen);
  }
  return OpenEthernet("QVWMO:", kOpenPromiscuous, 100,
                      "QVWMO: Error opening adapter with Promiscuous Mode: %s\n",
                      "QVWMO: Error opening adapter: %s\n", non_blocking);
}

bool Monitor::Set(int direction, const char* host, const char* net, int port) {
  if (!handle_) {
    Log("QVWMS: no open i/f handle\n");
    return false;
  }
  std::memset(filter_expression_, 0, sizeof filter_expression_);
  if (direction == 0 && !host && !net && port == 0) {
    handle_->FreeProgram();
    return true;
  }
  const char* word = DirectionWord(direction);
  int n;
  if (host) {
    n = word
            ? std::snprintf(filter_expression_, sizeof filter_expression_, "%s host %s", word, host)
            : std::snprintf(filter_expression_, sizeof filter_expression_, "host %s", host);
  } else if (net) {
    n = word ? std::snprintf(filter_expression_, sizeof filter_expression_, "%s net %s", word, net)
             : std::snprintf(filter_expression_, sizeof filter_expression_, "net %s", net);
  } else {
    if (port <= 0) {
      Log("QVWMS: no filter\n");
      return true;
    }
    n = word
            ? std::snprintf(filter_expression_, sizeof filter_expression_, "%s port %d", word, port)
            : std::snprintf(filter_expression_, sizeof filter_expression_, "port %d", port);
  }
  Log("QVWMS: filter express: %s\n", filter_expression_);
  // A cut expression would filter on something else: refuse it like bad syntax.
  if (n < 0 || static_cast<size_t>(n) >= sizeof filter_expression_ ||
      !handle_->Compile(filter_expression_, netmask_)) {
    Log("QVWMS: Error compiling filter: wrong syntax. %s\n", filter_expression_);
    return false;
  }
  if (!handle_->Install()) {
    Log("QVWMS: Error setting the filter %s\n", handle_->ErrorText().c_str());
    return false;
  }
  Log("QVWMS: filter setted %s\n", filter_expression_);
  return true;
}

bool Monitor::Close() {
  if (!handle_) return false;
  handle_->FreeProgram();
  ReleaseHandle();
  return true;
}

bool Monitor::Error(char* out) {
  if (!handle_) {
    Log("QVWME: no open i/f handle\n");
    return false;
  }
  if (out) CopyText(out, kErrorTextSize, handle_->ErrorText());
  return true;
}

// ---- traffic queries ----

template <typename Handle>
int Monitor::Poll(Budget kind, uint32_t budget_ms, Handle handle) {
  uint32_t elapsed = 0;
  int count = 0;
  for (;;) {
    CaptureHandle* capture = handle_.get();
    if (!capture) return count;  // closed from inside a callback
    const uint8_t* data = nullptr;
    uint32_t captured = 0;
    int result = capture->Next(&data, &captured);
    if (result < 0) return count;
    if (result > 0 && data && !handle(data, captured, count)) return count;
    env_.SleepMs(10);
    elapsed += 10;
    bool used = kind == Budget::kSigned
                    ? static_cast<int32_t>(elapsed) >= static_cast<int32_t>(budget_ms)
                    : elapsed >= budget_ms;
    if (used) return count;
  }
}

void Monitor::RecordDestination(const FrameFields& fields) {
  FormatDotted(fields.dst, last_destination_, sizeof last_destination_);
  last_destination_port_ = fields.dst_port;
}

int Monitor::GetCounts(uint32_t budget_ms) {
  if (!handle_) {
    Log("QVWMC: no open i/f handle\n");
    return 0;
  }
  return Poll(Budget::kUnsigned, budget_ms,
              [this](const uint8_t* data, uint32_t captured, int& count) {
                FrameFields f;
                if (ReadFrame(FrameReader(data, captured), &f) != FrameStatus::kTruncated) {
                  RecordDestination(f);
                  Log("QVWMC; %d packet: %d.%d.%d.%d:%d => %s:%d\n", count, f.src[0], f.src[1],
                      f.src[2], f.src[3], f.src_port, last_destination_, f.dst_port);
                }
                ++count;  // a short frame is still a packet read
                return true;
              });
}

int Monitor::GetCodes(uint32_t budget_ms, const char* compare) {
  if (!handle_) {
    Log("QVWMG: no open i/f handle\n");
    return 0;
  }
  const bool every = !compare || !*compare;
  return Poll(
      Budget::kUnsigned, budget_ms, [&](const uint8_t* data, uint32_t captured, int& count) {
        FrameFields f;
        if (ReadFrame(FrameReader(data, captured), &f) == FrameStatus::kTruncated) {
          if (every) ++count;
          return true;
        }
        RecordDestination(f);
        if (every) {
          Log("QVWMG; %d packet: %d.%d.%d.%d:%d => %s:%d\n", count, f.src[0], f.src[1], f.src[2],
              f.src[3], f.src_port, last_destination_, f.dst_port);
          ++count;
        } else if (std::strstr(last_destination_, compare)) {
          Log("QVWMG; %d packet: %d.%d.%d.%d:%d => %s:%d (compare=%s)\n", count, f.src[0], f.src[1],
              f.src[2], f.src[3], f.src_port, last_destination_, f.dst_port, compare);
          ++count;
        }
        return true;
      });
}

int Monitor::GetCaptures(uint32_t budget_ms, int max_records, int port_low, int port_high,
                         CaptureRecord** records) {
  if (!handle_) {
    Log("QVWMP: no open i/f handle\n");
    return 0;
  }
  if (!records) Log("QVWMP: input buffer is null\n");
  return Poll(Budget::kUnsigned, budget_ms,
              [&](const uint8_t* data, uint32_t captured, int& count) {
                FrameFields f;
                if (ReadFrame(FrameReader(data, captured), &f) == FrameStatus::kTruncated)
                  return true;
                RecordDestination(f);
                const int port = f.dst_port;
                if (!(port_low <= port && port_high != 0 && port <= port_high)) return true;
                if (count >= max_records) return false;
                CaptureRecord record;
                std::memset(&record, 0, sizeof record);
                CopyText(record.address, sizeof record.address, last_destination_);
                record.port = port;
                Log("QVWMP; capture %d : %s:%d\n", count, record.address, record.port);
                if (records && records[count]) std::memcpy(records[count], &record, sizeof record);
                ++count;
                return true;
              });
}

// ---- URL and DNS extraction ----

bool Monitor::GetUrl(const char* targets, UrlCallback callback, int run_loop, int all_mode) {
  if (!handle_) {
    Log("QVWGU: no open i/f handle\n");
    return false;
  }
  if (callback) {
    Log("QVWGU: callback = %08" PRIxPTR "\n", reinterpret_cast<uintptr_t>(callback));
    callback_ = callback;
  } else {
    Log("QVWGU: no callback\n");
  }
  if (targets) {
    BuildTargetList(
        targets, target_list_,
        [this](const std::string& name, std::string* dotted) {
          return env_.ResolveIpv4(name, dotted);
        },
        [this](const char*, const char* name) { Log("SP: resolve %s\n", name); });
    Log("SP: set target = %s\n", target_list_);
  }
  if (!handle_->Compile("tcp", netmask_)) {
    Log("QVWGU: Error compiling filter: wrong syntax. %s\n", "tcp");
    return false;
  }
  if (!handle_->Install()) {
    Log("QVWGU: Error setting the filter %s\n", handle_->ErrorText().c_str());
    return false;
  }
  Log("QVWGU: filter setted %s\n", "tcp");
  if (run_loop && !in_loop_) {
    in_loop_ = true;
    handle_->Loop([this](const uint8_t* data, uint32_t captured) { CheckPacket(data, captured); });
    in_loop_ = false;
    closing_.reset();
  }
  Log("QVWGU: loopback setup\n");
  if (all_mode) {
    all_mode_ = 1;
    Log("QVWGU: get All packet mode\n");
  }
  return true;
}

void Monitor::CheckPacket(const uint8_t* data, size_t captured) {
  FrameReader frame(data, captured);
  FrameFields f;
  if (ReadFrame(frame, &f) != FrameStatus::kOk) return;
  if (f.src_port != 80 && f.src_port != 443 && f.dst_port != 80 && f.dst_port != 443) return;

  char destination[16];
  FormatDotted(f.dst, destination, sizeof destination);
  if (target_list_[0] && std::strstr(target_list_, destination)) {
    Log("ph: find and set = %s\n", destination);
    std::snprintf(last_url_, sizeof last_url_, "ip:%s", destination);
    if (callback_) callback_(last_url_);
    return;
  }

  std::string_view raw = PayloadBytes(frame, f);
  char name[kMaxName + 1];
  if (!ExtractNameFromRaw(raw, name)) return;
  if (log_) {
    // The whole working text is only built for the log.
    char text[kMaxPayloadText + 1];
    NormaliseText(raw, text);
    text[raw.size()] = '\0';
    Log("ph: full = %s\n", text);
  }
  Log("ph: url in packet(%s) = %s\n", "tcp: ", name);

  if ((target_list_[0] && std::strstr(target_list_, name)) || all_mode_) {
    Log("ph: find and set = %s\n", name);
    if (callback_) callback_(name);
    CopyText(last_url_, sizeof last_url_, name);
  }
}

int Monitor::CheckUrl(int32_t budget_ms) {
  if (!handle_) {
    Log("QVWGD: no open i/f handle\n");
    return 0;
  }
  return Poll(Budget::kSigned, static_cast<uint32_t>(budget_ms),
              [this](const uint8_t* data, uint32_t captured, int& count) {
                ++count;
                CheckPacket(data, captured);
                return true;
              });
}

bool Monitor::GetPacketUrl(char* out) {
  if (out) std::memcpy(out, last_url_, std::strlen(last_url_) + 1);
  return true;
}

bool Monitor::GetDns(uint32_t budget_ms, const char* name) {
  if (!handle_) {
    Log("QVWGD: no open i/f handle\n");
    return false;
  }
  bool found = false;
  std::string text;
  Poll(Budget::kUnsigned, budget_ms, [&](const uint8_t* data, uint32_t captured, int&) {
    FrameReader frame(data, captured);
    FrameFields f;
    if (ReadFrame(frame, &f) == FrameStatus::kTruncated) return true;
    if (!RenderDnsQuery(frame, f, &text)) return true;
    Log("QVWGD: DNS query: %s\n", text.c_str());
    if (name && text.find(name) != std::string::npos) {
      found = true;
      return false;
    }
    return true;
  });
  return found;
}

}  // namespace qvw
