#include "manifest/core/version_text.h"

#include <cstdio>

namespace lorix {

std::string NormalizeVersionText(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (char c : raw) {
    if (c == ' ') continue;
    out.push_back(c == ',' ? '.' : c);
  }
  return out;
}

std::string TimestampVersionText(int year, int month, int day, int hour, int minute, int second) {
  char text[64];
  std::snprintf(text, sizeof(text), "T.%04d%02d%02d.%02d%02d%02d.0", year, month, day, hour, minute,
                second);
  return text;
}

std::string DottedVersion(int major, int minor, int build, int revision) {
  char text[64];
  std::snprintf(text, sizeof(text), "%d.%d.%d.%d", major, minor, build, revision);
  return text;
}

}  // namespace lorix
