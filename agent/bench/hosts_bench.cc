// Time to read and judge a hosts file of 1 MiB against a full table of 128
// protected sites (goal: under 20 ms), and the table's own build.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "agent/bench/full_policy.h"
#include "agent/core/hosts_file.h"
#include "agent/core/policy.h"

namespace kestra {
namespace {

std::vector<ObservationTarget> FullTable() {
  std::vector<ObservationTarget> targets;
  std::string list;
  ParseTargets(FullReply(), &targets, &list);
  return targets;
}

// Just under 1 MiB of the lines ad blockers write (several names, comments,
// CR LF), with a genuine and a forged entry for every 100th protected site name.
std::string BigHostsFile() {
  std::string file = "\xEF\xBB\xBF# \xC7\xD1\xB1\xDB hosts\r\n";
  for (int i = 0;; ++i) {
    std::string n = std::to_string(i);
    std::string line =
        i % 100 == 0 ? "10.0." + std::to_string(i % 128) + ".1\twww.bank" +
                           std::to_string(i % 128) + ".co.kr\r\n"
        : i % 100 == 50
            ? "6.6.6.6 m.bank" + std::to_string(i % 128) + ".co.kr # forged\r\n"
            : "0.0.0.0 ads" + n + ".tracker.example.com www.ads" + n + ".example.net\r\n";
    if (file.size() + line.size() > kMaxHostsFileBytes) return file;
    file += line;
  }
}

void BM_Judge1MiB128Sites(benchmark::State& state) {
  ProtectedHosts hosts(FullTable());
  std::string file = BigHostsFile();
  std::size_t tampered = 0;
  for (auto _ : state) {
    HostsJudgement judgement = JudgeHostsFile(file, hosts);
    tampered = judgement.tampered.size();
    benchmark::DoNotOptimize(judgement);
  }
  state.counters["bytes"] = static_cast<double>(file.size());
  state.counters["tampered"] = static_cast<double>(tampered);
}
BENCHMARK(BM_Judge1MiB128Sites)->Unit(benchmark::kMillisecond);

void BM_ProtectedHosts128Sites(benchmark::State& state) {
  std::vector<ObservationTarget> targets = FullTable();
  for (auto _ : state) benchmark::DoNotOptimize(ProtectedHosts(targets));
}
BENCHMARK(BM_ProtectedHosts128Sites)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kestra

BENCHMARK_MAIN();
