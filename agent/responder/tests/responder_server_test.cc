// The server in-process on a free loopback port, with real clients (curl,
// openssl s_client) run as child processes under a time bound.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "agent/responder/server/responder.h"

namespace responder {
namespace {

const std::string kCerts = TEST_CERTS_DIR;
const std::string kBody = "jQuery123({\"message\":\"Corvanta Already Installed\"});";

std::string Shell(const std::string& command) {
  std::string out;
  std::FILE* pipe = popen(("timeout 20 " + command + " 2>&1").c_str(), "r");
  char buffer[4096];
  for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    out.append(buffer, n);
  if (pipe) pclose(pipe);
  return out;
}

ResponderConfig TestConfig() {
  ResponderConfig config;
  config.certificate_file = kCerts + "/locrt";
  config.key_file = kCerts + "/locrk";
  config.address = "127.0.0.1";
  config.port = 0;
  return config;
}

// A responder running on its own thread; the port is known once it listens.
class Running {
 public:
  explicit Running(ResponderConfig config) {
    config.on_listening = [this](std::uint16_t port) { port_.set_value(port); };
    std::string error;
    server_ = Responder::Create(config, &error);
    EXPECT_TRUE(server_) << error;
    if (server_) run_ = std::async(std::launch::async, [this] { server_->Run(); });
  }
  ~Running() { EXPECT_TRUE(Stop()); }
  std::uint16_t Port() {
    auto future = port_.get_future();
    return future.wait_for(std::chrono::seconds(20)) == std::future_status::ready ? future.get()
                                                                                  : 0;
  }
  bool Stop() {
    if (!run_.valid()) return true;
    server_->RequestStop();
    bool ended = run_.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    if (ended) run_.get();
    return ended;
  }

