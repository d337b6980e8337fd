// Texts read out of packets: the clear-text head of a web request or response
// (for the URL check) and the printable rendering of a DNS query.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "netmon/core/frame.h"

namespace qvw {

constexpr size_t kMaxPayloadText = 1024;  // bytes of a packet's text looked at
constexpr size_t kMaxName = 255;          // longest name reported

// The packet's text: from the transport header on, IPv4 total length less the
// header length, at most 1024 bytes and never past the captured bytes. A total
// length below the header length gives an empty text.
std::string_view PayloadBytes(const FrameReader& frame, const FrameFields& fields);

// Copies raw into out (room for raw.size() bytes), every control byte other than
// CR and LF replaced by '|' and ASCII letters lower-cased; bytes from 0x80 stay.
void NormaliseText(std::string_view raw, char* out);

// Finds the name in a normalised text: the Host header value behind the anchor
// ("http://", else "https://", else "host:"), or the URL head at the anchor.
// False when the text has no anchor. The name is cut to 255 characters.
bool ExtractName(std::string_view text, std::string_view* name);

// The same name as ExtractName(normalised raw), already normalised, found
// without normalising the whole text: every anchor holds a ':', so only the
// colons are visited. name receives at most 255 bytes plus the terminator.
bool ExtractNameFromRaw(std::string_view raw, char (&name)[kMaxName + 1]);

// For a frame to destination port 53 over TCP or UDP, renders the DNS message
// behind the transport header (bytes below 0x20 or above 0x80 as '.'). False for
// other frames and for frames holding no message bytes.
bool RenderDnsQuery(const FrameReader& frame, const FrameFields& fields, std::string* text);

}  // namespace qvw
