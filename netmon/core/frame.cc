#include "netmon/core/frame.h"

#include <cstring>

namespace qvw {

FrameStatus ReadFrame(const FrameReader& frame, FrameFields* out) {
  uint8_t version_ihl = 0;
  if (!frame.U8(kEthernetHeader, &version_ihl)) return FrameStatus::kTruncated;
  out->ip_header_length = static_cast<size_t>(version_ihl & 0x0F) * 4;
  out->transport = kEthernetHeader + out->ip_header_length;
  if (!frame.Has(kIpSource, 2 * kIpAddressBytes) || !frame.Has(out->transport, kPortBytes)) {
    return FrameStatus::kTruncated;
  }
  frame.Be16(kIpTotalLength, &out->total_length);
  frame.U8(kIpProtocol, &out->protocol);
  for (size_t i = 0; i < kIpAddressBytes; ++i) {
    frame.U8(kIpSource + i, &out->src[i]);
    frame.U8(kIpDestination + i, &out->dst[i]);
  }
  frame.Be16(out->transport + kSourcePort, &out->src_port);
  frame.Be16(out->transport + kDestinationPort, &out->dst_port);
  return out->ip_header_length < kMinIpHeader ? FrameStatus::kInvalid : FrameStatus::kOk;
}

void FormatDotted(const uint8_t address[4], char* out, size_t size) {
  // By hand: this runs for every packet the URL check looks at.
  char text[16];
  size_t n = 0;
  for (int i = 0; i < 4; ++i) {
    unsigned v = address[i];
    if (v >= 100) text[n++] = static_cast<char>('0' + v / 100);
    if (v >= 10) text[n++] = static_cast<char>('0' + v / 10 % 10);
    text[n++] = static_cast<char>('0' + v % 10);
    text[n++] = i < 3 ? '.' : '\0';
  }
  if (size == 0) return;
  n = n < size ? n : size;
  std::memcpy(out, text, n);
  out[n - 1] = '\0';
}

}  // namespace qvw
