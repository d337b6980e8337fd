#include "standins/browser/core/requester.h"

#include <gtest/gtest.h>

namespace brelgo {
namespace {

TEST(BrelgoOptions, RequestsWithTheirEvidenceInOrder) {
  Options o;
  std::string error;
  ASSERT_TRUE(ParseOptions(
      {"--log", "l.txt", "--record", "7", "--inspect", "www.bank.co.kr", "1.2.3.4", "--cert",
       "[SUBJECT]CN=www.bank.co.kr", "--inspect", "web.bank.co.kr", "5.6.7.8", "--hash", "ABCD",
       "--delay", "250", "--verdict-ms", "3000", "--release-at-exit"},
      &o, &error))
      << error;
  EXPECT_EQ(o.log, "l.txt");
  EXPECT_EQ(o.record, 7);
  ASSERT_EQ(o.requests.size(), 2u);
  EXPECT_EQ(RecordText(o.requests[0]), "www.bank.co.kr|1.2.3.4|");
  EXPECT_EQ(EvidenceText(o.requests[0]), "<CERT>[SUBJECT]CN=www.bank.co.kr</CERT>");
  EXPECT_EQ(EvidenceText(o.requests[1]), "<HASH>ABCD</HASH>");
  EXPECT_EQ(o.delay_ms, 250);
  EXPECT_EQ(o.verdict_ms, 3000);
  EXPECT_TRUE(o.release_at_exit);

  Request both{"h", "a", std::string("c"), std::string("x")};
  EXPECT_EQ(EvidenceText(both), "<CERT>c</CERT><HASH>x</HASH>");
  EXPECT_EQ(EvidenceText(Request{"h", "a", std::nullopt, std::nullopt}), "");
}

TEST(BrelgoOptions, RefusesWhatItCannotDo) {
  Options o;
  std::string error;
  EXPECT_TRUE(ParseOptions({"--log", "x", "--record", "1"}, &o, &error))
      << "the old command line still works";
  EXPECT_FALSE(ParseOptions({"--inspect", "h", "a"}, &o, &error));
  EXPECT_EQ(error, "--inspect needs --record");
  EXPECT_FALSE(ParseOptions({"--record", "1", "--inspect", "h"}, &o, &error));
  EXPECT_EQ(error, "missing value for --inspect");
  EXPECT_FALSE(ParseOptions({"--record", "1", "--cert", "c"}, &o, &error));
  EXPECT_FALSE(ParseOptions({"--record", "0"}, &o, &error));
  EXPECT_FALSE(ParseOptions({"--record", "12abc"}, &o, &error));
  EXPECT_FALSE(ParseOptions({"--verbose"}, &o, &error));
  EXPECT_EQ(error, "unknown option --verbose");
}

TEST(BrelgoRecord, DescribesWhatTheAgentWrote) {
  EXPECT_EQ(DescribeRecord("<TERMINATE></TERMINATE>", true), "TERMINATE");
  EXPECT_EQ(DescribeRecord("<DNS>https://www.bank.co.kr</DNS><ADR>1.2.3.4</ADR>", false),
            "DNS https://www.bank.co.kr 1.2.3.4");
  EXPECT_EQ(DescribeRecord("<URL_CANONICAL>http://x.com</URL_CANONICAL>", true),
            "URL_CANONICAL http://x.com");
  EXPECT_EQ(DescribeRecord("OK", true), "verdict OK");
  EXPECT_EQ(DescribeRecord("UNKNOWN", true), "verdict UNKNOWN");
  EXPECT_EQ(DescribeRecord("OK", false), "record OK");
  EXPECT_EQ(DescribeRecord("<DNS>cut", false), "record <DNS>cut");
}

TEST(BrelgoRecord, VerdictTimeoutAndBroadcastsWhileWaiting) {
  RecordWatch w;
  EXPECT_TRUE(w.Poll(std::string("OK"), 5, 0).lines.empty()) << "old content is no news";
  w.Requested("h.co.kr|1.1.1.1|", 6, 1000, 3000);
  EXPECT_TRUE(w.Poll(std::string("h.co.kr|1.1.1.1|"), 6, 1100).lines.empty());
  EXPECT_TRUE(w.Poll(std::string(""), 7, 1200).lines.empty()) << "a writer between cut and write";
  RecordWatch::Step s = w.Poll(std::string("<URL_CANONICAL>u</URL_CANONICAL>"), 8, 1300);
  EXPECT_EQ(s.lines, std::vector<std::string>{"URL_CANONICAL u"});
  EXPECT_FALSE(s.verdict_settled) << "a broadcast is no verdict";
  s = w.Poll(std::string("<URL_CANONICAL>u</URL_CANONICAL>"), 9, 1400);
  EXPECT_EQ(s.lines, std::vector<std::string>{"URL_CANONICAL u"}) << "written again: seen again";
  s = w.Poll(std::nullopt, 0, 3999);
  EXPECT_TRUE(s.lines.empty());
  s = w.Poll(std::nullopt, 0, 4000);
  EXPECT_EQ(s.lines, std::vector<std::string>{"verdict none"});
  EXPECT_TRUE(s.verdict_settled);
  EXPECT_FALSE(w.awaiting());
}

TEST(BrelgoRecord, VerdictThenTerminate) {
  RecordWatch w;
  w.Poll(std::nullopt, 0, 0);
  w.Requested("h.co.kr|1.1.1.1|", 1, 0, 3000);
  RecordWatch::Step s = w.Poll(std::string("OK"), 2, 500);
  EXPECT_EQ(s.lines, std::vector<std::string>{"verdict OK"});
  EXPECT_TRUE(s.verdict_settled);
  EXPECT_TRUE(w.Poll(std::string("OK"), 2, 600).lines.empty());
  s = w.Poll(std::string("<TERMINATE></TERMINATE>"), 3, 700);
  EXPECT_EQ(s.lines, std::vector<std::string>{"TERMINATE"});
  EXPECT_TRUE(s.terminate);
  EXPECT_FALSE(s.verdict_settled);
}

}  // namespace
}  // namespace brelgo
