#include "agent/core/verdict.h"

#include "agent/core/host_names.h"
#include "agent/tests/sample_targets.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace kestra {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

class FakeInspectionHost : public InspectionHost {
 public:
  uint64_t now_ms = 100000;
  unsigned waited_ms = 0;
  std::optional<std::string> exclusion;
  std::string mac = "00-1A-2B-3C-4D-5E";
  std::map<int32_t, std::string> records;
  std::map<std::string, std::string> evidence;  // "host.number"
  std::vector<std::string> calls;
  std::vector<std::string> evidence_reads;
  bool notifier_ready = true;
  bool notifier_showing = false;
  int tray_shows = 0;
  int hosts_checks = 0;

  static std::string Key(const std::string& host, int32_t n) {
    return host + "." + std::to_string(n);
  }
  uint64_t NowMs() override { return now_ms; }
  void Wait(unsigned ms) override {
    waited_ms += ms;
    now_ms += ms;
  }
  std::optional<std::string> ReadExclusionFile() override { return exclusion; }
  std::string MacText() override { return mac; }
  std::optional<std::string> ReadRecord(int32_t n) override {
    auto it = records.find(n);
    if (it == records.end()) return std::nullopt;
    return it->second.substr(0, 512);
  }
  void WriteRecord(int32_t n, const std::string& text) override { records[n] = text; }
  std::string ReadEvidence(const std::string& host, int32_t n) override {
    evidence_reads.push_back(Key(host, n));
    return evidence[Key(host, n)];
  }
  bool DeleteEvidence(const std::string& host, int32_t n) override {
    calls.push_back("delete " + Key(host, n));
    return evidence.erase(Key(host, n)) > 0;
  }
  void ShowTrayIconForAWhile() override { ++tray_shows; }
  void SendBrowserAlert() override { calls.push_back("UM_BROWSER_ALERT"); }
  void CommAccess(const std::string& id) override { calls.push_back("Access " + id); }
  void CommSetCompany(const std::string& id) override { calls.push_back("SetCompany " + id); }
  void CommLog(const std::string& id, const std::string& event, int kind) override {
    calls.push_back("Log " + id + " " + event + " " + std::to_string(kind));
  }
  bool NotifierReady() override { return notifier_ready; }
  bool NotifierShowing() override { return notifier_showing; }
  void ShowNotice(const std::string& l1, const std::string& l2, const std::string& host,
                  int kind) override {
    calls.push_back("Notice " + l1 + " | " + l2 + " | " + host + " | " + std::to_string(kind));
    notifier_showing = true;
  }
  void GuardHostsFile() override { ++hosts_checks; }
};

class InspectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    policy_.policy_loaded = true;
    policy_.table.Replace({{SampleBank(), SampleCard()}, ""});
  }
  std::string Inspect(int32_t number, const std::string& record) {
    host_.records[number] = record;
    inspection_.current_record = number;
    std::string verdict = InspectRecord(inspection_, policy_, host_);
    EXPECT_EQ(inspection_.current_record, 0);
    EXPECT_FALSE(policy_.inspection_running);
    return verdict;
  }
  PolicyState policy_;
  InspectionState inspection_;
  FakeInspectionHost host_;
};

TEST_F(InspectionTest, GenuineAddressWithoutEvidenceIsOk) {
  EXPECT_EQ(Inspect(7, "www.BANK.co.kr|203.0.113.10|"), "OK");
  EXPECT_EQ(host_.records[7], "OK");
  EXPECT_EQ(host_.waited_ms, 1000u);
  EXPECT_THAT(host_.calls, ElementsAre("Access BANK1", "SetCompany BANK1"));
  EXPECT_EQ(host_.tray_shows, 1);
  EXPECT_EQ(host_.hosts_checks, 0);
}

