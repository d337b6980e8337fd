// Tagged text: elements written "<name>" content "</name>", read without any
// understanding of nesting (first opening tag, first closing tag after it).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestra {

// Length-first form. out null: the content length (0 also when the element is
// missing). out given: 1 when found, 0 when missing; at most out_size - 1 bytes of
// content are copied and terminated. An empty content leaves out unchanged.
int ExtractTag(const char* text, const char* name, char* out, std::size_t out_size);

// The content of the first element of that name, or nothing when it is missing.
bool FindTag(std::string_view text, std::string_view name, std::string* content);

// As FindTag, but the opening tag is searched from position `from` on; `next`
// (optional) receives the position just after the opening tag.
bool FindTagFrom(std::string_view text, std::string_view name, std::size_t from,
                 std::string* content, std::size_t* next = nullptr);

}  // namespace kestra
