#include "core/verdict.h"

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

class FakeInspectionHost : public InspectionHost {
 public:
  uint64_t now_ms = 100000;
  unsigned waited_ms = 0;
  std::optional<std::string> exclusion;
  std::string mac = "00-1A-2B-3C-4D-5E";
  std::map<int32_t, std::string> records;
  std::map<std::string, std::string> evidence;  // "host.number"
  std::vector<std::string> calls;
  bool notifier_ready = true;
  bool notifier_showing = false;
  int tray_shows = 0;

  static std::string Key(const std::string& host, int32_t n) { return host + "." + std::to_string(n); }
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
  std::string ReadEvidence(const std::string& host, int32_t n) override { return evidence[Key(host, n)]; }
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
  void ShowNotice(const std::string& l1, const std::string& l2, const std::string& host, int kind) override {
    calls.push_back("Notice " + l1 + " | " + l2 + " | " + host + " | " + std::to_string(kind));
    notifier_showing = true;
  }
};

ObservationTarget Bank() {
  ObservationTarget t;
  t.company_id = "BANK1";
  t.display_id = "BANK1";
  t.main_host = "bank.co.kr";
  t.main_ip = "203.0.113.10";
  t.hash_data = "abc123";
  t.certificate = std::string("[SUBJECT]CN=www.bank.co.kr, O=Bank");
  return t;
}

class InspectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    policy_.policy_loaded = true;
    policy_.table.targets.push_back(Bank());
    ObservationTarget card;
    card.company_id = "CARD2";
    card.main_host = "card.co.kr";
    card.main_ip = "198.51.100.1";
    card.use_urls = std::string("pay.cardpay.co.kr");
    card.use_ips = std::string("198.51.100.2;198.51.100.3");
    policy_.table.targets.push_back(card);
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
}

TEST_F(InspectionTest, OtherAddressIsRefusedAlertedAndReported) {
  host_.evidence["www.bank.co.kr.7"] = "<HASH>abc123</HASH>";
  EXPECT_EQ(Inspect(7, "www.bank.co.kr|10.6.6.6|"), "NOT");
  EXPECT_EQ(host_.records[7], "www.bank.co.kr|10.6.6.6|") << "the record keeps the requester's text";
  EXPECT_THAT(host_.calls,
              ElementsAre("UM_BROWSER_ALERT", "Access BANK1", "SetCompany BANK1",
                          "Notice [www.bank.co.kr] | 요청사이트는\r\n비정상입니다.\r\n사용불가 | www.bank.co.kr | 0",
                          "Log BANK1 [www.bank.co.kr]에 대한 [10.6.6.6]주소 파밍시도 0",
                          "delete www.bank.co.kr.7"));
  EXPECT_TRUE(host_.evidence.empty());
}

TEST_F(InspectionTest, UseUrlMatchAcceptsTheUseAddresses) {
  EXPECT_EQ(Inspect(1, "pay.cardpay.co.kr|198.51.100.3|"), "OK");
  EXPECT_EQ(Inspect(2, "www.card.co.kr|198.51.100.3|"), "NOT") << "use addresses need a use-URL match";
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

TEST_F(InspectionTest, ImplausibleHostNamesNeverReachAFilePath) {
  host_.evidence["..\\..\\windows\\win.ini.8"] = "<CERT>x</CERT>";
  EXPECT_EQ(Inspect(8, "..\\..\\windows\\win.ini|10.6.6.6|"), "");
  EXPECT_EQ(Inspect(9, ".bank.co.kr|10.6.6.6|"), "");
  EXPECT_EQ(Inspect(10, "www.bank.co.kr/x|10.6.6.6|"), "");
  EXPECT_EQ(Inspect(11, "www bank.co.kr|10.6.6.6|"), "");
  EXPECT_THAT(host_.calls, IsEmpty());
  EXPECT_TRUE(IsInspectableHost("my-bank_01.co.kr"));
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
  host_.evidence["www.bank.co.kr.5"] = "<CERT>[SUBJECT]CN=www.evil.com, O=Evil</CERT><HASH>abc123</HASH>";
  EXPECT_EQ(Inspect(5, "www.bank.co.kr|203.0.113.10|"), "NOT");
  EXPECT_THAT(host_.calls, Contains("Notice [www.bank.co.kr] | 요청사이트는\r\n인증서오류입니다.\r\n사용불가 | "
                                    "www.bank.co.kr | 2"));
  EXPECT_THAT(host_.calls, Contains("Log BANK1 [www.bank.co.kr]에 대한 [203.0.113.10]접속 파밍시도 2"));
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
  EXPECT_THAT(host_.calls,
              ElementsAre("UM_BROWSER_ALERT", "Access BANK1", "SetCompany BANK1",
                          "Notice DNS 속성비정상 | 요청사이트는\r\n비정상입니다.\r\n사용불가 |  | 1",
                          "Log BANK1 DNS 속성변경 파밍시도 1"));
}

TEST(EventText, ByKind) {
  EXPECT_EQ(EventText(3, "h", "a"), "[h]에 대한 [a]내용 파밍시도");
  EXPECT_EQ(EventText(9, "h", "a"), "[h]에 대한 [a]기타 파밍시도");
  EXPECT_EQ(ChooseAlertLines("h", false, true).line2, "요청사이트는\r\n내용오류입니다.\r\n사용불가");
}

}  // namespace
}  // namespace kestra