TEST_F(InspectionTest, OtherAddressIsRefusedAlertedAndReported) {
  host_.evidence["www.bank.co.kr.7"] = "<HASH>abc123</HASH>";
  EXPECT_EQ(Inspect(7, "www.bank.co.kr|10.6.6.6|"), "NOT");
  EXPECT_EQ(host_.records[7], "www.bank.co.kr|10.6.6.6|")
      << "the record keeps the requester's text";
  EXPECT_THAT(host_.calls,
              ElementsAre("UM_BROWSER_ALERT", "Access BANK1", "SetCompany BANK1",
                          "Notice [www.bank.co.kr] | 요청사이트는\r\n비정상입니다.\r\n사용불가 | "
                          "www.bank.co.kr | 0",
                          "Log BANK1 [www.bank.co.kr]에 대한 [10.6.6.6]주소 파밍시도 0",
                          "delete www.bank.co.kr.7"));
  EXPECT_TRUE(host_.evidence.empty());
  EXPECT_EQ(host_.hosts_checks, 1) << "the hosts file is checked before the alert";
}

TEST_F(InspectionTest, UseUrlMatchAcceptsTheUseAddresses) {
  EXPECT_EQ(Inspect(1, "pay.cardpay.co.kr|198.51.100.3|"), "OK");
  EXPECT_EQ(Inspect(2, "www.card.co.kr|198.51.100.3|"), "NOT")
      << "use addresses need a use-URL match";
}

TEST_F(InspectionTest, UnknownSiteIsAnsweredAndNothingReported) {
  EXPECT_EQ(Inspect(3, "www.example.com|1.2.3.4|"), "UNKNOWN");
  EXPECT_EQ(host_.records[3], "UNKNOWN");
  EXPECT_THAT(host_.calls, IsEmpty());
  EXPECT_EQ(host_.waited_ms, 0u);
}

TEST_F(InspectionTest, RecordsWithoutAVerdict) {
  EXPECT_EQ(Inspect(4, "www.bank.co.kr|203.0.113.10"), "") << "address not ended by |";
  EXPECT_EQ(host_.records[4], "www.bank.co.kr|203.0.113.10");
  EXPECT_EQ(Inspect(5, "localhost|127.0.0.1|"), "") << "host without a dot";
  EXPECT_EQ(Inspect(6, "|1.2.3.4|"), "");
  inspection_.current_record = 99;  // no such file
  EXPECT_EQ(InspectRecord(inspection_, policy_, host_), "");
  EXPECT_THAT(host_.calls, IsEmpty());
}

TEST(HostNames, OnlyPlainDnsNamesMayFormAFileName) {
  struct Case {
    std::string host;
    bool safe;
  } cases[] = {
      {"my-bank_01.co.kr", true},
      {"localhost", true},
      {std::string(63, 'a') + ".kr", true},
      {std::string(64, 'a') + ".kr", false},
      {"www.bank.co.kr:8443", false},
      {"", false},
      {".bank.co.kr", false},
      {"bank.co.kr.", false},
      {"www..bank.co.kr", false},
      {"..", false},
      {"..\\..\\windows\\win.ini", false},
      {"www.bank.co.kr/x", false},
      {"c:x.kr", false},
      {"www bank.co.kr", false},
      {"a\"b.kr", false},
      {"\xC7\xD1.kr", false},
      {std::string("a\0b.kr", 6), false},
      {"nul", false},
      {"nul.x", false},
      {"com1.x", false},
      {"aux.bank.co.kr", false},
      {"www.CON.co.kr", false},
      {"Lpt9.kr", false},
      {"com10.kr", true},
      {"conin.kr", true},
      {"consul.bank.kr", true},
      {"com.kr", true},
  };
  for (const Case& c : cases) EXPECT_EQ(IsSafeHostName(c.host), c.safe) << c.host;
  std::string longest;
  while (longest.size() < 253) longest += longest.empty() ? "a" : ".a";
  EXPECT_TRUE(IsSafeHostName(longest));
  EXPECT_FALSE(IsSafeHostName(longest + "a"));
}

