// Bounds-checked reading of captured Ethernet/IPv4 frames. Every packet function
// of the library reads through here, so nothing is ever read past the captured
// length. A frame too short for a field is "truncated"; a frame whose IPv4
// header length is below 20 bytes is "invalid" (its fields are still read at the
// fixed offsets, as the traffic queries do).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qvw {

class FrameReader {
 public:
  FrameReader(const uint8_t* data, size_t length) : data_(data), length_(data ? length : 0) {}

  size_t length() const { return length_; }
  bool Has(size_t offset, size_t count) const {
    return offset <= length_ && count <= length_ - offset;
  }
  bool U8(size_t offset, uint8_t* value) const {
    if (!Has(offset, 1)) return false;
    *value = data_[offset];
    return true;
  }
  bool Be16(size_t offset, uint16_t* value) const {
    if (!Has(offset, 2)) return false;
    *value = static_cast<uint16_t>((data_[offset] << 8) | data_[offset + 1]);
    return true;
  }
  // The bytes from offset to the end of the capture (empty past the end).
  std::string_view Tail(size_t offset) const {
    if (offset >= length_) return {};
    return {reinterpret_cast<const char*>(data_ + offset), length_ - offset};
  }

 private:
  const uint8_t* data_;
  size_t length_;
};

enum class FrameStatus { kOk, kTruncated, kInvalid };

// Where the fields lie in an Ethernet frame that carries IPv4 without a VLAN tag.
constexpr size_t kEthernetHeader = 14;
constexpr size_t kIpTotalLength = kEthernetHeader + 2;
constexpr size_t kIpProtocol = kEthernetHeader + 9;
constexpr size_t kIpSource = kEthernetHeader + 12;
constexpr size_t kIpDestination = kEthernetHeader + 16;
constexpr size_t kIpAddressBytes = 4;
constexpr size_t kMinIpHeader = 20;
// ...and in the transport header that follows the IP header.
constexpr size_t kSourcePort = 0;
constexpr size_t kDestinationPort = 2;
constexpr size_t kPortBytes = 4;       // both ports
constexpr size_t kTcpDataOffset = 12;  // high nibble: the TCP header's length in words
constexpr size_t kUdpHeader = 8;
constexpr uint8_t kProtoTcp = 6;
constexpr uint8_t kProtoUdp = 17;
constexpr uint16_t kDnsPort = 53;

// The fixed-offset view of a frame: Ethernet header, IPv4 header, then the two
// port fields of the transport header. EtherType and IP version are not looked at.
struct FrameFields {
  size_t ip_header_length = 0;  // low nibble of byte 14, times 4
  size_t transport = 0;         // 14 + ip_header_length
  uint8_t protocol = 0;         // byte 23
  uint16_t total_length = 0;    // bytes 16-17
  uint8_t src[4] = {};          // bytes 26-29
  uint8_t dst[4] = {};          // bytes 30-33
  uint16_t src_port = 0;
  uint16_t dst_port = 0;
};

// kTruncated: some field lies past the captured bytes (fields unusable).
// kInvalid: every field was read, but the IPv4 header is shorter than 20 bytes.
FrameStatus ReadFrame(const FrameReader& frame, FrameFields* out);

// "a.b.c.d" into a buffer of at least 16 bytes.
void FormatDotted(const uint8_t address[4], char* out, size_t size);

}  // namespace qvw
