// Host services on Windows: Winsock lookups, sleeping, and the test entry's
// console ("CON" opened for writing on a console created for the process).
#include "common/win/platform.h"
#include <winsock2.h>
#include <ws2tcpip.h>
#include <conio.h>

#include <cstdio>
#include <utility>

#include "common/win/scoped_handle.h"
#include "netmon/exports/platform.h"

namespace qvw {
namespace {

class WinEnv : public HostEnv {
 public:
  void InitSockets() override {
    // Never shut down: lookups may come at any later call.
    if (started_) return;
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  bool HostName(std::string* name) override {
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0) return false;
    *name = buffer;
    return true;
  }
  bool ResolveIpv4(const std::string& name, std::string* dotted) override {
    InitSockets();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* result = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &result) != 0 || !result) return false;
    bool ok = false;
    for (addrinfo* ai = result; ai; ai = ai->ai_next) {
      if (ai->ai_family != AF_INET) continue;
      const auto* b = reinterpret_cast<const unsigned char*>(
          &reinterpret_cast<sockaddr_in*>(ai->ai_addr)->sin_addr);
      char text[16];
      std::snprintf(text, sizeof text, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
      *dotted = text;
      ok = true;
      break;
    }
    freeaddrinfo(result);
    return ok;
  }
  void SleepMs(unsigned ms) override { Sleep(ms); }

 private:
  bool started_ = false;
};

class ConSink : public LogSink {
 public:
  explicit ConSink(tessal::ScopedFileHandle h) : handle_(std::move(h)) {}
  void Write(const char* data, size_t length) override {
    DWORD written = 0;
    WriteFile(handle_.get(), data, static_cast<DWORD>(length), &written,
              nullptr);  // failure ignored
  }

 private:
  tessal::ScopedFileHandle handle_;  // the console, closed with the sink
};

class WinConsole : public Console {
 public:
  LogSink* Open() override {
    AllocConsole();
    tessal::ScopedFileHandle h(CreateFileA("CON", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
    if (!h.valid()) return nullptr;
    sink_ = new ConSink(std::move(h));
    return sink_;
  }
  void Close() override {
    if (!sink_) return;
    delete sink_;
    sink_ = nullptr;
  }
  std::string CommandLine() override {
    const char* line = GetCommandLineA();
    return line ? line : "";
  }
  void WaitKey() override { _getch(); }

 private:
  ConSink* sink_ = nullptr;
};

}  // namespace

HostEnv& PlatformEnv() {
  static WinEnv env;
  return env;
}

Console& PlatformConsole() {
  static WinConsole console;
  return console;
}

}  // namespace qvw
