// Host services on Linux: name lookups, sleeping, and the monitor run's console,
// which is the process's standard output.
#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "netmon/exports/platform.h"

namespace qvw {
namespace {

class PosixEnv : public HostEnv {
 public:
  void InitSockets() override {}
  bool HostName(std::string* name) override {
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0) return false;
    *name = buffer;
    return true;
  }
  bool ResolveIpv4(const std::string& name, std::string* dotted) override {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* result = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &result) != 0 || !result) return false;
    char text[INET_ADDRSTRLEN] = {};
    bool ok = false;
    for (addrinfo* ai = result; ai; ai = ai->ai_next) {
      if (ai->ai_family != AF_INET) continue;
      auto* sin = reinterpret_cast<sockaddr_in*>(ai->ai_addr);
      ok = inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text) != nullptr;
      break;
    }
    freeaddrinfo(result);
    if (ok) *dotted = text;
    return ok;
  }
  void SleepMs(unsigned ms) override {
    timespec wait{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
  }
};

class StdoutSink : public LogSink {
 public:
  void Write(const char* data, size_t length) override {
    while (length > 0) {
      ssize_t n = write(STDOUT_FILENO, data, length);
      if (n <= 0) return;  // a failed write is dropped
      data += n;
      length -= static_cast<size_t>(n);
    }
  }
};

class PosixConsole : public Console {
 public:
  LogSink* Open() override { return &sink_; }
  void Close() override {}
  std::string CommandLine() override {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!raw.empty() && raw.back() == '\0') raw.pop_back();
    for (char& c : raw)
      if (c == '\0') c = ' ';
    return raw;
  }
  void WaitKey() override {
    char c;
    while (read(STDIN_FILENO, &c, 1) < 0 && errno == EINTR) {
    }
  }

 private:
  StdoutSink sink_;
};

}  // namespace

HostEnv& PlatformEnv() {
  static PosixEnv env;
  return env;
}

Console& PlatformConsole() {
  static PosixConsole console;
  return console;
}

}  // namespace qvw
