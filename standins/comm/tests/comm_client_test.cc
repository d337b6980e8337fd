#include "standins/comm/core/comm_client.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace comm_standin {
namespace {

using mgmt_sim::Call;
using mgmt_sim::Reply;

struct FakeServer {
  std::vector<std::string> seen;  // "host:port name args..."
  std::string policy;
  bool reachable = true;

  CommClient::Transport transport() {
    return [this](const std::string& host, int port, const Call& call) -> std::optional<Reply> {
      std::string line = host + ":" + std::to_string(port) + " " + call.name;
      for (const std::string& a : call.args) line += "|" + a;
      seen.push_back(line);
      if (!reachable) return std::nullopt;
      return mgmt_sim::Serve(call, policy);
    };
  }
};

TEST(CommClient, LengthQueryThenCopyHandsOverTheReply) {
  FakeServer server;
  server.policy = "<observationtarget>a";
  CommClient client(server.transport());
  client.SetServer("127.0.0.1", 4000, "/CommandService");
  int length = client.InfoSet("CVComm_InfoSet", 0, nullptr, 0);
  ASSERT_EQ(length, 20);
  std::vector<char> buffer(length + 32, 'x');
  // The reply changes between the two calls: the copy keeps what was announced.
  server.policy = "<observationtarget>changed and longer";
  EXPECT_EQ(client.InfoSet("CVComm_InfoSet", 0, buffer.data(), length + 32), 1);
  EXPECT_STREQ(buffer.data(), "<observationtarget>a");
  EXPECT_EQ(server.seen,
            (std::vector<std::string>{
                "127.0.0.1:4000 CVComm_SetServer|127.0.0.1|4000|/CommandService",
                "127.0.0.1:4000 CVComm_InfoSet|0|0", "127.0.0.1:4000 CVComm_InfoSet|0|52"}));
}

TEST(CommClient, NoReplyUnreachableOrTooSmallBufferGiveZero) {
  FakeServer server;
  CommClient client(server.transport());
  EXPECT_EQ(client.InfoSet("CVComm_InfoSetR", 0, nullptr, 0), 0) << "no server set yet";
  EXPECT_TRUE(server.seen.empty());
  client.SetServer("127.0.0.1", 4000, "/o");
  EXPECT_EQ(client.InfoSet("CVComm_InfoSetR", 0, nullptr, 0), 0) << "empty policy: no reply";
  server.policy = "abcdef";
  server.reachable = false;
  EXPECT_EQ(client.InfoSet("CVComm_InfoSetR", 0, nullptr, 0), 0);
  server.reachable = true;
  ASSERT_EQ(client.InfoSet("CVComm_InfoSetR", 0, nullptr, 0), 6);
  char small[6];
  std::memset(small, 'x', sizeof(small));
  EXPECT_EQ(client.InfoSet("CVComm_InfoSetR", 0, small, sizeof(small)), 0)
      << "no room for the terminator";
  EXPECT_EQ(std::string(small, sizeof(small)), "xxxxxx") << "nothing written past a refusal";
  // Without a length query before it, the copy takes the reply it gets now.
  char buffer[16] = {};
  EXPECT_EQ(client.InfoSet("CVComm_InfoSetR", 0, buffer, sizeof(buffer)), 1);
  EXPECT_STREQ(buffer, "abcdef");
  EXPECT_EQ(client.InfoSet("CVComm_InfoSetR", 0, buffer, 0), 0);
}

TEST(CommClient, CallsBeforeTheServerIsKnownFollowInTheirOrder) {
  FakeServer server;
  CommClient client(server.transport());
  client.Report({"CVComm_SetCompany", {"R-COMPANY"}});
  client.Report({"CVComm_Access", {""}});
  EXPECT_TRUE(server.seen.empty());
  client.SetServer(nullptr, 81, nullptr);
  client.SetServer("10.0.0.1", 82, "/x");
  client.Report({"CVComm_Log", {"A", "1", "ev", "0"}});
  EXPECT_EQ(
      server.seen,
      (std::vector<std::string>{
          ":81 CVComm_SetCompany|R-COMPANY", ":81 CVComm_Access|", ":81 CVComm_SetServer||81|",
          "10.0.0.1:82 CVComm_SetServer|10.0.0.1|82|/x", "10.0.0.1:82 CVComm_Log|A|1|ev|0"}));
}

TEST(CommClient, PendingCallsAreBounded) {
  FakeServer server;
  CommClient client(server.transport());
  for (int i = 0; i < 100; ++i) client.Report({"CVComm_Access", {std::to_string(i)}});
  client.SetServer("h", 1, "o");
  EXPECT_EQ(server.seen.size(), CommClient::kMaxPending + 1);
  EXPECT_EQ(server.seen.front(), "h:1 CVComm_Access|0");
}

}  // namespace
}  // namespace comm_standin
