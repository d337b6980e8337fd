#include "agent/responder/core/jsonp_reply.h"

namespace responder {

namespace {

constexpr std::string_view kCallbackKey = "callback=";
constexpr std::string_view kUndefinedReply =
    "HTTP/1.0 200\r\n\r\nCVSetup({\"message\":\"Undefined request\"});";

bool IsIdentifierCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$';
}

}  // namespace

std::optional<std::string_view> FindCallbackName(std::string_view request) {
  // The request is read into a zeroed buffer and searched as a text.
  request = request.substr(0, request.find('\0'));
  std::size_t key = request.find(kCallbackKey);
  if (key == std::string_view::npos) return std::nullopt;
  std::size_t start = key + kCallbackKey.size();
  std::size_t end = request.find('&', start);
  if (end == std::string_view::npos) return std::nullopt;
  return request.substr(start, end - start);
}

bool IsScriptIdentifierPath(std::string_view name) {
  if (name.empty() || name.size() > kMaxCallbackName) return false;
  bool part_start = true;
  for (char c : name) {
    if (c == '.') {
      if (part_start) return false;
      part_start = true;
      continue;
    }
    if (!IsIdentifierCharacter(c) || (part_start && c >= '0' && c <= '9')) return false;
    part_start = false;
  }
  return !part_start;
}

std::string JsonpReply(std::string_view request) {
  std::optional<std::string_view> name = FindCallbackName(request);
  if (!name || !IsScriptIdentifierPath(*name)) return std::string(kUndefinedReply);
  return "HTTP/1.0 200\r\n\r\n" + std::string(*name) +
         "({\"message\":\"Corvanta Already Installed\"});";
}

}  // namespace responder
