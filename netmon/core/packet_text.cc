#include "netmon/core/packet_text.h"

#include <algorithm>
#include <cstring>

namespace qvw {

std::string_view PayloadBytes(const FrameReader& frame, const FrameFields& fields) {
  size_t length = 0;
  if (fields.total_length > fields.ip_header_length)
    length = fields.total_length - fields.ip_header_length;
  length = std::min(length, kMaxPayloadText);
  std::string_view captured = frame.Tail(fields.transport);
  return captured.substr(0, std::min(length, captured.size()));
}

void NormaliseText(std::string_view raw, char* out) {
  for (size_t i = 0; i < raw.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(raw[i]);
    if (c < 0x20 && c != '\r' && c != '\n') c = '|';
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
    out[i] = static_cast<char>(c);
  }
}

bool ExtractName(std::string_view text, std::string_view* name) {
  size_t anchor = text.find("http://");
  if (anchor == std::string_view::npos) anchor = text.find("https://");
  if (anchor == std::string_view::npos) anchor = text.find("host:");
  if (anchor == std::string_view::npos) return false;

  size_t start, end;
  size_t header = text.find("host: ", anchor);
  if (header != std::string_view::npos) {
    start = header + 6;
    end = text.find_first_of("\r\n", start);
  } else {
    // The scheme (or "host:" and what follows) is passed over before looking
    // for the end of the host; a short text simply ends the name.
    start = anchor;
    end = text.find_first_of(std::string_view(":/|\r\n", 5), std::min(anchor + 8, text.size()));
  }
  if (end == std::string_view::npos) end = text.size();
  *name = text.substr(start, std::min(end - start, kMaxName));
  return true;
}

namespace {

// raw[at..] equals lower (ASCII letters of raw compared case-insensitively).
bool MatchesAt(std::string_view raw, size_t at, std::string_view lower) {
  if (at > raw.size() || lower.size() > raw.size() - at) return false;
  for (size_t i = 0; i < lower.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(raw[at + i]);
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
    if (c != static_cast<unsigned char>(lower[i])) return false;
  }
  return true;
}

// Position of the next ':' at or after from, or npos.
size_t NextColon(std::string_view raw, size_t from) {
  if (from >= raw.size()) return std::string_view::npos;
  const void* p = std::memchr(raw.data() + from, ':', raw.size() - from);
  return p ? static_cast<size_t>(static_cast<const char*>(p) - raw.data()) : std::string_view::npos;
}

}  // namespace

bool ExtractNameFromRaw(std::string_view raw, char (&name)[kMaxName + 1]) {
  constexpr size_t npos = std::string_view::npos;
  size_t http = npos, https = npos, host = npos;
  for (size_t c = NextColon(raw, 0); c != npos; c = NextColon(raw, c + 1)) {
    if (c >= 4 && MatchesAt(raw, c - 4, "http") && MatchesAt(raw, c + 1, "//")) {
      http = c - 4;
      break;  // the first "http://" wins outright
    }
    if (https == npos && c >= 5 && MatchesAt(raw, c - 5, "https") && MatchesAt(raw, c + 1, "//"))
      https = c - 5;
    if (host == npos && c >= 4 && MatchesAt(raw, c - 4, "host")) host = c - 4;
  }
  size_t anchor = http != npos ? http : https != npos ? https : host;
  if (anchor == npos) return false;

  size_t header = npos;
  for (size_t c = NextColon(raw, anchor + 4); c != npos; c = NextColon(raw, c + 1)) {
    if (MatchesAt(raw, c - 4, "host") && MatchesAt(raw, c + 1, " ")) {
      header = c - 4;
      break;
    }
  }
  size_t start, end;
  if (header != npos) {
    start = header + 6;
    end = start;
    while (end < raw.size() && end - start < kMaxName && raw[end] != '\r' && raw[end] != '\n')
      ++end;
  } else {
    start = anchor;
    end = std::min(anchor + 8, raw.size());
    while (end < raw.size() && end - start < kMaxName) {
      unsigned char c = static_cast<unsigned char>(raw[end]);
      if (c < 0x20 || c == ':' || c == '/' || c == '|') break;
      ++end;
    }
  }
  size_t length = std::min(end - start, kMaxName);
  NormaliseText(raw.substr(start, length), name);
  name[length] = '\0';
  return true;
}

bool RenderDnsQuery(const FrameReader& frame, const FrameFields& fields, std::string* text) {
  if (fields.dst_port != kDnsPort) return false;
  size_t message;
  if (fields.protocol == kProtoTcp) {
    uint8_t offset_byte = 0;
    if (!frame.U8(fields.transport + kTcpDataOffset, &offset_byte)) return false;
    message = fields.transport + static_cast<size_t>(offset_byte >> 4) * 4;
  } else if (fields.protocol == kProtoUdp) {
    message = fields.transport + kUdpHeader;
  } else {
    return false;
  }
  std::string_view bytes = frame.Tail(message);
  if (bytes.empty()) return false;
  text->assign(bytes.size(), '.');
  for (size_t i = 0; i < bytes.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c <= 0x80) (*text)[i] = static_cast<char>(c);
  }
  return true;
}

}  // namespace qvw
