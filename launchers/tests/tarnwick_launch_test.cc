#include "launchers/core/tarnwick_launch.h"

#include <gtest/gtest.h>

#include <string>

namespace tolven {
namespace {

// "보안 설치 갂" in CP949: the last character's trail byte is 'A' (0x41).
const std::string kKorean = "\xBA\xB8\xBE\xC8 \xBC\xB3\xC4\xA1 \x81\x41";
// Quotes and "\qvTarnwick.exe" take 17 bytes, the terminator one.
const std::string kLongestFolder = "c:\\" + std::string(kPathBufferBytes - 18 - 3, 'd');

TEST(PlanTarnwickLaunch, StartsTheProgramBesideTheLauncher) {
  struct {
    std::string module_path;
    std::string program;  // empty: nothing is started
  } const cases[] = {
      {"C:\\Program Files\\Corvanta\\qvTolvenz.exe", "c:\\program files\\corvanta\\qvTarnwick.exe"},
      {"D:\\SeTuP\\Tolven Dir\\QVTOLVENW.EXE", "d:\\setup\\tolven dir\\qvTarnwick.exe"},
      {"C:\\" + kKorean + "\\Sub\\qvTolvenz.exe", "c:\\" + kKorean + "\\sub\\qvTarnwick.exe"},
      {"C:\\qvTolvenz.exe", "c:\\qvTarnwick.exe"},
      {kLongestFolder + "\\x.exe", kLongestFolder + "\\qvTarnwick.exe"},
      {kLongestFolder + "d\\x.exe", ""},
      {"qvTolvenz.exe", ""},
      {"\\qvTolvenz.exe", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.module_path);
    auto plan = PlanTarnwickLaunch(c.module_path);
    if (c.program.empty()) {
      EXPECT_FALSE(plan.has_value());
      continue;
    }
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(plan->program, c.program);
    EXPECT_EQ(plan->command_line, "\"" + c.program + "\"");
  }
}

TEST(CompleteModulePath, RefusesAFailedOrCutPath) {
  const char buffer[9] = "C:\\a.exe";
  struct {
    std::size_t copied;
    bool complete;
  } const cases[] = {{8, true}, {9, false}, {10, false}, {0, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.copied);
    auto path = CompleteModulePath(buffer, sizeof(buffer), c.copied);
    ASSERT_EQ(path.has_value(), c.complete);
    if (c.complete) {
      EXPECT_EQ(*path, "C:\\a.exe");
    }
  }
}

}  // namespace
}  // namespace tolven
