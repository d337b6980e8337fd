#include "agent/core/policy.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace kestra {
namespace {

std::string Block(const std::string& fields) {
  return "<observationtarget>" + fields + "</observationtarget>";
}

TEST(ParseTargets, ReadsEveryFieldOfABlock) {
  std::string reply = Block(
      "<companyid>BANK1</companyid><companymainurl>https://WWW.Bank.co.kr</companymainurl>"
      "<companymainipaddress>203.0.113.10</companymainipaddress>"
      "<companyuseurls>m.bank.co.kr,open.bank.co.kr</companyuseurls>"
      "<companyuseipaddresss>203.0.113.11,203.0.113.12</companyuseipaddresss>"
      "<agentactivationoption>0</agentactivationoption><agentterminationoption>1</"
      "agentterminationoption>"
      "<agentuninstallationoption>2</agentuninstallationoption><hashdata>ABCDEF</hashdata>"
      "<certificate>[SUBJECT]CN=www.bank.co.kr, O=Bank</certificate>");
  std::vector<ObservationTarget> targets;
  std::string list;
  ParseTargets(reply, &targets, &list);
  ASSERT_EQ(targets.size(), 1u);
  const ObservationTarget& t = targets[0];
  EXPECT_EQ(t.company_id, "BANK1");
  EXPECT_EQ(t.display_id, "BANK1");
  EXPECT_EQ(t.main_host, "www.bank.co.kr");
  EXPECT_EQ(t.main_ip, "203.0.113.10");
  EXPECT_EQ(*t.use_urls, "m.bank.co.kr,open.bank.co.kr");
  EXPECT_EQ(*t.use_ips, "203.0.113.11,203.0.113.12");
  EXPECT_EQ(t.activation_option, 0);
  EXPECT_EQ(t.termination_option, 1);
  EXPECT_EQ(t.uninstall_option, 2);
  EXPECT_EQ(t.hash_data, "ABCDEF");
  EXPECT_EQ(*t.certificate, "[SUBJECT]CN=www.bank.co.kr, O=Bank");
  EXPECT_EQ(list,
            "https://"
            "WWW.Bank.co.kr;203.0.113.10;m.bank.co.kr,open.bank.co.kr;203.0.113.11,203.0.113.12;");
}

TEST(ParseTargets, MissingOptionalTagsNeverBorrowTheNextBlock) {
  std::string reply =
      Block(
          "<companyid>A</companyid><companymainurl>a.co.kr</companymainurl>"
          "<companymainipaddress>1.1.1.1</companymainipaddress>") +
      Block(
          "<companyid>B</companyid><companymainurl>http://b.co.kr</companymainurl>"
          "<companymainipaddress>2.2.2.2</companymainipaddress><companyuseurls>x.b.co.kr</"
          "companyuseurls>"
          "<companyuseipaddresss>2.2.2.3</companyuseipaddresss><certificate>c</certificate>"
          "<hashdata>h</hashdata><agentactivationoption>0</agentactivationoption>");
  std::vector<ObservationTarget> targets;
  std::string list;
  ParseTargets(reply, &targets, &list);
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_FALSE(targets[0].use_urls);
  EXPECT_FALSE(targets[0].use_ips);
  EXPECT_FALSE(targets[0].certificate);
  EXPECT_EQ(targets[0].hash_data, "");
  EXPECT_EQ(targets[0].activation_option, 1) << "default, not the next block's 0";
  EXPECT_EQ(targets[0].main_host, "a.co.kr") << "no // keeps the whole value";
  EXPECT_EQ(targets[1].main_host, "b.co.kr");
  EXPECT_EQ(targets[1].activation_option, 0);
  EXPECT_EQ(list, "a.co.kr;1.1.1.1;http://b.co.kr;2.2.2.2;x.b.co.kr;2.2.2.3;");
}

TEST(ParseTargets, AtMost128TargetsAndFieldsCutToTheirWidths) {
  std::string reply;
  for (int i = 0; i < 130; ++i) {
    reply += Block("<companyid>" + std::string(100, 'C') + std::to_string(i) +
                   "</companyid>"
                   "<companymainurl>h" +
                   std::to_string(i) +
                   ".co.kr</companymainurl>"
                   "<hashdata>" +
                   std::string(600, 'f') + "</hashdata>");
  }
  std::vector<ObservationTarget> targets;
  std::string list;
  ParseTargets(reply, &targets, &list);
  ASSERT_EQ(targets.size(), 128u);
  EXPECT_EQ(targets[0].company_id.size(), 63u);
  EXPECT_EQ(targets[0].display_id.size(), 63u);
  EXPECT_EQ(targets[0].hash_data.size(), 511u);
  EXPECT_EQ(targets[127].main_host, "h127.co.kr");
  EXPECT_EQ(list.find("h128.co.kr"), std::string::npos);
}

TEST(ServerSettings, DefaultsOnlyForMissingTags) {
  ServerSettings s =
      ParseServerSettings("<CV_SERVER>mgr.bank.co.kr</CV_SERVER><CV_OBJECT></CV_OBJECT>");
  EXPECT_EQ(s.server, "mgr.bank.co.kr");
  EXPECT_EQ(s.object, "") << "present but empty stays empty";
  EXPECT_EQ(s.port, 80);
  s = ParseServerSettings("<CV_PORT>8080</CV_PORT>");
  EXPECT_EQ(s.server, kDefaultServer);
  EXPECT_EQ(s.object, "/CommandService");
  EXPECT_EQ(s.port, 8080);
}

TEST(TagNumber, ReadsAsAtoiButSaturates) {
  struct Case {
    const char* content;
    int value;
  } cases[] = {
      {" 12x", 12}, {"-3", -3}, {"x", 0}, {"4294967296", INT_MAX}, {"-99999999999", INT_MIN}};
  for (const Case& c : cases) {
    EXPECT_EQ(TagNumber(std::string("<n>") + c.content + "</n>", "n", 7), c.value) << c.content;
  }
  EXPECT_EQ(TagNumber("<m>1</m>", "n", 7), 7);
}

TEST(TrayMenu, ThreeTargetsWithTerminationOneOneZeroHaveNoExit) {
  MenuModel menu = BuildPolicyMenu(Edition::kX, {"A", "B", "C"}, false, "20261208-101500 업데이트");
  MenuModel expected = {{false, 1, "A 보호"},
                        {false, 2, "B 보호"},
                        {false, 3, "C 보호"},
                        {true, 0, ""},
                        {false, kCmdPolicyTime, "20261208-101500 업데이트"},
                        {true, 0, ""},
                        {false, kCmdEngineUpdate, "엔진업데이트"}};
  EXPECT_EQ(menu, expected);
}

TEST(TrayMenu, ExitWhenTheTerminationFlagIsSet) {
  MenuModel x = BuildPolicyMenu(Edition::kX, {"A"}, true, "L");
  ASSERT_EQ(x.size(), 7u);
  EXPECT_TRUE(x[1].separator);
  EXPECT_EQ(x[2], (MenuEntry{false, kCmdExit, "종료"}));
  MenuModel r = BuildPolicyMenu(Edition::kR, {}, true, "L");
  MenuModel expected = {{false, kCmdExit, "종료"},
                        {false, kCmdPolicyTime, "L"},
                        {true, 0, ""},
                        {false, kCmdEngineUpdate, "엔진업데이트"}};
  EXPECT_EQ(r, expected);
}

TEST(TrayMenu, RetryMenusAndTimeLabels) {
  EXPECT_EQ(BuildRetryMenu(1)[0].text, "서버연결#1/재시도중...");
  EXPECT_EQ(BuildRetryMenu(2)[0].text, "서버연결#2/재시도중...");
  EXPECT_EQ(BuildRetryMenu(2)[2].command, kCmdExit);
  LocalTime t{2026, 1, 2, 3, 4, 5};
  EXPECT_EQ(PolicyTimeLabel(t, true), "20260102-030405 로컬정책");
  EXPECT_EQ(PolicyTimeLabel(t, false), "20260102-030405 업데이트");
}

}  // namespace
}  // namespace kestra
