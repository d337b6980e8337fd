#include "core/frame.h"

#include <cstring>

namespace qvw {

FrameStatus ReadFrame(const FrameReader& frame, FrameFields* out) {
  uint8_t version_ihl = 0;
  if (!frame.U8(kEthernetHeader, &version_ihl)) return FrameStatus::kTruncated;
  out->ip_header_length = static_cast<size_t>(version_ihl & 0x0F) * 4;
  out->transport = kEthernetHeader + out->ip_header_length;
  // Addresses end at byte 33; the ports sit 4 bytes into the transport header.
  if (!frame.Has(26, 8) || !frame.Has(out->transport, 4)) return FrameStatus::kTruncated;
  frame.Be16(16, &out->total_length);
  frame.U8(23, &out->protocol);
  for (size_t i = 0; i < 4; ++i) {
    frame.U8(26 + i, &out->src[i]);
    frame.U8(30 + i, &out->dst[i]);
  }
  frame.Be16(out->transport, &out->src_port);
  frame.Be16(out->transport + 2, &out->dst_port);
  return out->ip_header_length < 20 ? FrameStatus::kInvalid : FrameStatus::kOk;
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
