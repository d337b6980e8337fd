// The agent's HTTPS presence responder as pages meet it: a real TLS client from
// the Linux side asks on 127.0.0.1:12500, the machine's root store gains the
// suite's root once, and an agent beside a current keep-alive service leaves
// the port to the service.
#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <string>

#include "core/messages.h"
#include "win/sim_process.h"
#include "win_harness.h"

namespace {

using harness::Process;
using harness::TempFolder;

constexpr DWORD kStartMs = 20000;
constexpr char kCurl[] = "Z:\\usr\\bin\\curl";
constexpr char kReply[] = "jQuery123({\"message\":\"Corvanta Already Installed\"});";

PCCERT_CONTEXT TestRoot() {
  std::string der = harness::ReadFileText(harness::TestCertFolder() + "\\jsxCVsc.cer");
  return CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                      static_cast<DWORD>(der.size()));
}

// How often the test root is in the machine's "ROOT" store; removes it with `remove`.
int RootCopies(bool remove = false) {
  PCCERT_CONTEXT root = TestRoot();
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
  int copies = 0;
  PCCERT_CONTEXT found = nullptr;
  while (root && store &&
         (found = CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                             root, found)) != nullptr) {
    ++copies;
    if (remove) CertDeleteCertificateFromStore(CertDuplicateCertificateContext(found));
  }
  if (store) CertCloseStore(store, 0);
  if (root) CertFreeCertificateContext(root);
  return copies;
}

bool PortAnswers() {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(12500);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool connected = connect(s, reinterpret_cast<sockaddr*>(&to), sizeof(to)) == 0;
  closesocket(s);
  return connected;
}

bool TrayIconShown() {
  HWND tray = FindWindowA("__winex11_standalone_tray", nullptr);
  return tray != nullptr && IsWindowVisible(tray);
}

class ResponderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    harness::KillWindowOwners(nullptr, kestra::kTitleX);
    harness::RemoveTree(harness::AppDataFolder() + "\\TessalX");
    RootCopies(true);
    for (const char* f : {"jsxCVsc.cer", "locrt", "locrk"}) {
      ASSERT_TRUE(CopyFileA((harness::TestCertFolder() + "\\" + f).c_str(), (folder_ / f).c_str(), FALSE));
    }
    ASSERT_TRUE(CopyFileA((harness::OutFolder() + "\\qvTessalKestra.exe").c_str(),
                          (folder_ / "qvTessalKestra.exe").c_str(), FALSE));
  }
  void TearDown() override {
    agent_.Kill();
    service_.Kill();
    harness::KillWindowOwners(nullptr, kestra::kTitleX);
    RootCopies(true);
    WSACleanup();
  }

  void StartAgent() {
    ASSERT_TRUE(agent_.Start(folder_ / "qvTessalKestra.exe"));
    ASSERT_NE(harness::WaitForWindow(nullptr, kestra::kTitleX, kStartMs), nullptr);
  }

  // Asks the way a page does, from the Linux side, until a reply came or the
  // time is up; curl itself is bounded, since Wine cannot wait for it.
  std::string AskWithCurl(DWORD timeout_ms) {
    std::string unix_folder = mgmt_sim::UnixPathOf(folder_.path());
    std::string reply;
    for (int attempt = 0; reply.empty() && attempt * 1000u < timeout_ms; ++attempt) {
      std::string out = "reply" + std::to_string(attempt);
      std::string command = std::string("\"") + kCurl + "\" -s --max-time 5 --resolve localhost:12500:127.0.0.1" +
                            " --cacert \"" + harness::TestCertUnixFolder() + "/root.pem\" -o \"" + unix_folder +
                            "/" + out + "\" \"https://localhost:12500/x.js?callback=jQuery123&_=1\"";
      std::string error;
      if (!mgmt_sim::StartLinuxProgram(kCurl, command, &error)) return error;
      harness::WaitUntil([&] { return !harness::ReadFileText(folder_ / out).empty(); }, 1000);
      reply = harness::ReadFileText(folder_ / out);
    }
    return reply;
  }

  // A process named gatrell.exe runs, from another folder, as the service would.
  void RunServiceProcess() {
    ASSERT_TRUE(CopyFileA(harness::IdleProgram().c_str(), (elsewhere_ / "Gatrell.exe").c_str(), FALSE));
    ASSERT_TRUE(service_.Start(elsewhere_ / "Gatrell.exe", "60000"));
  }

  TempFolder folder_{"kestra responder"};
  TempFolder elsewhere_{"gatrell"};
  Process agent_, service_;
};

TEST_F(ResponderTest, AnswersPagesOverTlsShowsTheIconAndTrustsItsRootOnce) {
  ASSERT_EQ(RootCopies(), 0);
  for (int start = 0; start < 2; ++start) {
    StartAgent();
    EXPECT_EQ(AskWithCurl(15000), kReply) << "start " << start;
    if (start == 0) EXPECT_TRUE(harness::WaitUntil(TrayIconShown, 5000)) << "no tray icon after a connection";
    EXPECT_EQ(RootCopies(), 1) << "start " << start;
    agent_.Kill();
    ASSERT_TRUE(harness::WaitUntil([] { return !PortAnswers(); }, 10000));
  }
}

TEST_F(ResponderTest, LeavesThePortToACurrentServiceOnly) {
  const struct {
    const char* service_file;  // beside the agent, its version read
    bool agent_answers;
  } cases[] = {
      {"Gatrell.exe", false},  // the service of this suite, "1, 0, 0, 2"
      {nullptr, true},         // the first service, "1, 0, 0, 1": no responder in it
  };
  RunServiceProcess();
  for (const auto& c : cases) {
    std::string source = c.service_file ? harness::OutFolder() + "\\" + c.service_file : harness::IdleProgram();
    ASSERT_TRUE(CopyFileA(source.c_str(), (folder_ / "Gatrell.exe").c_str(), FALSE));
    StartAgent();
    if (c.agent_answers) {
      EXPECT_EQ(AskWithCurl(15000), kReply);
    } else {
      // Start-up has run past the responder once the work folder is back.
      ASSERT_TRUE(harness::WaitUntil([] { return harness::FolderExists(harness::AppDataFolder() + "\\TessalX\\CVWork"); },
                                     kStartMs));
      Sleep(2000);
      EXPECT_FALSE(PortAnswers()) << "the agent listens beside a current service";
    }
    agent_.Kill();
    harness::WaitUntil([] { return !PortAnswers(); }, 10000);
  }
}

}  // namespace
