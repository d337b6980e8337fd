// What the presence responder answers: a JSONP snippet that calls the page's
// callback, named in the request's "callback=...&" pair, with the message that the
// suite is installed. Only the bytes of the request are looked at; method, path
// and headers are not examined.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace responder {

// The longest callback name the responder repeats.
inline constexpr std::size_t kMaxCallbackName = 127;
// The most a request read takes.
inline constexpr std::size_t kMaxRequestBytes = 40960;

// The text between the first "callback=" and the first "&" after it, within the
// bytes up to the first NUL; nothing when either is missing.
std::optional<std::string_view> FindCallbackName(std::string_view request);

// A name the reply may put into script: a dotted path of identifiers (letters,
// digits, '_' and '$', no part empty or starting with a digit), at most
// kMaxCallbackName bytes. Anything else could carry script of the page's choosing.
bool IsScriptIdentifierPath(std::string_view name);

// The whole reply to the request bytes.
std::string JsonpReply(std::string_view request);

}  // namespace responder
