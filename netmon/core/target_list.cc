#include "netmon/core/target_list.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "netmon/core/packet_text.h"

namespace qvw {

void BuildTargetList(const char* text, char* list, const Resolver& resolve, const LineLogger& log) {
  std::memset(list, 0, kTargetListSize);
  size_t used = std::min(std::strlen(text), kTargetListSize - 1);
  std::memcpy(list, text, used);

  static constexpr std::string_view kScheme = "https://";
  size_t from = 0;
  for (;;) {
    std::string_view view(list, used);
    size_t scheme = view.find(kScheme, from);
    if (scheme == std::string_view::npos) break;
    size_t host = scheme + kScheme.size();
    size_t end = view.find(';', host);
    if (end == std::string_view::npos) break;
    std::string name(view.substr(host, std::min(end - host, kMaxName)));
    log("resolve", name.c_str());
    std::string dotted;
    if (resolve(name, &dotted)) {
      if (used + dotted.size() + 1 > kTargetListSize - 1) break;  // full: stop appending
      std::memcpy(list + used, dotted.data(), dotted.size());
      used += dotted.size();
      list[used++] = ';';
    }
    from = end;
  }
}

}  // namespace qvw
