// The agent's URL watcher on a real capture, for the real-traffic test: loads
// the packet monitor library, watches for the given policy and writes what it
// reports into the record files of the given numbers. Reads commands from
// standard input ("advance MS" moves its clock on, "stop" ends it) and prints
// "ready" once it polls, "advanced to +MS ms" and "broadcast TEXT" for every
// broadcast.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <netdb.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "agent/core/record_files.h"
#include "agent/core/url_watch.h"
#include "agent/core/url_watch_loop.h"

namespace {

using namespace kestra;

struct Options {
  std::string library, work, address_list, target;
  std::vector<int> records;
  int max_seconds = 60;
};

std::uint64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

class HostWatch : public UrlWatchHost, public UrlWatchEnv {
 public:
  explicit HostWatch(const Options& o)
      : options_(o),
        work_(tessal::SafeFolder::Hold(o.work)),
        deadline_(SteadyMs() + o.max_seconds * 1000ull) {
    for (int n : o.records) records_.Register(n);
    ObservationTarget t;
    t.main_host = o.target;
    table.Replace({{t}, o.address_list});
  }

  std::uint64_t NowMs() override { return SteadyMs() + offset_ms_; }
  std::optional<std::string> Resolve(const std::string& host) override {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
      return std::nullopt;
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr, text,
              sizeof text);
    freeaddrinfo(found);
    return std::string(text);
  }
  void Broadcast(const std::string& text) override {
    BroadcastToRecords(records_, work_, text.c_str());
    std::printf("broadcast %s\n", text.c_str());
    std::fflush(stdout);
  }

  bool Stopping() override { return stopped_ || SteadyMs() > deadline_; }
  bool SupportOutdated() override { return false; }
  bool LoadMonitor(MonitorCalls* calls) override {
    if (module_ == nullptr) module_ = dlopen(options_.library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module_ == nullptr) return false;
    calls->open_auto =
        reinterpret_cast<decltype(calls->open_auto)>(dlsym(module_, "QVW_MonitorOpenAuto"));
    calls->close = reinterpret_cast<decltype(calls->close)>(dlsym(module_, "QVW_MonitorClose"));
    calls->error = reinterpret_cast<decltype(calls->error)>(dlsym(module_, "QVW_MonitorError"));
    calls->get_url =
        reinterpret_cast<decltype(calls->get_url)>(dlsym(module_, "QVW_MonitorGetUrl"));
    calls->check_url =
        reinterpret_cast<decltype(calls->check_url)>(dlsym(module_, "QVW_MonitorCheckUrl"));
    return true;
  }
  void WriteCaptureCheck(bool opened) override {
    std::printf("capture %s\n", opened ? "opened" : "not opened");
  }
  std::string AddressList() override { return table.Copy().address_list; }
  void Pause(unsigned ms) override {
    if (!ready_ && ms == kWatchPollPauseMs) {
      ready_ = true;
      std::printf("ready\n");
      std::fflush(stdout);
    }
    pollfd in{0, POLLIN, 0};
    if (poll(&in, 1, static_cast<int>(ms)) > 0) ReadCommand();
  }

  TargetTable table;

 private:
  void ReadCommand() {
    char line[128] = "";
    ssize_t n = read(0, line, sizeof line - 1);
    if (n <= 0) {
      stopped_ = true;  // the test is gone
      return;
    }
    for (char* command = std::strtok(line, "\n"); command != nullptr;
         command = std::strtok(nullptr, "\n")) {
      if (std::strncmp(command, "advance ", 8) == 0) {
        offset_ms_ += std::strtoull(command + 8, nullptr, 10);
        std::printf("advanced to +%llu ms\n", static_cast<unsigned long long>(offset_ms_));
        std::fflush(stdout);
      }
      if (std::strcmp(command, "stop") == 0) stopped_ = true;
    }
  }

  Options options_;
  tessal::SafeFolder work_;
  RecordList records_;
  std::uint64_t deadline_;
  std::uint64_t offset_ms_ = 0;
  bool stopped_ = false, ready_ = false;
  void* module_ = nullptr;
};

HostWatch* g_watch = nullptr;
UrlWatchState g_state;

int OnReport(const char* text) { return OnMonitorUrl(text, g_watch->table, g_state, *g_watch); }

bool Parse(int argc, char** argv, Options* o) {
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string key = argv[i], value = argv[i + 1];
    if (key == "--library")
      o->library = value;
    else if (key == "--work")
      o->work = value;
    else if (key == "--address-list")
      o->address_list = value;
    else if (key == "--target")
      o->target = value;
    else if (key == "--max-seconds")
      o->max_seconds = std::atoi(value.c_str());
    else if (key == "--records") {
      for (char* n = std::strtok(argv[i + 1], ","); n; n = std::strtok(nullptr, ","))
        o->records.push_back(std::atoi(n));
    } else
      return false;
  }
  return !o->library.empty() && !o->work.empty() && !o->records.empty();
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: url_watch_host --library SO --work DIR --records N,N --address-list TEXT "
                 "--target HOST\n");
    return 2;
  }
  HostWatch watch(options);
  g_watch = &watch;
  RunUrlWatcher(watch, OnReport);
  return 0;
}