TEST(HostNames, OnlyAddressLiteralsAreLogged) {
  struct Case {
    const char* address;
    const char* logged;
  } cases[] = {
      {"203.0.113.10", "203.0.113.10"},
      {"2001:db8::1", "2001:db8::1"},
      {"::ffff:192.0.2.1", "::ffff:192.0.2.1"},
      {"256.1.1.1", ""},
      {"1.2.3", ""},
      {"1.2.3.4.5", ""},
      {"1..2.3", ""},
      {"0001.2.3.4", ""},
      {"2001:db8", ""},
      {"2001:db8::1%eth0", ""},
      {"1.2.3.4]\r\n[evil", ""},
      {"1111:2222:3333:4444:5555:6666:7777:8888:9999:0", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EventText(kKindAddress, "www.bank.co.kr", c.address),
              std::string("[www.bank.co.kr]에 대한 [") + c.logged + "]주소 파밍시도")
        << c.address;
  }
}

TEST_F(InspectionTest, EveryDottedNameIsInspectedButOnlyPlainOnesTouchEvidence) {
  struct Case {
    const char* record;
    const char* verdict;
  } cases[] = {
      {"www.bank.co.kr:8443|203.0.113.10|", "OK"},
      {"aux.card.co.kr|198.51.100.1|", "OK"},
      {"..\\..\\windows\\win.ini|10.6.6.6|", "UNKNOWN"},
      {"nul.bank.co.kr|10.6.6.6|", "NOT"},
  };
  int32_t number = 20;
  for (const Case& c : cases) {
    std::string host = std::string(c.record).substr(0, std::string(c.record).find('|'));
    host_.evidence[FakeInspectionHost::Key(host, number)] = "<CERT>[SUBJECT]CN=evil</CERT>";
    EXPECT_EQ(Inspect(number, c.record), c.verdict) << c.record;
    host_.now_ms += kRepeatWindowMs;
    ++number;
  }
  EXPECT_THAT(host_.evidence_reads, IsEmpty());
  EXPECT_THAT(host_.calls, Contains("Log BANK1 [nul.bank.co.kr]에 대한 [10.6.6.6]주소 파밍시도 0"));
  EXPECT_THAT(host_.calls, Not(Contains(::testing::StartsWith("delete"))));
  EXPECT_EQ(host_.evidence.size(), 4u);
}

TEST_F(InspectionTest, ATargetWithoutMainHostMatchesNothing) {
  policy_.table.Write([](TargetContents& c) { c.targets[0].main_host.clear(); });
  EXPECT_EQ(Inspect(1, "www.example.com|1.2.3.4|"), "UNKNOWN");
}

TEST_F(InspectionTest, SameDomainWithinAMinuteIsNotInspectedAgain) {
  EXPECT_EQ(Inspect(1, "www.bank.co.kr|203.0.113.10|"), "OK");
  host_.now_ms += 10000;
  EXPECT_EQ(Inspect(1, "m.bank.co.kr|203.0.113.10|"), "") << "bank.co.kr again after 11 s";
  host_.now_ms += 60000;
  EXPECT_EQ(Inspect(1, "m.BANK.co.kr|203.0.113.10|"), "OK");
  EXPECT_EQ(Inspect(1, "www.bank.co.kr|203.0.113.10|"), "OK") << "from then on every time";
  EXPECT_EQ(Inspect(1, "www.card.co.kr|198.51.100.1|"), "OK") << "another domain";
}

