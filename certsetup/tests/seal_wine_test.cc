// qvTessalSeal run from a program folder of its own under Wine: the files it
// makes are the ones the responder's server starts with and a verifying client
// accepts for "localhost"; a second /make keeps them; /remove takes out the
// suite's roots and no other certificate of "ROOT".
#include "common/win/platform.h"
#include <winsock2.h>
#include <ws2tcpip.h>
#include <wincrypt.h>

#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "agent/responder/server/responder.h"
#include "agent/responder/win/root_store.h"
#include "certsetup/core/seal_certs.h"
#include "common/win/wide_text.h"
#include "tests/support/win_harness.h"

namespace {

using harness::TempFolder;

constexpr DWORD kRunMs = 30000;
constexpr char kRequest[] =
    "GET /x.js?callback=jQuery123&_=1 HTTP/1.1\r\nHost: localhost:12500\r\n\r\n";
constexpr char kReply[] = "jQuery123({\"message\":\"Corvanta Already Installed\"});";

class SealTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CopyFileA((harness::OutFolder() + "\\qvTessalSeal.exe").c_str(),
                          (folder_ / "qvTessalSeal.exe").c_str(), FALSE));
  }
  DWORD Seal(const std::string& arguments) {
    harness::Process seal;
    DWORD code = 999;
    if (!seal.Start(folder_ / "qvTessalSeal.exe", arguments) || !seal.WaitForExit(kRunMs, &code))
      return 998;
    return code;
  }
  std::string Files() {
    return harness::ReadFileText(folder_ / "jsxCVsc.cer") +
           harness::ReadFileText(folder_ / "locrt") + harness::ReadFileText(folder_ / "locrk");
  }
  TempFolder folder_{"seal program"};
};

// The responder's own server on a free loopback port, for one test.
class ServerOnLoopback {
 public:
  explicit ServerOnLoopback(const std::string& folder) {
    responder::ResponderConfig config;
    config.certificate_file = folder + "\\locrt";
    config.key_file = folder + "\\locrk";
    config.address = "127.0.0.1";
    config.port = 0;
    config.on_listening = [this](std::uint16_t port) { port_ = port; };
    server_ = responder::Responder::Create(config, &error_);
    if (server_) thread_ = std::thread([this] { server_->Run(); });
  }
  ~ServerOnLoopback() {
    if (server_) server_->RequestStop();
    if (thread_.joinable()) thread_.join();
  }
  const std::string& error() const { return error_; }
  // 0 when it did not listen within the bound.
  std::uint16_t WaitForPort() {
    harness::WaitUntil([this] { return port_ != 0; }, 10000);
    return port_;
  }

 private:
  std::string error_;
  std::unique_ptr<responder::Responder> server_;
  std::thread thread_;
  std::atomic<std::uint16_t> port_{0};
};

SOCKET ConnectLoopback(std::uint16_t port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  DWORD timeout_ms = 5000;  // every read and write below is bounded
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout_ms),
             sizeof timeout_ms);
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout_ms),
             sizeof timeout_ms);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

// Asks as a page's browser would, trusting only `root_der` and checking the
// name "localhost"; the reply, or the verifier's complaint.
std::string AskVerified(std::uint16_t port, const std::string& root_der) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
  auto p = reinterpret_cast<const unsigned char*>(root_der.data());
  X509* root = d2i_X509(nullptr, &p, static_cast<long>(root_der.size()));
  X509_STORE_add_cert(SSL_CTX_get_cert_store(ctx), root);
  X509_free(root);
  SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
  SSL* ssl = SSL_new(ctx);
  SSL_set1_host(ssl, "localhost");
  SSL_set_tlsext_host_name(ssl, "localhost");
  SOCKET s = ConnectLoopback(port);
  std::string reply;
  if (s == INVALID_SOCKET) {
    reply = "no connection";
  } else if (SSL_set_fd(ssl, static_cast<int>(s)), SSL_connect(ssl) != 1) {
    reply = std::string("handshake: ") + X509_verify_cert_error_string(SSL_get_verify_result(ssl));
  } else {
    SSL_write(ssl, kRequest, sizeof kRequest - 1);
    char buffer[4096];
    for (int n; (n = SSL_read(ssl, buffer, sizeof buffer)) > 0;) reply.append(buffer, n);
  }
  SSL_free(ssl);
  SSL_CTX_free(ctx);
  if (s != INVALID_SOCKET) closesocket(s);
  ERR_clear_error();
  return reply;
}

