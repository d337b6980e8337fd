#include "core/install_rules.h"

#include <gtest/gtest.h>

namespace tavin {
namespace {

TEST(SetupIni, FirstLineKeepsItsLineBreak) {
  EXPECT_EQ(ManifestNameFromSetupIni("setup.xml"), "setup.xml");
  // A name followed by a line break keeps it, so the manifest cannot be found.
  EXPECT_EQ(ManifestNameFromSetupIni("setup.xml\nsecond"), "setup.xml\n");
  EXPECT_EQ(ManifestNameFromSetupIni(""), "");
  EXPECT_EQ(ManifestNameFromSetupIni(std::string(400, 'a')).size(), 259u);
  EXPECT_EQ(ManifestNameFromSetupIni(std::string("a\0b", 3)), "a");
}

TEST(InstallState, OneNeedsTheUpdaterWindow) {
  EXPECT_EQ(InstallStateFromText("1", true), 1);
  EXPECT_EQ(InstallStateFromText("1", false), 102);
  EXPECT_EQ(InstallStateFromText("7", false), 7);
  EXPECT_EQ(InstallStateFromText("x", false), 0);
  EXPECT_EQ(InstallStateFromText(" 1abc", false), 102);
  EXPECT_EQ(InstallStateFromText("-3", true), -3);
  EXPECT_EQ(InstallStateFromText("", true), 0);
}

TEST(RegistryPath, SplitsAtTheFirstBackslash) {
  RegistryRoot root = RegistryRoot::kNone;
  std::string sub;
  ASSERT_TRUE(SplitRegistryPath("HKEY_LOCAL_MACHINE\\SOFTWARE\\OSKANA\\PKINSTALLER", &root, &sub));
  EXPECT_EQ(root, RegistryRoot::kLocalMachine);
  EXPECT_EQ(sub, "SOFTWARE\\OSKANA\\PKINSTALLER");
  ASSERT_TRUE(SplitRegistryPath("HKEY_CURRENT_CONFIG\\x", &root, &sub));
  EXPECT_EQ(root, RegistryRoot::kCurrentConfig);
  ASSERT_TRUE(SplitRegistryPath("HKEY_USERS\\", &root, &sub));
  EXPECT_EQ(sub, "");
  EXPECT_FALSE(SplitRegistryPath("hkey_local_machine\\x", &root, &sub));  // names are case-sensitive
  EXPECT_FALSE(SplitRegistryPath("HKEY_LOCAL_MACHINE", &root, &sub));
  EXPECT_FALSE(SplitRegistryPath(std::string(200, 'H') + "\\x", &root, &sub));
  EXPECT_FALSE(SplitRegistryPath("HKEY_USERS\\" + std::string(260, 'k'), &root, &sub));
}

TEST(Updater, CommandLineQuotesThePathAndUsesTwoSpaces) {
  std::string line;
  ASSERT_TRUE(UpdaterCommandLine("C:\\Prog\\updaterx.exe", 3, &line));
  EXPECT_EQ(line, "\"C:\\Prog\\updaterx.exe\"  update 3");
  ASSERT_TRUE(UpdaterCommandLine("p", -1, &line));
  EXPECT_EQ(line, "\"p\"  update -1");
  EXPECT_FALSE(UpdaterCommandLine(std::string(600, 'p'), 3, &line));
  EXPECT_EQ(line, "\"p\"  update -1");
}

TEST(MonitorList, TagsInEitherOrderAndExtraText) {
  MonitorPair p;
  ASSERT_TRUE(ParseMonitorLine("x<PROTECTEDFILE>C:\\W\\p\\a.dll</PROTECTEDFILE> y "
                               "<INSTALLEDFILE>C:\\P\\a.dll</INSTALLEDFILE>z",
                               &p));
  EXPECT_EQ(p.installed, "C:\\P\\a.dll");
  EXPECT_EQ(p.protected_copy, "C:\\W\\p\\a.dll");
  EXPECT_FALSE(ParseMonitorLine("<INSTALLEDFILE>C:\\a</INSTALLEDFILE>", &p));
  EXPECT_FALSE(ParseMonitorLine("</INSTALLEDFILE>a<INSTALLEDFILE><PROTECTEDFILE>b</PROTECTEDFILE>", &p));
  ASSERT_TRUE(ParseMonitorLine("<INSTALLEDFILE></INSTALLEDFILE><PROTECTEDFILE>b</PROTECTEDFILE>", &p));
  EXPECT_EQ(p.installed, "");
}

TEST(MonitorList, TagsAreFoundOnlyAtCharacterBoundaries) {
  std::string out;
  // "\x81<" would be one double-byte character: its '<' does not open a tag.
  EXPECT_FALSE(ExtractBetween("\x81<A>x</A>", "<A>", "</A>", &out));
  ASSERT_TRUE(ExtractBetween("\xC7\xD1<A>\xC7\xD1</A>", "<A>", "</A>", &out));
  EXPECT_EQ(out, "\xC7\xD1");
  EXPECT_FALSE(ExtractBetween("<A>\x81</A>", "<A>", "</A>", &out));
}

TEST(MonitorList, LinesAreCutLikeALineBufferAndCrLfIsDropped) {
  auto lines = SplitListLines("a\r\nb\n\nc");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "a");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], "c");
  lines = SplitListLines(std::string(2047 * 2 + 5, 'x') + "\n");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2].size(), 5u);
  EXPECT_TRUE(SplitListLines("").empty());
}

std::string Line(int i) {
  return "<INSTALLEDFILE>C:\\i" + std::to_string(i) + "</INSTALLEDFILE><PROTECTEDFILE>C:\\p" +
         std::to_string(i) + "</PROTECTEDFILE>\n";
}

TEST(MonitorList, HoldsAtMost200PairsAndReportsBadLines) {
  std::string content;
  for (int i = 0; i < 250; ++i) content += Line(i);
  content += "<INSTALLEDFILE>only</INSTALLEDFILE>\n";
  std::vector<std::string> bad;
  MonitorList list = ParseMonitorList(content, [&](const std::string& l) { bad.push_back(l); });
  EXPECT_EQ(list.pairs.size(), 200u);
  EXPECT_TRUE(list.truncated);
  EXPECT_EQ(list.pairs[199].installed, "C:\\i199");
  ASSERT_EQ(bad.size(), 1u);
  EXPECT_EQ(bad[0], "<INSTALLEDFILE>only</INSTALLEDFILE>");
  EXPECT_EQ(list.parse_errors, 1);
}

TEST(MonitorPass, CopiesMissingFilesAndChangedVersionsOnly) {
  EXPECT_EQ(DecideMonitorAction(false, false, "", ""), MonitorAction::kCopy);
  EXPECT_EQ(DecideMonitorAction(true, true, "1.0.0.1", "1.0.0.1"), MonitorAction::kNothing);
  EXPECT_EQ(DecideMonitorAction(true, true, "1.0.0.0", "1.0.0.1"), MonitorAction::kCopy);
  EXPECT_EQ(DecideMonitorAction(true, true, "T.20200101.000000.0", "T.20210101.000000.0"),
            MonitorAction::kCopy);
  // Without the manifest library's version reader a present file is left alone.
  EXPECT_EQ(DecideMonitorAction(true, false, "", "x"), MonitorAction::kNothing);
}

}  // namespace
}  // namespace tavin