TEST_F(InspectionTest, CertificateWithoutThePolicyDomainIsRefused) {
  host_.evidence["www.bank.co.kr.5"] =
      "<CERT>[SUBJECT]CN=www.evil.com, O=Evil</CERT><HASH>abc123</HASH>";
  EXPECT_EQ(Inspect(5, "www.bank.co.kr|203.0.113.10|"), "NOT");
  EXPECT_THAT(host_.calls,
              Contains("Notice [www.bank.co.kr] | 요청사이트는\r\n인증서오류입니다.\r\n사용불가 | "
                       "www.bank.co.kr | 2"));
  EXPECT_THAT(host_.calls,
              Contains("Log BANK1 [www.bank.co.kr]에 대한 [203.0.113.10]접속 파밍시도 2"));
  EXPECT_EQ(host_.hosts_checks, 1);
}

TEST_F(InspectionTest, MatchingEvidenceStaysOkAndAContentMismatchOnlyChoosesTheText) {
  host_.evidence["www.bank.co.kr.5"] = "<CERT>[SUBJECT]CN=www.bank.co.kr</CERT><HASH>ABC123</HASH>";
  EXPECT_EQ(Inspect(5, "www.bank.co.kr|203.0.113.10|"), "OK");
  EXPECT_EQ(host_.waited_ms, 2000u);
  host_.now_ms += 70000;
  host_.evidence["www.bank.co.kr.6"] = "<HASH>other</HASH>";
  EXPECT_EQ(Inspect(6, "www.bank.co.kr|203.0.113.10|"), "OK");
}

TEST_F(InspectionTest, OneAlertAtATime) {
  host_.notifier_showing = true;
  host_.evidence["www.bank.co.kr.7"] = "<HASH>x</HASH>";
  EXPECT_EQ(Inspect(7, "www.bank.co.kr|10.6.6.6|"), "NOT");
  EXPECT_THAT(host_.calls, ElementsAre("UM_BROWSER_ALERT", "Access BANK1", "SetCompany BANK1"));
  EXPECT_EQ(host_.evidence.size(), 1u) << "the evidence stays";
  EXPECT_EQ(host_.hosts_checks, 1) << "checked even while another alert shows";
}

TEST_F(InspectionTest, ExcludedPcGetsNothing) {
  host_.exclusion = "11-22-33-44-55-66;00-1A-2B-3C-4D-5E;";
  EXPECT_EQ(Inspect(7, "www.bank.co.kr|10.6.6.6|"), "");
  EXPECT_EQ(host_.tray_shows, 0);
  host_.exclusion = "00-1A-2B-3C-4D-5E";  // not followed by ";"
  EXPECT_EQ(Inspect(7, "www.bank.co.kr|10.6.6.6|"), "NOT");
}

TEST_F(InspectionTest, WaitsWhileARefreshRuns) {
  policy_.refresh_running = true;
  host_.records[7] = "www.bank.co.kr|203.0.113.10|";
  inspection_.current_record = 7;
  EXPECT_EQ(InspectRecord(inspection_, policy_, host_), "");
  EXPECT_EQ(inspection_.current_record, 7) << "kept for the handler's retry";
}

TEST_F(InspectionTest, DnsSettingsAlert) {
  inspection_.last_company_id = "";
  RaiseDnsAlert(inspection_, policy_, host_);
  EXPECT_THAT(
      host_.calls,
      ElementsAre("UM_BROWSER_ALERT", "Access BANK1", "SetCompany BANK1",
                  "Notice DNS 속성비정상 | 요청사이트는\r\n비정상입니다.\r\n사용불가 |  | 1",
                  "Log BANK1 DNS 속성변경 파밍시도 1"));
  EXPECT_EQ(host_.hosts_checks, 0) << "a DNS-settings alert is not the hosts file's doing";
}

TEST(EventText, ByKind) {
  EXPECT_EQ(EventText(3, "h", "1.2.3.4"), "[h]에 대한 [1.2.3.4]내용 파밍시도");
  EXPECT_EQ(EventText(9, "h", "::1"), "[h]에 대한 [::1]기타 파밍시도");
  EXPECT_EQ(ChooseAlertLines("h", false, true).line2,
            "요청사이트는\r\n내용오류입니다.\r\n사용불가");
}

}  // namespace
}  // namespace kestra
