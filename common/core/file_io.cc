#include "common/core/file_io.h"

#include <algorithm>

namespace tessal {

bool File::ReadAtMost(std::size_t max, std::string* out) {
  out->clear();
  if (!valid()) return false;
  std::size_t got = 0;
  // Grown as the bytes come, so a large limit costs nothing for a small file.
  while (got < max) {
    out->resize(got + std::min<std::size_t>(max - got, kReadChunk));
    std::optional<std::size_t> n = ReadSome(&(*out)[got], out->size() - got);
    if (!n) {
      out->clear();
      return false;
    }
    if (*n == 0) break;
    got += *n;
  }
  out->resize(got);
  return true;
}

}  // namespace tessal
