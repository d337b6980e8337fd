// Time the inspection spends on its own, without the 1000 ms waits it is told
// to make: a record checked against a full table of 128 protected sites.
#include <benchmark/benchmark.h>

#include <string>

#include "agent/bench/full_policy.h"
#include "agent/core/policy.h"
#include "agent/core/verdict.h"

namespace kestra {
namespace {

class BenchHost : public InspectionHost {
 public:
  std::string record;
  std::string evidence;
  uint64_t now = 0;
  uint64_t NowMs() override { return now += 61000; }  // never within the repeat window
  void Wait(unsigned) override {}
  std::optional<std::string> ReadExclusionFile() override {
    return std::string("11-22-33-44-55-66;");
  }
  std::string MacText() override { return "00-1A-2B-3C-4D-5E"; }
  std::optional<std::string> ReadRecord(int32_t) override { return record; }
  void WriteRecord(int32_t, const std::string& text) override {
    benchmark::DoNotOptimize(text.data());
  }
  std::string ReadEvidence(const std::string&, int32_t) override { return evidence; }
  bool DeleteEvidence(const std::string&, int32_t) override { return true; }
  void ShowTrayIconForAWhile() override {}
  void SendBrowserAlert() override {}
  void CommAccess(const std::string&) override {}
  void CommSetCompany(const std::string&) override {}
  void CommLog(const std::string&, const std::string&, int) override {}
  bool NotifierReady() override { return true; }
  bool NotifierShowing() override { return false; }
  void ShowNotice(const std::string&, const std::string&, const std::string&, int) override {}
  void GuardHostsFile() override {}
};

void Inspect(benchmark::State& state, const std::string& record, const std::string& evidence) {
  PolicyState policy;
  policy.policy_loaded = true;
  TargetContents contents;
  ParseTargets(FullReply(), &contents.targets, &contents.address_list);
  policy.table.Replace(std::move(contents));
  InspectionState inspection;
  BenchHost host;
  host.record = record;
  host.evidence = evidence;
  for (auto _ : state) {
    inspection.current_record = 7;
    benchmark::DoNotOptimize(InspectRecord(inspection, policy, host));
  }
}

void BM_AddressCheckLastSite(benchmark::State& state) {
  Inspect(state, "www.bank127.co.kr|10.0.127.1|", "");
}
void BM_AddressRefused(benchmark::State& state) {
  Inspect(state, "www.bank127.co.kr|10.6.6.6|", "");
}
void BM_UnknownSite(benchmark::State& state) { Inspect(state, "www.example.com|1.2.3.4|", ""); }
void BM_WithEvidence(benchmark::State& state) {
  Inspect(state, "www.bank127.co.kr|10.0.127.1|",
          "<CERT>[SUBJECT]CN=www.bank127.co.kr, O=Bank</CERT><HASH>" + std::string(64, 'A') +
              "</HASH>");
}
void BM_ParseFullReply(benchmark::State& state) {
  std::string reply = FullReply();
  std::vector<ObservationTarget> targets;
  std::string list;
  for (auto _ : state) {
    ParseTargets(reply, &targets, &list);
    benchmark::DoNotOptimize(targets.data());
  }
}

BENCHMARK(BM_AddressCheckLastSite);
BENCHMARK(BM_AddressRefused);
BENCHMARK(BM_UnknownSite);
BENCHMARK(BM_WithEvidence);
BENCHMARK(BM_ParseFullReply);

}  // namespace
}  // namespace kestra

BENCHMARK_MAIN();
