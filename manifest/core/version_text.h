// Version texts reported for installed files.
#pragma once

#include <string>
#include <string_view>

namespace lorix {

// A FileVersion value as reported: spaces left out, commas written as full stops
// ("1, 2, 0, 5" gives "1.2.0.5").
std::string NormalizeVersionText(std::string_view raw);

// The text for a file without a usable version: "T." and its UTC last-write time,
// as in T.20160714.020005.0.
std::string TimestampVersionText(int year, int month, int day, int hour, int minute, int second);

// "%d.%d.%d.%d", as written into a version resource.
std::string DottedVersion(int major, int minor, int build, int revision);

}  // namespace lorix
