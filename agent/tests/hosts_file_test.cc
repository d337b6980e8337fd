#include "agent/core/hosts_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent/tests/sample_targets.h"

namespace kestra {
namespace {

// The bank (203.0.113.10), the card company (198.51.100.1-3, use URL
// pay.cardpay.co.kr) and a site with an IPv6 use address.
std::vector<ObservationTarget> Sites() {
  ObservationTarget v6;
  v6.company_id = "SEC3";
  v6.main_host = "www.sec.co.kr/login";
  v6.main_ip = "192.0.2.7";
  v6.use_urls = std::string("https://m.sec.co.kr:8443/app, open.sec.co.kr");
  v6.use_ips = std::string("[2001:db8::10]");
  return {SampleBank(), SampleCard(), v6};
}

struct HostsCase {
  const char* what;
  std::string file;
  std::string repaired;  // the file less its tampered lines
  std::vector<std::string> tampered_names;
};

const std::string kWindowsDefault =
    "# Copyright (c) 1993-2009 Microsoft Corp.\r\n#\r\n# localhost name resolution is handled "
    "within DNS itself.\r\n"
    "#\t127.0.0.1       localhost\r\n#\t::1             localhost\r\n";

TEST(HostsFile, FindsEveryTamperedEntryAndKeepsTheRestByteForByte) {
  const HostsCase cases[] = {
      {"Windows' own file", kWindowsDefault, kWindowsDefault, {}},
      {"empty file", "", "", {}},
      {"forged bank",
       kWindowsDefault + "203.0.113.66 www.bank.co.kr\r\n",
       kWindowsDefault,
       {"www.bank.co.kr"}},
      {"genuine address", "203.0.113.10 bank.co.kr\n", "203.0.113.10 bank.co.kr\n", {}},
      {"label boundary",
       "6.6.6.6 evilbank.co.kr\n6.6.6.6 bank.co.kr.evil.com\n",
       "6.6.6.6 evilbank.co.kr\n6.6.6.6 bank.co.kr.evil.com\n",
       {}},
      {"case and trailing dot", "6.6.6.6 WWW.Bank.CO.KR.\n", "", {"www.bank.co.kr"}},
      {"loopback proxy, tabs, several names",
       "127.0.0.1\tlocalhost\tpay.cardpay.co.kr\n1.1.1.1 x.example\n",
       "1.1.1.1 x.example\n",
       {"pay.cardpay.co.kr"}},
      {"blocked with 0.0.0.0", "0.0.0.0 card.co.kr\n", "", {"card.co.kr"}},
      {"a site's use address is genuine",
       "198.51.100.3 card.co.kr\n",
       "198.51.100.3 card.co.kr\n",
       {}},
      {"another site's address is not", "198.51.100.1 bank.co.kr\n", "", {"bank.co.kr"}},
      {"commented out",
       "# 6.6.6.6 bank.co.kr\n6.6.6.6 localhost # bank.co.kr\n",
       "# 6.6.6.6 bank.co.kr\n6.6.6.6 localhost # bank.co.kr\n",
       {}},
      {"comment glued to the name", "6.6.6.6 bank.co.kr#x\n", "", {"bank.co.kr"}},
      {"CP949 in a comment",
       "# \xC7\xD1\xB1\xDB \xC8\xA3\xBD\xBA\xC6\xAE\n6.6.6.6 bank.co.kr\n",
       "# \xC7\xD1\xB1\xDB \xC8\xA3\xBD\xBA\xC6\xAE\n",
       {"bank.co.kr"}},
      {"UTF-8 BOM stays",
       "\xEF\xBB\xBF"
       "6.6.6.6 bank.co.kr\r\n# end\r\n",
       "\xEF\xBB\xBF# end\r\n",
       {"bank.co.kr"}},
      {"CR line ends",
       "1.2.3.4 a.example\r6.6.6.6 bank.co.kr\r# x\r",
       "1.2.3.4 a.example\r# x\r",
       {"bank.co.kr", "bank.co.kr"}},  // its own address, and 1.2.3.4 with the CR as a space
      {"CR taken as a space",
       "6.6.6.6 harmless.example\rbank.co.kr\n",
       "6.6.6.6 harmless.example\r",
       {"bank.co.kr"}},
      {"no line end at the end", "a\n6.6.6.6 bank.co.kr", "a\n", {"bank.co.kr"}},
      {"leading zero is no genuine form", "203.0.113.010 bank.co.kr\n", "", {"bank.co.kr"}},
      {"name and address swapped: no entry",
       "bank.co.kr 203.0.113.10\n",
       "bank.co.kr 203.0.113.10\n",
       {}},
      {"mapped IPv6 is not the IPv4 address",
       "::ffff:203.0.113.10 bank.co.kr\n",
       "",
       {"bank.co.kr"}},
      {"IPv6 use address, other spelling",
       "2001:DB8:0:0:0:0:0:10 m.sec.co.kr\n",
       "2001:DB8:0:0:0:0:0:10 m.sec.co.kr\n",
       {}},
      {"IPv6 elsewhere", "2001:db8::66 open.sec.co.kr\n", "", {"open.sec.co.kr"}},
      {"main host of a URL with a path", "6.6.6.6 a.www.sec.co.kr\n", "", {"a.www.sec.co.kr"}},
      {"only the bad line of three",
       "1.1.1.1 a.example\r\n6.6.6.6 x.bank.co.kr y.example\r\n\r\n",
       "1.1.1.1 a.example\r\n\r\n",
       {"x.bank.co.kr"}},
  };
  ProtectedHosts hosts(Sites());
  for (const HostsCase& c : cases) {
    SCOPED_TRACE(c.what);
    HostsJudgement judgement = JudgeHostsFile(c.file, hosts);
    ASSERT_EQ(judgement.issue, HostsReadIssue::kNone);
    std::vector<std::string> names;
    for (const TamperedEntry& e : judgement.tampered) names.push_back(e.name);
    EXPECT_EQ(names, c.tampered_names);
    EXPECT_EQ(WithoutTamperedLines(c.file, judgement), c.repaired);
  }
}

TEST(HostsFile, RefusesWhatItCannotReadWithConfidence) {
  const struct {
    const char* what;
    std::string file;
    HostsReadIssue issue;
  } cases[] = {
      {"over 1 MiB", std::string(kMaxHostsFileBytes + 1, '#'), HostsReadIssue::kTooLarge},
      {"NUL byte", std::string("6.6.6.6 bank.co.kr\n\0", 20), HostsReadIssue::kNulBytes},
      {"UTF-16 LE BOM",
       std::string("\xFF\xFE"
                   "6\0.\0",
                   6),
       HostsReadIssue::kUnknownEncoding},
      {"UTF-16 BE BOM", "\xFE\xFF", HostsReadIssue::kUnknownEncoding},
      {"CP949 in a name", "6.6.6.6 \xC7\xD1.bank.co.kr\n", HostsReadIssue::kUnknownEncoding},
      {"control byte in an entry", "6.6.6.6\x01 bank.co.kr\n", HostsReadIssue::kUnknownEncoding},
  };
  ProtectedHosts hosts(Sites());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    HostsJudgement judgement = JudgeHostsFile(c.file, hosts);
    EXPECT_EQ(judgement.issue, c.issue);
    EXPECT_TRUE(judgement.tampered.empty());
    EXPECT_FALSE(judgement.clean());
  }
  EXPECT_EQ(JudgeHostsFile(std::string(kMaxHostsFileBytes, '#'), hosts).issue,
            HostsReadIssue::kNone);
}

TEST(HostsFile, ParsesAddressesAsTheResolverWritesThem) {
  const struct {
    const char* text;
    bool valid;
  } cases[] = {
      {"203.0.113.10", true},
      {"0.0.0.0", true},
      {"255.255.255.255", true},
      {"256.1.1.1", false},
      {"1.2.3", false},
      {"1.2.3.4.", false},
      {"01.2.3.4", false},
      {"0x7f.0.0.1", false},
      {"::1", true},
      {"::", true},
      {"2001:db8::1", true},
      {"1:2:3:4:5:6:7:8", true},
      {"1:2:3:4:5:6:7:8:9", false},
      {"1::2::3", false},
      {":1", false},
      {"1:", false},
      {"::ffff:1.2.3.4", true},
      {"fe80::1%4", false},
      {"12345::", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseIpAddress(c.text).has_value(), c.valid) << c.text;
  EXPECT_EQ(ParseIpAddress("2001:db8::10"), ParseIpAddress("2001:0DB8:0:0:0:0:0:10"));
  EXPECT_FALSE(ParseIpAddress("::ffff:1.2.3.4") == ParseIpAddress("1.2.3.4"));
}

TEST(HostsFile, APolicyHostWithoutADotOrAnAddressProtectsNothing) {
  ObservationTarget bare;
  bare.main_host = "kr";
  ObservationTarget literal;
  literal.main_host = "203.0.113.10";
  ProtectedHosts hosts({bare, literal});
  EXPECT_TRUE(hosts.empty());
  EXPECT_TRUE(JudgeHostsFile("6.6.6.6 bank.kr\n", hosts).clean());
}

}  // namespace
}  // namespace kestra
