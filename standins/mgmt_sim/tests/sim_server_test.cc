// The simulator's server over real loopback sockets, served from a thread.
#include "standins/mgmt_sim/posix/sim_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

namespace mgmt_sim {
namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

class SimServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/mgmt_sim_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    options_.policy_path = dir_ + "/policy";
    options_.log_path = dir_ + "/calls.log";
    options_.io_timeout_ms = 1000;
    std::string error;
    ASSERT_TRUE(server_.Listen(0, &error)) << error;
    ASSERT_GT(server_.port(), 0);
    thread_ = std::thread([this] { server_.Run(options_, [this] { return stop_.load(); }); });
  }
  void TearDown() override {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    std::remove(options_.policy_path.c_str());
    std::remove(options_.log_path.c_str());
    rmdir(dir_.c_str());
  }

  int Connect() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(server_.port()));
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    return fd;
  }

  // Sends raw bytes and reads until the server closes (bounded).
  std::string Exchange(const std::string& bytes) {
    int fd = Connect();
    EXPECT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
    std::string in;
    char buf[4096];
    for (;;) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 5000) <= 0) {
        ADD_FAILURE() << "no answer within 5 s";
        break;
      }
      ssize_t n = recv(fd, buf, sizeof(buf), 0);
      if (n <= 0) break;
      in.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    return in;
  }

  Reply CallServer(const Call& call) {
    std::string bytes = Exchange(EncodeCall(call));
    Reply reply;
    std::size_t used = 0;
    EXPECT_EQ(DecodeReply(bytes, &reply, &used), Parse::kComplete);
    return reply;
  }

  std::string dir_;
  ServerOptions options_;
  Server server_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST_F(SimServerTest, ServesThePolicyFileAsItIsAtEachRequest) {
  Call info{"CVComm_InfoSet", {"0", "0"}};
  EXPECT_EQ(CallServer(info).body, "") << "missing file: no reply";
  WriteText(options_.policy_path, "");
  EXPECT_EQ(CallServer(info).body, "") << "empty file: no reply";
  WriteText(options_.policy_path, "<observationtarget>one");
  EXPECT_EQ(CallServer(info).body, "<observationtarget>one");
  WriteText(options_.policy_path, "<observationtarget>two");
  Reply r = CallServer({"CVComm_InfoSetR", {"0", "100"}});
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.body, "<observationtarget>two");
}

TEST_F(SimServerTest, LogsEveryCallAsOneUtf8Line) {
  // "[www.bank.co.kr]에 대한 [6.6.6.6]주소 파밍시도" as the agent sends it, in CP949.
  std::string event_cp949 =
      "[www.bank.co.kr]\xBF\xA1 \xB4\xEB\xC7\xD1 [6.6.6.6]\xC1\xD6\xBC\xD2 "
      "\xC6\xC4\xB9\xD6\xBD\xC3\xB5\xB5";
  CallServer({"CVComm_SetServer", {"127.0.0.1", "8080", "/CommandService"}});
  CallServer({"CVComm_Log", {"BANK01", "1", event_cp949, "0"}});
  EXPECT_EQ(CallServer({"CVComm_Bogus", {}}).status, 1u);
  EXPECT_EQ(ReadText(options_.log_path),
            "CVComm_SetServer\t127.0.0.1\t8080\t/CommandService\n"
            "CVComm_Log\tBANK01\t1\t[www.bank.co.kr]에 대한 [6.6.6.6]주소 파밍시도\t0\n"
            "CVComm_Bogus\n");
}

TEST_F(SimServerTest, GarbageAndCutCallsAreDroppedAndServingGoesOn) {
  EXPECT_EQ(Exchange("GET / HTTP/1.0\r\n\r\n"), "");
  std::string cut = EncodeCall({"CVComm_Access", {"BANK01"}});
  cut.resize(cut.size() - 2);
  EXPECT_EQ(Exchange(cut), "") << "an unfinished call times out without reply";
  EXPECT_EQ(CallServer({"CVComm_Access", {"BANK02"}}).status, 0u);
  EXPECT_EQ(ReadText(options_.log_path), "CVComm_Access\tBANK02\n");
}

TEST(Cp949ToUtf8, ConvertsKoreanAndShowsBytesThatAreNotCp949) {
  EXPECT_EQ(Cp949ToUtf8("abc"), "abc");
  EXPECT_EQ(Cp949ToUtf8("\xC6\xC4\xB9\xD6"), "파밍");
  // A lone lead byte at the end and a byte that starts no character.
  EXPECT_EQ(Cp949ToUtf8("a\xC6"), "a\\xC6");
  EXPECT_EQ(Cp949ToUtf8("\xFF"
                        "b\xC6\xC4"),
            "\\xFFb파");
  EXPECT_EQ(Cp949ToUtf8(std::string("x\0y", 3)), std::string("x\0y", 3));
}

TEST(ReadPolicy, MissingEmptyAndFolder) {
  EXPECT_FALSE(ReadPolicy("/nonexistent/policy").has_value());
  EXPECT_FALSE(ReadPolicy("").has_value());
  EXPECT_FALSE(ReadPolicy("/tmp").has_value()) << "a folder is no policy";
  char tmpl[] = "/tmp/mgmt_sim_policy_XXXXXX";
  int fd = mkstemp(tmpl);
  ASSERT_GE(fd, 0);
  close(fd);
  ASSERT_TRUE(ReadPolicy(tmpl).has_value());
  EXPECT_EQ(*ReadPolicy(tmpl), "");
  std::remove(tmpl);
}

}  // namespace
}  // namespace mgmt_sim
