// Time the report callback spends on its own, without the name lookup (the
// resolver answers at once): reports of each kind where they do the most work,
// against a table of 3 protected sites (a usual policy) and a full one of 128.
// An address report looks up every protected https host of the table, so its
// cost grows with the table.
#include <benchmark/benchmark.h>

#include <string>

#include "agent/bench/full_policy.h"
#include "agent/core/policy.h"
#include "agent/core/url_watch.h"

namespace kestra {
namespace {

// The number of the table's last site.
std::string LastSite(benchmark::State& state) { return std::to_string(state.range(0) - 1); }

class InstantHost : public UrlWatchHost {
 public:
  std::uint64_t NowMs() override { return now_ += kWatchRepeatMs + 1; }  // never a repeat
  // Only the last site's main host has the address the reports ask about.
  std::optional<std::string> Resolve(const std::string& name) override {
    return name == last_host ? last_address : std::string("10.9.9.9");
  }
  std::string last_host;
  std::string last_address;
  void Broadcast(const std::string& text) override { benchmark::DoNotOptimize(text.data()); }

 private:
  std::uint64_t now_ = 0;
};

void Report(benchmark::State& state, const std::string& text) {
  TargetContents contents;
  ParseTargets(FullReply(static_cast<int>(state.range(0))), &contents.targets,
               &contents.address_list);
  TargetTable table;
  table.Replace(std::move(contents));
  UrlWatchState watch;
  InstantHost host;
  host.last_host = "www.bank" + LastSite(state) + ".co.kr";
  host.last_address = "10.0." + LastSite(state) + ".1";
  for (auto _ : state) benchmark::DoNotOptimize(OnMonitorUrl(text.c_str(), table, watch, host));
}

// The address of the last site: every protected host is looked up.
void BM_AddressOfTheLastSite(benchmark::State& state) {
  Report(state, "ip:10.0." + LastSite(state) + ".1");
}
void BM_AddressOfNoSite(benchmark::State& state) { Report(state, "ip:192.168.77.77"); }
// A protected use URL with a port and path: matched, resolved and broadcast.
void BM_NameOfTheLastSite(benchmark::State& state) {
  Report(state, "https://open.bank" + LastSite(state) + ".co.kr:8443/login/a:b");
}
void BM_NameOfNoSite(benchmark::State& state) { Report(state, "www.example.com/index.html"); }
void BM_NameDropped(benchmark::State& state) { Report(state, "www.<script>.com"); }

BENCHMARK(BM_AddressOfTheLastSite)->Arg(3)->Arg(128);
BENCHMARK(BM_AddressOfNoSite)->Arg(3)->Arg(128);
BENCHMARK(BM_NameOfTheLastSite)->Arg(3)->Arg(128);
BENCHMARK(BM_NameOfNoSite)->Arg(3)->Arg(128);
BENCHMARK(BM_NameDropped)->Arg(3)->Arg(128);

}  // namespace
}  // namespace kestra

BENCHMARK_MAIN();
