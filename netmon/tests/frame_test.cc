#include "netmon/core/frame.h"

#include <gtest/gtest.h>

#include <memory>

#include "netmon/tests/fake_capture.h"

namespace qvw {
namespace {

using testing::BuildFrame;
using testing::Bytes;
using testing::FrameSpec;

FrameStatus ReadCopy(const Bytes& frame, size_t length, FrameFields* fields) {
  // Exactly length bytes on the heap: a read past them is an ASan error.
  auto copy = std::make_unique<uint8_t[]>(length ? length : 1);
  std::copy(frame.begin(), frame.begin() + static_cast<long>(length), copy.get());
  return ReadFrame(FrameReader(copy.get(), length), fields);
}

TEST(NetmonFrame, ReadsFixedOffsetsOfWellFormedFrame) {
  FrameSpec shape;
  shape.src_port = 51234;
  shape.dst_port = 443;
  shape.payload = "abc";
  FrameFields f;
  Bytes frame = BuildFrame(shape);
  ASSERT_EQ(ReadFrame(FrameReader(frame.data(), frame.size()), &f), FrameStatus::kOk);
  EXPECT_EQ(f.ip_header_length, 20u);
  EXPECT_EQ(f.transport, 34u);
  EXPECT_EQ(f.src_port, 51234);
  EXPECT_EQ(f.dst_port, 443);
  EXPECT_EQ(f.protocol, 6);
  EXPECT_EQ(f.total_length, 20 + 20 + 3);
  char text[16];
  FormatDotted(f.dst, text, sizeof text);
  EXPECT_STREQ(text, "10.0.0.1");
}

TEST(NetmonFrame, LongIpHeaderMovesThePorts) {
  FrameSpec shape;
  shape.ip_header_length = 60;
  shape.dst_port = 53;
  shape.protocol = 17;
  Bytes frame = BuildFrame(shape);
  FrameFields f;
  ASSERT_EQ(ReadFrame(FrameReader(frame.data(), frame.size()), &f), FrameStatus::kOk);
  EXPECT_EQ(f.transport, 74u);
  EXPECT_EQ(f.dst_port, 53);
  // The same header cut right behind the IPv4 header: the ports are not there.
  EXPECT_EQ(ReadCopy(frame, 74, &f), FrameStatus::kTruncated);
  EXPECT_EQ(ReadCopy(frame, 77, &f), FrameStatus::kTruncated);
  EXPECT_EQ(ReadCopy(frame, 78, &f), FrameStatus::kOk);
}

TEST(NetmonFrame, ShortIpHeaderIsInvalidButStillRead) {
  FrameSpec shape;
  shape.ip_header_length = 8;  // 2 words: ports read inside the IPv4 header
  Bytes frame = BuildFrame(shape);
  FrameFields f;
  EXPECT_EQ(ReadFrame(FrameReader(frame.data(), frame.size()), &f), FrameStatus::kInvalid);
  EXPECT_EQ(f.transport, 22u);
  EXPECT_EQ(f.dst[3], 1);
  shape.ip_header_length = 0;
  frame = BuildFrame(shape);
  EXPECT_EQ(ReadFrame(FrameReader(frame.data(), frame.size()), &f), FrameStatus::kInvalid);
  EXPECT_EQ(f.transport, 14u);
}

TEST(NetmonFrame, EveryCutShorterThanTheFieldsIsTruncated) {
  FrameSpec shape;
  Bytes frame = BuildFrame(shape);
  FrameFields f;
  for (size_t n = 0; n < 38; ++n) EXPECT_EQ(ReadCopy(frame, n, &f), FrameStatus::kTruncated) << n;
  for (size_t n = 38; n <= frame.size(); ++n)
    EXPECT_EQ(ReadCopy(frame, n, &f), FrameStatus::kOk) << n;
  EXPECT_EQ(ReadFrame(FrameReader(nullptr, 100), &f), FrameStatus::kTruncated);
}

TEST(NetmonFrame, DottedText) {
  char text[16];
  const uint8_t a[4] = {0, 9, 10, 255}, b[4] = {100, 199, 200, 1};
  FormatDotted(a, text, sizeof text);
  EXPECT_STREQ(text, "0.9.10.255");
  FormatDotted(b, text, sizeof text);
  EXPECT_STREQ(text, "100.199.200.1");
  FormatDotted(b, text, 5);
  EXPECT_STREQ(text, "100.");
}

TEST(NetmonFrame, ReaderRefusesRangesPastTheEnd) {
  const uint8_t bytes[4] = {1, 2, 3, 4};
  FrameReader r(bytes, 4);
  uint16_t v;
  EXPECT_TRUE(r.Be16(2, &v));
  EXPECT_EQ(v, 0x0304);
  EXPECT_FALSE(r.Be16(3, &v));
  EXPECT_FALSE(r.Has(2, SIZE_MAX));
  EXPECT_TRUE(r.Tail(4).empty());
  EXPECT_TRUE(r.Tail(99).empty());
}

}  // namespace
}  // namespace qvw
