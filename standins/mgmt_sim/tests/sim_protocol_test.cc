#include "standins/mgmt_sim/core/sim_protocol.h"

#include <gtest/gtest.h>

#include "standins/mgmt_sim/core/sim_options.h"

namespace mgmt_sim {
namespace {

std::string U32(uint32_t v) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<char>((v >> shift) & 0xFF));
  return s;
}

std::string Identity(std::string_view s) { return std::string(s); }

TEST(SimProtocol, CallRoundTripsWithEmptyAndBinaryFields) {
  Call call{"CVComm_Log", {"BANK01", "1", std::string("\xC6\xC4\x00\xB9\xD6", 5), ""}};
  std::string bytes = EncodeCall(call) + "trailing";
  Call got;
  std::size_t used = 0;
  ASSERT_EQ(DecodeCall(bytes, &got, &used), Parse::kComplete);
  EXPECT_EQ(got, call);
  EXPECT_EQ(used, bytes.size() - 8);
}

TEST(SimProtocol, EveryCutCallOrReplyAsksForMore) {
  std::string call = EncodeCall({"CVComm_SetServer", {"127.0.0.1", "8080", "/CommandService"}});
  for (std::size_t n = 0; n < call.size(); ++n) {
    Call c;
    std::size_t used = 0;
    EXPECT_EQ(DecodeCall(std::string_view(call).substr(0, n), &c, &used), Parse::kNeedMore) << n;
  }
  std::string reply = EncodeReply({0, "<observationtarget>x"});
  for (std::size_t n = 0; n < reply.size(); ++n) {
    Reply r;
    std::size_t used = 0;
    EXPECT_EQ(DecodeReply(std::string_view(reply).substr(0, n), &r, &used), Parse::kNeedMore) << n;
  }
  Reply r;
  std::size_t used = 0;
  ASSERT_EQ(DecodeReply(reply, &r, &used), Parse::kComplete);
  EXPECT_EQ(r.body, "<observationtarget>x");
  EXPECT_EQ(used, reply.size());
}

TEST(SimProtocol, MalformedFramesAreInvalidBeforeTheirDataArrives) {
  Call c;
  Reply r;
  std::size_t used = 0;
  EXPECT_EQ(DecodeCall("CVX", &c, &used), Parse::kInvalid);
  EXPECT_EQ(DecodeCall("GET / HTTP/1.0\r\n", &c, &used), Parse::kInvalid);
  EXPECT_EQ(DecodeCall("CVS1" + U32(0), &c, &used), Parse::kInvalid);
  EXPECT_EQ(DecodeCall("CVS1" + U32(17), &c, &used), Parse::kInvalid);
  // A field longer than any call may be is refused from its length alone.
  EXPECT_EQ(DecodeCall("CVS1" + U32(1) + U32(kMaxCallBytes + 1), &c, &used), Parse::kInvalid);
  EXPECT_EQ(
      DecodeCall("CVS1" + U32(2) + U32(kMaxCallBytes) + std::string(kMaxCallBytes, 'a') + U32(1),
                 &c, &used),
      Parse::kInvalid);
  EXPECT_EQ(DecodeReply("CVS1" + U32(2) + U32(0), &r, &used), Parse::kInvalid);
  EXPECT_EQ(DecodeReply("CVS1" + U32(0) + U32(kMaxReplyBody + 1), &r, &used), Parse::kInvalid);
}

TEST(SimProtocol, ServesThePolicyOnlyToInfoCalls) {
  std::optional<std::string> policy = std::string("<observationtarget>a</observationtarget>");
  Reply info = Serve({"CVComm_InfoSet", {"0", "0"}}, policy);
  EXPECT_EQ(info.status, 0u);
  EXPECT_EQ(info.body, *policy);
  EXPECT_EQ(Serve({"CVComm_InfoSetR", {"0", "64"}}, policy).body, *policy);
  EXPECT_EQ(Serve({"CVComm_InfoSet", {"0", "0"}}, std::nullopt).body, "");
  Reply log = Serve({"CVComm_Log", {"BANK01", "1", "text", "0"}}, policy);
  EXPECT_EQ(log.status, 0u);
  EXPECT_EQ(log.body, "");
  EXPECT_EQ(Serve({"CVComm_Log", {"BANK01", "1", "text"}}, policy).status, 1u)
      << "wrong argument count";
  EXPECT_EQ(Serve({"CVComm_Other", {}}, policy).status, 1u);
}

TEST(SimProtocol, LogLineKeepsOneCallOnOneLine) {
  EXPECT_EQ(FormatLogLine({"CVComm_SetServer", {"127.0.0.1", "80", "/CommandService"}}, Identity),
            "CVComm_SetServer\t127.0.0.1\t80\t/CommandService");
  EXPECT_EQ(FormatLogLine({"CVComm_Log", {"a\tb", "1", "x\r\ny\\z", "0"}}, Identity),
            "CVComm_Log\ta\\tb\t1\tx\\r\\ny\\\\z\t0");
  EXPECT_EQ(FormatLogLine({"CVComm_Access", {""}}, Identity), "CVComm_Access\t");
  // Each field goes through the converter on its own.
  EXPECT_EQ(
      FormatLogLine({"A", {"b"}}, [](std::string_view s) { return "<" + std::string(s) + ">"; }),
      "<A>\t<b>");
}

TEST(SimOptions, ParsesEveryOptionAndRefusesBadOnes) {
  SimOptions o;
  std::string error;
  ASSERT_TRUE(ParseSimOptions({"--port", "0", "--policy", "p", "--log", "l", "--port-file", "f",
                               "--max-seconds", "30", "--stop-file", "s"},
                              &o, &error));
  EXPECT_EQ(o.port, 0);
  EXPECT_EQ(o.policy_path, "p");
  EXPECT_EQ(o.log_path, "l");
  EXPECT_EQ(o.port_file, "f");
  EXPECT_EQ(o.max_seconds, 30);
  EXPECT_EQ(o.stop_file, "s");
  EXPECT_FALSE(ParseSimOptions({"--port", "65536"}, &o, &error));
  EXPECT_FALSE(ParseSimOptions({"--port", "12x"}, &o, &error));
  EXPECT_FALSE(ParseSimOptions({"--port", "-1"}, &o, &error));
  EXPECT_FALSE(ParseSimOptions({"--policy"}, &o, &error));
  EXPECT_EQ(error, "missing value for --policy");
  EXPECT_FALSE(ParseSimOptions({"--verbose", "1"}, &o, &error));
}

}  // namespace
}  // namespace mgmt_sim
