// A real capture (web, https, DNS between the real-traffic namespaces, taken
// with a snapshot length of 1024) through the URL check and the DNS rendering;
// the texts must match the golden file. QVW_GOLDEN_UPDATE=1 rewrites it.
#include <pcap/pcap.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "netmon/core/frame.h"
#include "netmon/core/monitor.h"
#include "netmon/core/packet_text.h"
#include "netmon/tests/fake_capture.h"

namespace qvw {
namespace {

std::string* g_out = nullptr;
int g_index = 0;
int Collect(const char* text) {
  *g_out += std::to_string(g_index) + " report " + text + "\n";
  return 1;
}

std::string Replay(const std::string& path) {
  testing::FakeBackend backend;
  testing::FakeEnv env;
  env.addresses["secure.bank.test"] = "10.231.7.3";
  Monitor monitor(backend, env);
  monitor.OpenAuto("golden0", 0);
  monitor.GetUrl("https://secure.bank.test;", &Collect, 0, 1);

  std::string out;
  g_out = &out;
  char errbuf[PCAP_ERRBUF_SIZE];
  pcap_t* p = pcap_open_offline(path.c_str(), errbuf);
  if (!p) {
    ADD_FAILURE() << errbuf;
    return "";
  }
  pcap_pkthdr* h;
  const u_char* data;
  g_index = 0;
  while (pcap_next_ex(p, &h, &data) == 1) {
    monitor.CheckPacket(data, h->caplen);
    FrameReader frame(data, h->caplen);
    FrameFields fields;
    std::string dns;
    if (ReadFrame(frame, &fields) != FrameStatus::kTruncated && RenderDnsQuery(frame, fields, &dns))
      out += std::to_string(g_index) + " dns " + dns + "\n";
    ++g_index;
  }
  pcap_close(p);
  out += std::to_string(g_index) + " packets\n";
  return out;
}

TEST(NetmonGolden, WebSessionCapture) {
  const std::string dir = QVW_GOLDEN_DIR;
  std::string actual = Replay(dir + "/web_session.pcap");
  const std::string expected_path = dir + "/web_session.expected";
  if (std::getenv("QVW_GOLDEN_UPDATE")) {
    std::ofstream(expected_path, std::ios::binary) << actual;
    GTEST_SKIP() << "golden file rewritten";
  }
  std::ifstream in(expected_path, std::ios::binary);
  std::stringstream expected;
  expected << in.rdbuf();
  EXPECT_EQ(actual, expected.str());
}

}  // namespace
}  // namespace qvw
