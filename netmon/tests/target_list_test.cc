#include "netmon/core/target_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

namespace qvw {
namespace {

struct Builder {
  std::map<std::string, std::string> hosts;
  std::vector<std::string> looked_up;
  std::vector<char> list = std::vector<char>(kTargetListSize, 'x');
  std::string Build(const std::string& text) {
    BuildTargetList(
        text.c_str(), list.data(),
        [this](const std::string& name, std::string* dotted) {
          auto it = hosts.find(name);
          if (it == hosts.end()) return false;
          *dotted = it->second;
          return true;
        },
        [this](const char*, const char* name) { looked_up.push_back(name); });
    return list.data();
  }
};

TEST(NetmonTargetList, AppendsTheAddressOfEachHttpsHost) {
  Builder b;
  b.hosts = {{"secure.bank.test", "10.231.0.2"}, {"pay.bank.test", "10.231.0.3"}};
  EXPECT_EQ(b.Build("https://secure.bank.test;http://plain.test;https://pay.bank.test;"),
            "https://secure.bank.test;http://plain.test;https://pay.bank.test;"
            "10.231.0.2;10.231.0.3;");
  EXPECT_EQ(b.looked_up, (std::vector<std::string>{"secure.bank.test", "pay.bank.test"}));
}

TEST(NetmonTargetList, OnlyBareHttpsNamesFollowedBySemicolonAreResolved) {
  Builder b;
  b.hosts = {{"a.test", "1.2.3.4"}};
  EXPECT_EQ(b.Build("https://unknown.test;1.1.1.1;a.test;"),
            "https://unknown.test;1.1.1.1;a.test;");
  EXPECT_EQ(b.Build("https://a.test"), "https://a.test");  // no ";": search stops
  EXPECT_EQ(b.Build("HTTPS://a.test;"), "HTTPS://a.test;");
  EXPECT_EQ(b.Build(""), "");
}

TEST(NetmonTargetList, NeverOverflowsAndStaysTerminated) {
  Builder b;
  b.hosts = {{"a.test", "100.100.100.100"}};
  std::string text = "https://a.test;" + std::string(4070, 'z');
  std::string list = b.Build(text);
  EXPECT_EQ(list, text);  // 4085 + 16 would pass 4095: nothing appended
  EXPECT_EQ(b.list[kTargetListSize - 1], '\0');

  text = "https://a.test;" + std::string(4064, 'z');  // exactly fits 4095
  list = b.Build(text);
  EXPECT_EQ(list.size(), 4095u);
  EXPECT_EQ(list.substr(4079), "100.100.100.100;");

  text = std::string(5000, 'y') + "https://a.test;";
  list = b.Build(text);
  EXPECT_EQ(list, std::string(4095, 'y'));
}

TEST(NetmonTargetList, StopsAppendingOnceFull) {
  Builder b;
  b.hosts = {{"a.test", "1.1.1.1"}, {"bb.test", "100.100.100.100"}, {"c.test", "2.2.2.2"}};
  std::string head = "https://a.test;https://bb.test;https://c.test;";
  std::string text = head + std::string(4095 - head.size() - 8 - 11, 'z');
  std::string list = b.Build(text);
  EXPECT_EQ(list, text + "1.1.1.1;");
}

TEST(NetmonTargetList, HostNamesAreCutAt255) {
  Builder b;
  std::string host(300, 'h');
  b.Build("https://" + host + ";");
  ASSERT_EQ(b.looked_up.size(), 1u);
  EXPECT_EQ(b.looked_up[0], host.substr(0, 255));
}

}  // namespace
}  // namespace qvw
