#include "netmon/core/packet_text.h"

#include <gtest/gtest.h>

#include <memory>

#include "netmon/tests/fake_capture.h"

namespace qvw {
namespace {

using testing::BuildFrame;
using testing::Bytes;
using testing::DnsQuery;
using testing::FrameSpec;

std::string Normalised(const std::string& raw) {
  std::string out(raw.size(), '\0');
  NormaliseText(raw, out.data());
  return out;
}

// The name by the reference reading (whole text normalised first), checked
// against the reading the URL check uses.
std::string Name(const std::string& raw) {
  std::string text = Normalised(raw);
  std::string_view name;
  bool found = ExtractName(text, &name);
  char fast[kMaxName + 1];
  bool fast_found = ExtractNameFromRaw(raw, fast);
  EXPECT_EQ(found, fast_found) << raw;
  if (!found) return "<none>";
  EXPECT_EQ(std::string(name), std::string(fast)) << raw;
  return std::string(name);
}

TEST(NetmonUrlText, NormalisingKeepsLineEndsAndHighBytes) {
  EXPECT_EQ(Normalised(std::string("GET /A\x01\x00\t\r\nHost: X\xB0\xA1Y", 18)),
            std::string("get /a|||\r\nhost: x\xB0\xA1y", 18));
}

TEST(NetmonUrlText, HostHeaderInMixedCaseWithoutScheme) {
  EXPECT_EQ(Name("GET /index.html HTTP/1.1\r\nHoSt: WWW.Bank.Example\r\nAccept: */*\r\n\r\n"),
            "www.bank.example");
}

TEST(NetmonUrlText, AbsoluteUrlFollowedByHostHeaderYieldsTheHeader) {
  EXPECT_EQ(Name("GET http://Proxy.Example/path HTTP/1.1\r\nHost: Other.Example:8080\r\n\r\n"),
            "other.example:8080");
}

TEST(NetmonUrlText, LinkInResponseYieldsSchemeAndHost) {
  EXPECT_EQ(Name("HTTP/1.1 200 OK\r\n\r\n<a href=\"http://Link.Example.Test/page\">x</a>"),
            "http://link.example.test");
  EXPECT_EQ(Name("<a href=https://secure.example|x"), "https://secure.example");
  EXPECT_EQ(Name("see http://host.example"), "http://host.example");
}

TEST(NetmonUrlText, HttpAnchorWinsOverEarlierHttps) {
  EXPECT_EQ(Name("https://first.example/ then http://second.example/"), "http://second.example");
}

TEST(NetmonUrlText, BareHostColonAnchorAndShortTexts) {
  EXPECT_EQ(Name("host:abc.example\r\n"), "host:abc.example");
  EXPECT_EQ(Name("host:a"), "host:a");  // shorter than the skipped part
  EXPECT_EQ(Name("http://"), "http://");
  EXPECT_EQ(Name("x host: \r\n"), "");
  EXPECT_EQ(Name("nothing to see"), "<none>");
  EXPECT_EQ(Name(""), "<none>");
}

TEST(NetmonUrlText, ColonScanCornerCases) {
  EXPECT_EQ(Name("Host:\r\nhttps://A.b/c"), "https://a.b");
  EXPECT_EQ(Name("xhost: a\x01"
                 "b\rhost: c"),
            "a|b");
  EXPECT_EQ(Name("HTTPS://x.y hTTp://z.w"), "http://z.w");
  EXPECT_EQ(Name("host:\x01\x02\r\nabcdef:gh"), "host:||\r");  // the LF ends it
  EXPECT_EQ(Name("ttp://a host:b"), "host:b");
  EXPECT_EQ(Name(":::://host://"), "host://");
  EXPECT_EQ(Name("https:/x"), "<none>");
  EXPECT_EQ(Name("http:/"), "<none>");
  EXPECT_EQ(Name("http://a|b"), "http://a");
  EXPECT_EQ(Name("http://aaaaaaa host:x"), "http://aaaaaaa host");
  EXPECT_EQ(Name("http://ab host: Y\nZ"), "y");
}

TEST(NetmonUrlText, NamesAreCutAt255) {
  std::string host(400, 'a');
  EXPECT_EQ(Name("Host: " + host + "\r\n").size(), 255u);
  EXPECT_EQ(Name("http://" + host + "/").size(), 255u);
}

TEST(NetmonUrlText, PayloadBoundedByTotalLengthCaptureAnd1024) {
  FrameSpec shape;
  shape.payload = std::string(2000, 'x');
  Bytes frame = BuildFrame(shape);
  FrameFields f;
  ASSERT_EQ(ReadFrame(FrameReader(frame.data(), frame.size()), &f), FrameStatus::kOk);
  EXPECT_EQ(PayloadBytes(FrameReader(frame.data(), frame.size()), f).size(), 1024u);
  // Total length claims more than was captured.
  EXPECT_EQ(PayloadBytes(FrameReader(frame.data(), 100), f).size(), 100u - 34u);
  // Total length below the header length.
  shape.payload = "GET / HTTP/1.1";
  shape.total_length = 10;
  frame = BuildFrame(shape);
  ASSERT_EQ(ReadFrame(FrameReader(frame.data(), frame.size()), &f), FrameStatus::kOk);
  EXPECT_TRUE(PayloadBytes(FrameReader(frame.data(), frame.size()), f).empty());
  // The text starts at the transport header: TCP header bytes lead it.
  shape.total_length = 20 + 20 + 4;
  frame = BuildFrame(shape);
  ReadFrame(FrameReader(frame.data(), frame.size()), &f);
  EXPECT_EQ(PayloadBytes(FrameReader(frame.data(), frame.size()), f).size(), 24u);
}

std::string Dns(const Bytes& frame, size_t length = SIZE_MAX) {
  length = std::min(length, frame.size());
  auto copy = std::make_unique<uint8_t[]>(length ? length : 1);
  std::copy(frame.begin(), frame.begin() + static_cast<long>(length), copy.get());
  FrameReader reader(copy.get(), length);
  FrameFields f;
  if (ReadFrame(reader, &f) == FrameStatus::kTruncated) return "<truncated>";
  std::string text;
  if (!RenderDnsQuery(reader, f, &text)) return "<none>";
  return text;
}

TEST(NetmonDnsText, UdpQueryRendersLabelLengthsAsDots) {
  FrameSpec shape;
  shape.protocol = 17;
  shape.dst_port = 53;
  shape.payload = DnsQuery("www.bank.example", 0x4142);
  std::string text = Dns(BuildFrame(shape));
  EXPECT_EQ(text, "AB...........www.bank.example.....");
  EXPECT_NE(text.find("bank.example"), std::string::npos);
}

TEST(NetmonDnsText, TcpQueryKeepsItsLengthPrefix) {
  FrameSpec shape;
  shape.dst_port = 53;
  shape.tcp_header_length = 32;
  std::string message = DnsQuery("a.bc", 0x4142);
  shape.payload = std::string("\x00", 1) + static_cast<char>(message.size()) + message;
  std::string text = Dns(BuildFrame(shape));
  EXPECT_EQ(text.substr(0, 2), "..");
  EXPECT_NE(text.find(".a.bc....."), std::string::npos);
}

TEST(NetmonDnsText, LongLabelLengthIsPrintable) {
  FrameSpec shape;
  shape.protocol = 17;
  shape.dst_port = 53;
  std::string label(33, 'q');
  shape.payload = DnsQuery(label + ".example");
  std::string text = Dns(BuildFrame(shape));
  EXPECT_NE(text.find("!" + label + ".example"), std::string::npos);  // 33 = '!'
}

TEST(NetmonDnsText, OnlyQueriesToPort53WithMessageBytes) {
  FrameSpec shape;
  shape.protocol = 17;
  shape.src_port = 53;  // a response
  shape.dst_port = 40000;
  shape.payload = DnsQuery("www.bank.example");
  EXPECT_EQ(Dns(BuildFrame(shape)), "<none>");
  shape.src_port = 40000;
  shape.dst_port = 5353;
  EXPECT_EQ(Dns(BuildFrame(shape)), "<none>");
  shape.dst_port = 53;
  shape.payload.clear();
  EXPECT_EQ(Dns(BuildFrame(shape)), "<none>");
  shape.protocol = 1;
  shape.payload = DnsQuery("x.y");
  EXPECT_EQ(Dns(BuildFrame(shape)), "<none>");
  // TCP header length pointing past the capture.
  shape.protocol = 6;
  shape.tcp_header_length = 60;
  shape.payload.clear();
  Bytes frame = BuildFrame(shape);
  EXPECT_EQ(Dns(frame), "<none>");
}

TEST(NetmonDnsText, EveryCutOfAQueryIsSafe) {
  for (uint8_t protocol : {uint8_t{6}, uint8_t{17}}) {
    FrameSpec shape;
    shape.protocol = protocol;
    shape.dst_port = 53;
    shape.payload = DnsQuery("www.bank.example");
    Bytes frame = BuildFrame(shape);
    for (size_t n = 0; n <= frame.size(); ++n) {
      std::string text = Dns(frame, n);
      size_t message = 34 + (protocol == 6 ? 20 : 8);
      if (n < 38)
        EXPECT_EQ(text, "<truncated>");
      else if (n <= message)
        EXPECT_EQ(text, "<none>") << n;
      else
        EXPECT_EQ(text.size(), n - message);
    }
  }
}

}  // namespace
}  // namespace qvw