 private:
  std::promise<std::uint16_t> port_;
  std::unique_ptr<Responder> server_;
  std::future<void> run_;
};

int Connect(std::uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(port);
  where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0) {
    close(fd);
    return -1;
  }
  timeval bound{20, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
  return fd;
}

// What the server sent until it ended the connection (bounded by the receive time-out).
std::string ReadToEnd(int fd) {
  std::string got;
  char buffer[4096];
  for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) got.append(buffer, n);
  return got;
}

std::string CurlCommand(std::uint16_t port, const std::string& options) {
  return "curl -sS " + options + " --cacert " + kCerts +
         "/root.pem 'https://localhost:" + std::to_string(port) + "/?callback=jQuery123&_=1'";
}

std::string Curl(std::uint16_t port) { return Shell(CurlCommand(port, "")); }

TEST(ResponderServer, RealClientsGetTheReplyOverTls12And13Only) {
  Running server(TestConfig());
  std::uint16_t port = server.Port();
  ASSERT_NE(port, 0);
  const std::string s_client =
      "sh -c \"printf 'GET /?callback=jQuery123&_=1 HTTP/1.0\\r\\n\\r\\n' | openssl s_client "
      "-connect 127.0.0.1:" +
      std::to_string(port) + " -quiet -cipher DEFAULT@SECLEVEL=0 ";
  struct Case {
    std::string command;
    std::string expected;  // the whole output, or a part of it when partial
    bool partial;
  } cases[] = {
      {CurlCommand(port, ""), kBody, false},
      {CurlCommand(port, "--tlsv1.2 --tls-max 1.2"), kBody, false},
      {CurlCommand(port, "--tlsv1.3"), kBody, false},
      {s_client + "-tls1_2\"", kBody, true},
      {s_client + "-tls1_3\"", kBody, true},
      // Refused by the server: its alert, not the client's own refusal.
      {s_client + "-tls1\"", "alert protocol version", true},
      {s_client + "-tls1_1\"", "alert protocol version", true},
  };
  for (const Case& c : cases) {
    std::string out = Shell(c.command);
    if (c.partial) {
      EXPECT_NE(out.find(c.expected), std::string::npos) << c.command << "\n" << out;
      if (c.expected != kBody) {
        EXPECT_EQ(out.find("Corvanta"), std::string::npos) << out;
      }
    } else {
      EXPECT_EQ(out, c.expected) << c.command;
    }
  }
}

TEST(ResponderServer, PlainHttpGetsNoReplyAndTheConnectionEnds) {
  Running server(TestConfig());
  int fd = Connect(server.Port());
  ASSERT_GE(fd, 0);
  std::string request = "GET /?callback=jQuery123&_=1 HTTP/1.0\r\n\r\n";
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string got = ReadToEnd(fd);
  EXPECT_EQ(got.find("Corvanta"), std::string::npos);
  EXPECT_EQ(got.find("HTTP/1.0 200"), std::string::npos);
  close(fd);
}

// A silent client and one that sends a byte every 100 ms are both cut at the
// deadline: the server ends the connection long before the trickle would end.
TEST(ResponderServer, SilentAndTricklingClientsAreCutAtTheDeadline) {
  ResponderConfig config = TestConfig();
  config.connection_deadline_ms = 300;
  Running server(config);
  std::uint16_t port = server.Port();
  for (int trickle_bytes : {0, 200}) {
    int fd = Connect(port);
    ASSERT_GE(fd, 0);
    int sent = 0;
    for (; sent < trickle_bytes; ++sent) {
      if (send(fd, "\x16", 1, MSG_NOSIGNAL) != 1) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(ReadToEnd(fd), "");
    EXPECT_LT(sent, trickle_bytes == 0 ? 1 : trickle_bytes)
        << "the trickle kept the connection open";
    close(fd);
  }
}

// Idle connections held open, below and far above the bound: a real request
// still gets its reply (at the bound the oldest idle one is ended).
TEST(ResponderServer, ManyIdleConnectionsDoNotKeepARealRequestOut) {
  struct Case {
    std::size_t bound;
    int idle;
  } cases[] = {{512, 300}, {16, 300}};
  for (const Case& c : cases) {
    ResponderConfig config = TestConfig();
    config.max_connections = c.bound;
    config.connection_deadline_ms = 60000;
    Running server(config);
    std::uint16_t port = server.Port();
    std::vector<int> idle;
    for (int i = 0; i < c.idle; ++i) idle.push_back(Connect(port));
    EXPECT_EQ(Curl(port), kBody) << "bound " << c.bound;
    for (int fd : idle) close(fd);
  }
}

TEST(ResponderServer, RequestStopEndsRunWithoutAConnection) {
  for (bool stop_before_run : {true, false}) {
    std::string error;
    std::unique_ptr<Responder> server = Responder::Create(TestConfig(), &error);
    ASSERT_TRUE(server) << error;
    if (stop_before_run) server->RequestStop();
    auto run = std::async(std::launch::async, [&] { server->Run(); });
    if (!stop_before_run) server->RequestStop();
    EXPECT_EQ(run.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  }
}

// While another socket holds the port, Run retries at its pace (no spinning)
// and serves once the port is free.
TEST(ResponderServer, TakenPortIsRetriedUntilFree) {
  int blocker = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof where;
  ASSERT_EQ(bind(blocker, reinterpret_cast<sockaddr*>(&where), sizeof where), 0);
  ASSERT_EQ(listen(blocker, 1), 0);
  getsockname(blocker, reinterpret_cast<sockaddr*>(&where), &size);
  ResponderConfig config = TestConfig();
  config.port = ntohs(where.sin_port);
  config.bind_retry_ms = 100;
  std::atomic<int> failures{0};
  config.on_bind_failed = [&](const std::string&) { ++failures; };
  Running server(config);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  EXPECT_GE(failures.load(), 1);
  EXPECT_LE(failures.load(), 20);
  close(blocker);
  ASSERT_EQ(server.Port(), config.port);
  EXPECT_EQ(Curl(config.port), kBody);
}

TEST(ResponderServer, CreateFailsWithAClearReason) {
  struct Case {
    std::string certificate, key, reason;
  } cases[] = {
      {"/nonexistent/locrt", kCerts + "/locrk", "trust file /nonexistent/locrt"},
      {kCerts + "/locrt", "/nonexistent/locrk", "private-key file /nonexistent/locrk"},
      {kCerts + "/locrt", kCerts + "/root.key", "key values mismatch"},
      {kCerts + "/jsxCVsc.cer", kCerts + "/locrk", "jsxCVsc.cer"},
  };
  for (const Case& c : cases) {
    ResponderConfig config = TestConfig();
    config.certificate_file = c.certificate;
    config.key_file = c.key;
    std::string error;
    EXPECT_FALSE(Responder::Create(config, &error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
}

TEST(ResponderServer, LinkedLibraryOffersTheServerMethod) {
  EXPECT_TRUE(TlsServerMethodAvailable());
}

}  // namespace
}  // namespace responder
