#include "agent/core/startup_rules.h"

#include <gtest/gtest.h>

#include "common/core/file_io.h"

namespace kestra {
namespace {

TEST(Edition, ChosenFromTheProgramFileName) {
  EXPECT_EQ(ChooseEdition("C:\\Program Files\\Corvanta\\qvTessalKestra.exe"), Edition::kX);
  EXPECT_EQ(ChooseEdition("C:\\Program Files\\Corvanta\\qvTessalKestraR.exe"), Edition::kR);
  EXPECT_EQ(ChooseEdition("C:\\QVTESSALKESTRAR.EXE"), Edition::kR);
  // A folder named like the X program keeps the X edition.
  EXPECT_EQ(ChooseEdition("C:\\qvTessalKestra.d\\qvTessalKestraR.exe"), Edition::kX);
  EXPECT_EQ(ChooseEdition("C:\\other.exe"), Edition::kX);
}

TEST(BaseFolder, LowerCasedTessalXOnlyWhenItExists) {
  std::string sep(1, tessal::kPathSeparator);
  EXPECT_EQ(ChooseBaseFolder("C:\\Users\\Kim\\AppData\\Roaming", true),
            "c:\\users\\kim\\appdata\\roaming" + sep + "tessalx");
  EXPECT_EQ(ChooseBaseFolder("C:\\Users\\Kim\\AppData\\Roaming", false), "c:\\temp");
  // A Korean user name keeps its trail bytes (\xB0\x41 is one character).
  EXPECT_EQ(ChooseBaseFolder("C:\\Users\\\xB0\x41", true), "c:\\users\\\xB0\x41" + sep + "tessalx");
  EXPECT_EQ(WorkFolderOf("c:\\temp"), "c:\\temp" + sep + "CVWork");
}

TEST(ServiceVersion, OnlyTheOneZeroZeroOneFormLacksTheResponder) {
  EXPECT_TRUE(IsResponderlessServiceVersion("1, 0, 0, 1"));
  EXPECT_TRUE(IsResponderlessServiceVersion("1, 0, 0, 12"));
  EXPECT_FALSE(IsResponderlessServiceVersion("1, 0, 1, 0"));
  EXPECT_FALSE(IsResponderlessServiceVersion("1.0.0.1"));
  EXPECT_FALSE(IsResponderlessServiceVersion("1, 0, 0,"));
  EXPECT_FALSE(IsResponderlessServiceVersion(""));
}

TEST(SupportVersion, OldRangeIsOneZeroFourZeroToThirteen) {
  EXPECT_TRUE(IsOutdatedSupportVersion("1, 0, 4, 0"));
  EXPECT_TRUE(IsOutdatedSupportVersion("1, 0, 4, 9"));
  EXPECT_TRUE(IsOutdatedSupportVersion("1, 0, 4, 10"));
  EXPECT_TRUE(IsOutdatedSupportVersion("1, 0, 4, 13"));
  EXPECT_FALSE(IsOutdatedSupportVersion("1, 0, 4, 14"));
  EXPECT_FALSE(IsOutdatedSupportVersion("1, 0, 4, 20"));
  EXPECT_FALSE(IsOutdatedSupportVersion("1, 0, 5, 0"));
  EXPECT_FALSE(IsOutdatedSupportVersion("2, 0, 4, 0"));
  EXPECT_FALSE(IsOutdatedSupportVersion("1, 0"));
}

TEST(SupportVersion, MissingOrUnreadableLibrariesCountAsOutdated) {
  SupportLibrary none;
  SupportLibrary good{true, std::string("1, 0, 5, 2")};
  SupportLibrary old{true, std::string("1, 0, 4, 3")};
  SupportLibrary unreadable{true, std::nullopt};
  EXPECT_TRUE(IsSupportOutdated(none, none));
  EXPECT_TRUE(IsSupportOutdated(good, none)) << "only the X library present";
  EXPECT_FALSE(IsSupportOutdated(none, good));
  EXPECT_FALSE(IsSupportOutdated(good, good));
  EXPECT_TRUE(IsSupportOutdated(old, good));
  EXPECT_TRUE(IsSupportOutdated(none, unreadable));
  EXPECT_TRUE(IsSupportOutdated(unreadable, good));
}

TEST(MacText, FirstSixBytesInUpperCaseHex) {
  const unsigned char mac[8] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0xfe, 0x77, 0x88};
  EXPECT_EQ(FormatMacText(mac, 6), "00-1A-2B-3C-4D-FE");
  EXPECT_EQ(FormatMacText(mac, 8), "00-1A-2B-3C-4D-FE");
  EXPECT_EQ(FormatMacText(mac, 0), "");
  EXPECT_EQ(FormatMacText(mac, 2), "00-1A-00-00-00-00") << "short addresses are not over-read";
}

}  // namespace
}  // namespace kestra
