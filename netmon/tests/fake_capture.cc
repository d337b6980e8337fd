#include "netmon/tests/fake_capture.h"

#include <cstring>

namespace qvw::testing {
namespace {

void Put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v >> 8);
  b[at + 1] = static_cast<uint8_t>(v & 0xFF);
}

class FakeHandle : public CaptureHandle {
 public:
  explicit FakeHandle(std::shared_ptr<CaptureState> s) : s_(std::move(s)) { ++s_->live_handles; }
  ~FakeHandle() override { --s_->live_handles; }
  bool IsEthernet() override { return s_->ethernet; }
  bool SetNonBlocking(std::string* error) override {
    if (!s_->nonblock_ok) *error = "nonblock refused";
    return s_->nonblock_ok;
  }
  bool Compile(const char* expression, uint32_t netmask) override {
    s_->compiled.push_back(expression);
    s_->compiled_netmasks.push_back(netmask);
    if (s_->compile_ok) last_ = expression;
    return s_->compile_ok;
  }
  bool Install() override {
    if (s_->install_ok) s_->installed.push_back(last_);
    return s_->install_ok;
  }
  void FreeProgram() override { ++s_->frees; }
  int Next(const uint8_t** data, uint32_t* captured) override {
    ++s_->reads;
    if (!s_->results.empty()) {
      int r = s_->results.front();
      s_->results.pop_front();
      if (r != 1) return r;
    }
    if (s_->frames.empty()) return 0;
    // Each frame lives in a buffer of exactly its own size, so that any read
    // past the captured length is caught by the address sanitizer.
    current_ = std::make_unique<uint8_t[]>(s_->frames.front().size() + 0);
    if (!s_->frames.front().empty())
      std::memcpy(current_.get(), s_->frames.front().data(), s_->frames.front().size());
    *captured = static_cast<uint32_t>(s_->frames.front().size());
    *data = current_.get();
    s_->frames.pop_front();
    return 1;
  }
  int Loop(const PacketHandler& handler) override {
    s_->in_loop = true;
    while (!s_->frames.empty() && !s_->loop_broken) {
      const uint8_t* data;
      uint32_t captured;
      if (Next(&data, &captured) == 1) handler(data, captured);
    }
    s_->in_loop = false;
    return s_->loop_broken ? -2 : -1;
  }
  void BreakLoop() override { s_->loop_broken = true; }
  std::string ErrorText() override { return s_->error_text; }

 private:
  std::shared_ptr<CaptureState> s_;
  std::string last_;
  std::unique_ptr<uint8_t[]> current_;
};

}  // namespace

Bytes BuildFrame(const FrameSpec& shape) {
  size_t transport = shape.protocol == 6 ? shape.tcp_header_length : 8;
  size_t ip_payload = transport + shape.payload.size();
  size_t ihl = shape.ip_header_length < 20 ? 20 : shape.ip_header_length;
  Bytes b(14 + ihl + ip_payload, 0);
  b[12] = 0x08;  // IPv4
  b[14] = static_cast<uint8_t>(0x40 | ((shape.ip_header_length / 4) & 0x0F));
  int total = shape.total_length >= 0 ? shape.total_length : static_cast<int>(ihl + ip_payload);
  Put16(b, 16, static_cast<uint16_t>(total));
  b[22] = 64;
  b[23] = shape.protocol;
  std::memcpy(&b[26], shape.src, 4);
  std::memcpy(&b[30], shape.dst, 4);
  size_t t = 14 + ihl;
  Put16(b, t, shape.src_port);
  Put16(b, t + 2, shape.dst_port);
  if (shape.protocol == 6) {
    b[t + 12] = static_cast<uint8_t>((shape.tcp_header_length / 4) << 4);
    b[t + 13] = 0x18;
  } else {
    Put16(b, t + 4, static_cast<uint16_t>(8 + shape.payload.size()));
  }
  std::memcpy(b.data() + t + transport, shape.payload.data(), shape.payload.size());
  return b;
}

std::string DnsQuery(const std::string& name, uint16_t id) {
  std::string m;
  m += static_cast<char>(id >> 8);
  m += static_cast<char>(id & 0xFF);
  m += std::string("\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10);
  size_t start = 0;
  while (start <= name.size()) {
    size_t dot = name.find('.', start);
    if (dot == std::string::npos) dot = name.size();
    m += static_cast<char>(dot - start);
    m += name.substr(start, dot - start);
    start = dot + 1;
  }
  m += std::string("\x00\x00\x01\x00\x01", 5);
  return m;
}

bool FakeBackend::ListDevices(std::vector<Device>* out, std::string* error) {
  if (!list_ok) {
    *error = "no devices";
    return false;
  }
  *out = devices;
  return true;
}

std::unique_ptr<CaptureHandle> FakeBackend::Open(const std::string& name, int snapshot_length,
                                                 int flags, int read_timeout_ms,
                                                 std::string* error) {
  opens.push_back({name, snapshot_length, flags, read_timeout_ms});
  if (on_open) on_open(opens.size() - 1);
  if (failing_opens > 0) {
    --failing_opens;
    *error = "open refused";
    return nullptr;
  }
  return std::make_unique<FakeHandle>(state);
}

Device EthernetDevice(const std::string& name, const std::string& description,
                      std::vector<std::vector<uint8_t>> addresses, bool with_netmask) {
  Device d;
  d.name = name;
  d.has_description = !description.empty();
  d.description = description;
  for (const auto& a : addresses) {
    DeviceAddress address;
    address.ipv4 = true;
    std::memcpy(address.address, a.data(), 4);
    address.has_netmask = with_netmask;
    if (with_netmask) {
      const uint8_t mask[4] = {255, 255, 0, 0};
      std::memcpy(&address.netmask, mask, 4);
    }
    d.addresses.push_back(address);
  }
  return d;
}

}  // namespace qvw::testing
