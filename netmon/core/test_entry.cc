#include "core/test_entry.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/packet_text.h"

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

TestOptions ParseTestOptions(const std::string& line) {
  TestOptions options;
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

int RunTestEntry(Monitor& monitor, HostEnv& env, Console& console) {
  if (!monitor.log_sink()) monitor.SetLogSink(console.Open());

  const std::string line = console.CommandLine();
  monitor.Log("input: %s\n", line.c_str());
  env.InitSockets();
  TestOptions options = ParseTestOptions(line);
  if (line.find("/p:") != std::string::npos || line.find("-p:") != std::string::npos)
    monitor.Log("port: %d\n", options.port);
  if (options.has_destination) {
    if (options.no_lookup) {
      options.destination = options.destination_name;
      monitor.Log("domain: %s, no ip mode\n", options.destination_name.c_str());
    } else {
      if (!env.ResolveIpv4(options.destination_name, &options.destination))
        options.destination.clear();
      monitor.Log("domain: %s, ip: %s\n", options.destination_name.c_str(),
                  options.destination.c_str());
    }
  }
  RecordArray records;
  if (options.range && !records.Prepare()) monitor.Log("inner mem error in all mode\n");

  char error[kErrorTextSize];
  auto open_failed = [&]() {
    error[0] = '\0';
    monitor.Error(error);
    monitor.Log("monitor open error %s\n", error);
    console.WaitKey();
    return 0;
  };
  auto set_failed = [&]() {
    error[0] = '\0';
    monitor.Error(error);
    monitor.Close();
    monitor.Log("monitor set error %s\n", error);
    console.WaitKey();
    return 0;
  };
  auto wait_captures = [&]() {
    int count;
    do {
      count = monitor.GetCaptures(1000, kRecordCount, kRangeLow, kRangeHigh, records.data());
    } while (count <= 0 && monitor.is_open());
    monitor.Log("monitor get %d traffics in range(%d~%d)\n", count, kRangeLow, kRangeHigh);
    records.Print(monitor, count);
  };

  if (!monitor.OpenAuto(nullptr, 1)) return open_failed();
  monitor.Log("monitor open\n");

  if (!options.change) {
    if (!options.range) {
      int ok;
      if (!options.destination.empty() && options.no_lookup)
        ok = monitor.Set(2, options.destination.c_str(), nullptr, 0);
      else if (!options.destination.empty())
        ok = monitor.Set(2, nullptr, options.destination.c_str(), 0);
      else
        ok = monitor.Set(2, nullptr, nullptr, options.port);
      if (!ok) return set_failed();
    }
    monitor.Log("monitor set to outbound\n");
    if (options.range) {
      wait_captures();
    } else {
      int count;
      do {
        count = options.destination.empty() ? monitor.GetCounts(500)
                                            : monitor.GetCodes(500, nullptr);
      } while (count <= 0 && monitor.is_open());
      monitor.Log("monitor get %d traffics\n", count);
    }
  } else {
    monitor.Log("1. clear filter\n");
    if (!monitor.Set(0, nullptr, nullptr, 0)) return set_failed();
    monitor.Log("2. get domain packet %s\n", options.destination.c_str());
    if (!monitor.Set(2, options.destination.c_str(), nullptr, 0)) return set_failed();
    int count;
    do {
      count = monitor.GetCounts(500);
    } while (count <= 0 && monitor.is_open());
    monitor.Log("monitor get %d traffics\n", count);
    monitor.Log("3. clear filter (reOpen)\n");
    monitor.Close();
    if (!monitor.OpenAuto(nullptr, 1)) return open_failed();
    monitor.Log("4. get outbound - rang 80~443 packet\n");
    if (!records.Prepare()) {
      monitor.Log("inner mem error in all mode\n");
      monitor.Close();
      console.WaitKey();
      return 0;
    }
    wait_captures();
  }

  monitor.Log("last dest address=%s, port=%d\n", monitor.last_destination(),
              monitor.last_destination_port());
  records.Release();
  monitor.Log("monitor done\ntype any key..");
  console.WaitKey();
  monitor.Close();
  monitor.Log("monitor done\n");
  console.Close();
  monitor.SetLogSink(nullptr);
  return 1;
}

}  // namespace qvw
