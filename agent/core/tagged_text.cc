#include "agent/core/tagged_text.h"

#include <cstring>

#include "common/core/ansi_text.h"

namespace kestra {

bool FindTagFrom(std::string_view text, std::string_view name, std::size_t from,
                 std::string* content, std::size_t* next) {
  std::string open = "<" + std::string(name) + ">";
  std::string close = "</" + std::string(name) + ">";
  std::size_t start = text.find(open, from);
  if (start == std::string_view::npos) return false;
  std::size_t end = text.find(close, start);
  if (end == std::string_view::npos) return false;
  std::size_t begin = start + open.size();
  // A closing tag overlapping the opening one ("<a></a>" searched as "</a>" from
  // "<a>") cannot start before the content does.
  if (end < begin) {
    end = text.find(close, begin);
    if (end == std::string_view::npos) return false;
  }
  if (content) content->assign(text.substr(begin, end - begin));
  if (next) *next = begin;
  return true;
}

bool FindTag(std::string_view text, std::string_view name, std::string* content) {
  return FindTagFrom(text, name, 0, content);
}

int ExtractTag(const char* text, const char* name, char* out, std::size_t out_size) {
  if (text == nullptr || name == nullptr) return 0;
  std::string content;
  if (!FindTag(text, name, &content)) return 0;
  if (out == nullptr) return static_cast<int>(content.size());
  if (!content.empty()) tessal::CopyBounded(out, out_size, content);
  return 1;
}

}  // namespace kestra
