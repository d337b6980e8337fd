#include "netmon/core/monitor_run.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "netmon/core/packet_text.h"

namespace qvw {
namespace {

constexpr int kRecordCount = 100;
constexpr int kRangeLow = 80;
constexpr int kRangeHigh = 443;

// Value of the first of two option spellings: runs to the next space.
bool OptionValue(const std::string& line, const char* a, const char* b, std::string* value) {
  size_t at = line.find(a);
  if (at == std::string::npos) at = line.find(b);
  if (at == std::string::npos) return false;
  at += std::strlen(a);
  size_t end = line.find(' ', at);
  *value = line.substr(at, end == std::string::npos ? std::string::npos : end - at);
  return true;
}

bool HasOption(const std::string& line, const char* a, const char* b) {
  return line.find(a) != std::string::npos || line.find(b) != std::string::npos;
}

// The record buffers handed to the capture query; each is released once printed.
class RecordArray {
 public:
  bool Prepare() {
    if (!entries_.empty()) return true;
    entries_.assign(kRecordCount, nullptr);
    for (auto& entry : entries_) {
      entry = new (std::nothrow) CaptureRecord();
      if (!entry) {
        Release();
        return false;
      }
    }
    return true;
  }
  bool ready() const { return !entries_.empty(); }
  CaptureRecord** data() { return entries_.empty() ? nullptr : entries_.data(); }
  void Print(Monitor& monitor, int count) {
    for (int i = 0; i < count && i < static_cast<int>(entries_.size()); ++i) {
      if (!entries_[i]) continue;
      monitor.Log("%d packet = %s:%d\n", i, entries_[i]->address, entries_[i]->port);
      delete entries_[i];
      entries_[i] = nullptr;
    }
  }
  void Release() {
    for (auto* entry : entries_) delete entry;
    entries_.clear();
  }
  ~RecordArray() { Release(); }

 private:
  std::vector<CaptureRecord*> entries_;
};

}  // namespace

RunOptions ParseRunOptions(const std::string& line) {
  RunOptions options;
  std::string value;
  if (OptionValue(line, "/p:", "-p:", &value)) options.port = std::atoi(value.c_str());
  if (OptionValue(line, "/d:", "-d:", &value)) {
    options.has_destination = true;
    options.destination_name = value.substr(0, kMaxName);
  }
  options.no_lookup = line.find("-dns") != std::string::npos;
  options.range = HasOption(line, "/r", "-r");
  options.change = HasOption(line, "/change", "-change");
  return options;
}

namespace {

// The options of the command line, the destination looked up unless told not to.
RunOptions ReadOptions(Monitor& monitor, HostEnv& env, const std::string& line) {
  RunOptions options = ParseRunOptions(line);
  if (line.find("/p:") != std::string::npos || line.find("-p:") != std::string::npos)
    monitor.Log("port: %d\n", options.port);
  if (!options.has_destination) return options;
  if (options.no_lookup) {
    options.destination = options.destination_name;
    monitor.Log("domain: %s, no ip mode\n", options.destination_name.c_str());
  } else {
    if (!env.ResolveIpv4(options.destination_name, &options.destination))
      options.destination.clear();
    monitor.Log("domain: %s, ip: %s\n", options.destination_name.c_str(),
                options.destination.c_str());
  }
  return options;
}

// One monitor run: the monitor, the console and the capture records.
// Each step returns false when the run has ended on an error (reported, key waited for).
class ConsoleRun {
 public:
  ConsoleRun(Monitor& monitor, Console& console, const RunOptions& options)
      : monitor_(monitor), console_(console), options_(options) {}

