// libFuzzer target: one captured frame through the per-packet URL check (with a
// target list, all-URLs mode and logging on) and through the DNS rendering.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "netmon/core/frame.h"
#include "netmon/core/monitor.h"
#include "netmon/core/packet_text.h"
#include "netmon/tests/idle_capture.h"

namespace {

class NullSink : public qvw::LogSink {
 public:
  void Write(const char* data, size_t length) override {
    // Touch every byte so that a bad length is seen by the sanitizer.
    for (size_t i = 0; i < length; ++i) sum += static_cast<unsigned char>(data[i]);
  }
  unsigned sum = 0;
};

class FixedEnv : public qvw::HostEnv {
 public:
  void InitSockets() override {}
  bool HostName(std::string* name) override {
    *name = "fuzz";
    return true;
  }
  bool ResolveIpv4(const std::string& name, std::string* dotted) override {
    if (name != "secure.bank.test") return false;
    *dotted = "10.231.0.2";
    return true;
  }
  void SleepMs(unsigned) override {}
};

size_t g_reported = 0;
int Count(const char* text) {
  g_reported += std::strlen(text);
  return 1;
}

qvw::Monitor& FuzzMonitor() {
  static qvw::IdleBackend backend;
  static FixedEnv env;
  static NullSink sink;
  static qvw::Monitor* monitor = [] {
    auto* m = new qvw::Monitor(backend, env);
    m->SetLogSink(&sink);
    m->OpenAuto("fuzz0", 0);
    m->GetUrl("https://secure.bank.test;http://www.example.test;", &Count, 0, 1);
    return m;
  }();
  return *monitor;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qvw::Monitor& monitor = FuzzMonitor();
  monitor.CheckPacket(data, size);

  qvw::FrameReader frame(data, size);
  qvw::FrameFields fields;
  if (qvw::ReadFrame(frame, &fields) != qvw::FrameStatus::kTruncated) {
    std::string text;
    if (qvw::RenderDnsQuery(frame, fields, &text) && text.size() > size) __builtin_trap();
  }
  // The name search on arbitrary text, as well.
  std::string raw(reinterpret_cast<const char*>(data), size);
  std::string normalised(size, '\0');
  qvw::NormaliseText(raw, normalised.data());
  std::string_view name;
  bool found = qvw::ExtractName(normalised, &name);
  if (found && name.size() > qvw::kMaxName) __builtin_trap();
  // The URL check's own reading must give the same name.
  char fast[qvw::kMaxName + 1];
  if (qvw::ExtractNameFromRaw(raw, fast) != found) __builtin_trap();
  if (found && std::string_view(fast) != name) __builtin_trap();
  char last[qvw::kLastUrlSize];
  monitor.GetPacketUrl(last);
  return 0;
}