TEST_F(SealTest, MadeFilesServeAVerifyingClientForLocalhost) {
  ASSERT_EQ(Seal("/make"), 0u);
  WSADATA wsa;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
  {
    ServerOnLoopback server(folder_.path());
    ASSERT_EQ(server.error(), "");
    std::uint16_t port = server.WaitForPort();
    ASSERT_NE(port, 0);
    std::string reply = AskVerified(port, harness::ReadFileText(folder_ / "jsxCVsc.cer"));
    EXPECT_NE(reply.find(kReply), std::string::npos) << reply;
    // The tree's test root is not the made one: the same client refuses.
    EXPECT_EQ(AskVerified(port, harness::ReadFileText(harness::TestCertFolder() + "\\jsxCVsc.cer"))
                  .find(kReply),
              std::string::npos);
  }
  WSACleanup();
}

TEST_F(SealTest, SecondMakeKeepsTheFilesForceOrUnfitFilesReplaceThem) {
  ASSERT_EQ(Seal("/make"), 0u);
  std::string first = Files();
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(Seal("/make"), 0u);
  EXPECT_EQ(Files(), first);
  EXPECT_EQ(Seal("/MAKE /force"), 0u);
  EXPECT_NE(Files(), first);
  EXPECT_FALSE(harness::FileExists(folder_ / "locrk.new"));
  // An emptied file is made again, with the other two.
  std::string key = harness::ReadFileText(folder_ / "locrk");
  ASSERT_TRUE(harness::WriteFileText(folder_ / "locrt", ""));
  EXPECT_EQ(Seal("/make"), 0u);
  EXPECT_NE(harness::ReadFileText(folder_ / "locrt"), "");
  EXPECT_NE(harness::ReadFileText(folder_ / "locrk"), key);
  // A set it did not make (one shipped alike to every PC) is replaced too.
  for (const char* name : {"jsxCVsc.cer", "locrt", "locrk"}) {
    ASSERT_TRUE(CopyFileA((harness::TestCertFolder() + "\\" + name).c_str(),
                          (folder_ / name).c_str(), FALSE));
  }
  EXPECT_EQ(Seal("/make"), 0u);
  EXPECT_NE(harness::ReadFileText(folder_ / "locrk"),
            harness::ReadFileText(harness::TestCertFolder() + "\\locrk"));
  EXPECT_EQ(Seal("/make /remove"), 1u);
}

// Every certificate of the machine's "ROOT" store, encoded.
std::vector<std::string> RootStore() {
  std::vector<std::string> all;
  HCERTSTORE store =
      CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                    CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_READONLY_FLAG, L"ROOT");
  for (PCCERT_CONTEXT c = store ? CertEnumCertificatesInStore(store, nullptr) : nullptr;
       c != nullptr; c = CertEnumCertificatesInStore(store, c)) {
    all.emplace_back(reinterpret_cast<const char*>(c->pbCertEncoded), c->cbCertEncoded);
  }
  if (store) CertCloseStore(store, 0);
  return all;
}

bool IsOurs(const std::string& der) {
  return seal::IsSuiteRoot(reinterpret_cast<const unsigned char*>(der.data()), der.size());
}

TEST_F(SealTest, RemoveTakesOutTheSuitesRootsOnly) {
  ASSERT_EQ(Seal("/make"), 0u);
  std::string made = harness::ReadFileText(folder_ / "jsxCVsc.cer");
  ASSERT_NE(responder::ImportRootCertificate(tessal::Widen(folder_ / "jsxCVsc.cer")),
            responder::RootImport::kUnreadable);
  std::vector<std::string> before = RootStore();
  ASSERT_NE(std::find(before.begin(), before.end(), made), before.end());
  // Other tests import and remove the tree's test root side by side with this one.
  std::string test_root = harness::ReadFileText(harness::TestCertFolder() + "\\jsxCVsc.cer");
  std::vector<std::string> others;
  for (const std::string& der : before) {
    if (!IsOurs(der) && der != test_root) others.push_back(der);
  }
  ASSERT_FALSE(others.empty());  // the system's own roots

  EXPECT_EQ(Seal("/remove"), 0u);
  for (const char* name : {"jsxCVsc.cer", "locrt", "locrk"})
    EXPECT_FALSE(harness::FileExists(folder_ / name)) << name;
  std::vector<std::string> after = RootStore();
  EXPECT_EQ(std::count_if(after.begin(), after.end(), IsOurs), 0);
  for (const std::string& der : others)
    EXPECT_NE(std::find(after.begin(), after.end(), der), after.end());
  EXPECT_EQ(Seal("/remove"), 0u);  // nothing left to remove is no failure
}

}  // namespace