  bool Open() {
    if (!monitor_.OpenAuto(nullptr, 1)) return Failed("monitor open error %s\n", false);
    return true;
  }
  void PrepareRecords() {
    if (options_.range && !records_.Prepare()) monitor_.Log("inner mem error in all mode\n");
  }
  // Outbound traffic: all of it in range mode, else to the destination or port.
  bool Outbound() {
    if (!options_.range && !SetOutboundFilter()) return Failed("monitor set error %s\n", true);
    monitor_.Log("monitor set to outbound\n");
    if (options_.range) {
      WaitCaptures();
      return true;
    }
    int count;
    do {
      count =
          options_.destination.empty() ? monitor_.GetCounts(500) : monitor_.GetCodes(500, nullptr);
    } while (count <= 0 && monitor_.is_open());
    monitor_.Log("monitor get %d traffics\n", count);
    return true;
  }
  // The filter changed while open, then the capture opened again for a range.
  bool Change() {
    monitor_.Log("1. clear filter\n");
    if (!monitor_.Set(0, nullptr, nullptr, 0)) return Failed("monitor set error %s\n", true);
    monitor_.Log("2. get domain packet %s\n", options_.destination.c_str());
    if (!monitor_.Set(2, options_.destination.c_str(), nullptr, 0))
      return Failed("monitor set error %s\n", true);
    int count;
    do {
      count = monitor_.GetCounts(500);
    } while (count <= 0 && monitor_.is_open());
    monitor_.Log("monitor get %d traffics\n", count);
    monitor_.Log("3. clear filter (reOpen)\n");
    monitor_.Close();
    if (!Open()) return false;
    monitor_.Log("4. get outbound - rang 80~443 packet\n");
    if (!records_.Prepare()) {
      monitor_.Log("inner mem error in all mode\n");
      monitor_.Close();
      console_.WaitKey();
      return false;
    }
    WaitCaptures();
    return true;
  }
  void Finish() {
    monitor_.Log("last dest address=%s, port=%d\n", monitor_.last_destination(),
                 monitor_.last_destination_port());
    records_.Release();
    monitor_.Log("monitor done\ntype any key..");
    console_.WaitKey();
    monitor_.Close();
    monitor_.Log("monitor done\n");
  }

 private:
  bool SetOutboundFilter() {
    if (!options_.destination.empty() && options_.no_lookup)
      return monitor_.Set(2, options_.destination.c_str(), nullptr, 0);
    if (!options_.destination.empty())
      return monitor_.Set(2, nullptr, options_.destination.c_str(), 0);
    return monitor_.Set(2, nullptr, nullptr, options_.port);
  }
  void WaitCaptures() {
    int count;
    do {
      count = monitor_.GetCaptures(1000, kRecordCount, kRangeLow, kRangeHigh, records_.data());
    } while (count <= 0 && monitor_.is_open());
    monitor_.Log("monitor get %d traffics in range(%d~%d)\n", count, kRangeLow, kRangeHigh);
    records_.Print(monitor_, count);
  }
  // Reports the monitor's error text; a set error closes the capture first.
  bool Failed(const char* format, bool close) {
    char error[kErrorTextSize];
    error[0] = '\0';
    monitor_.Error(error);
    if (close) monitor_.Close();
    monitor_.Log(format, error);
    console_.WaitKey();
    return false;
  }

  Monitor& monitor_;
  Console& console_;
  const RunOptions& options_;
  RecordArray records_;
};

}  // namespace

bool RunFromConsole(Monitor& monitor, HostEnv& env, Console& console) {
  if (!monitor.log_sink()) monitor.SetLogSink(console.Open());
  const std::string line = console.CommandLine();
  monitor.Log("input: %s\n", line.c_str());
  env.InitSockets();
  RunOptions options = ReadOptions(monitor, env, line);
  ConsoleRun run(monitor, console, options);
  run.PrepareRecords();
  if (!run.Open()) return false;
  monitor.Log("monitor open\n");
  if (!(options.change ? run.Change() : run.Outbound())) return false;
  run.Finish();
  console.Close();
  monitor.SetLogSink(nullptr);
  return true;
}

}  // namespace qvw
