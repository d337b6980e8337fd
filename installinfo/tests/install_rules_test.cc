#include "installinfo/core/install_rules.h"

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
  EXPECT_FALSE(
      SplitRegistryPath("hkey_local_machine\\x", &root, &sub));  // names are case-sensitive
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
  ASSERT_TRUE(
      ParseMonitorLine("x<PROTECTEDFILE>C:\\W\\p\\a.dll</PROTECTEDFILE> y "
                       "<INSTALLEDFILE>C:\\P\\a.dll</INSTALLEDFILE>z",
                       &p));
  EXPECT_EQ(p.installed, "C:\\P\\a.dll");
  EXPECT_EQ(p.protected_copy, "C:\\W\\p\\a.dll");
  EXPECT_FALSE(ParseMonitorLine("<INSTALLEDFILE>C:\\a</INSTALLEDFILE>", &p));
  EXPECT_FALSE(
      ParseMonitorLine("</INSTALLEDFILE>a<INSTALLEDFILE><PROTECTEDFILE>b</PROTECTEDFILE>", &p));
  ASSERT_TRUE(
      ParseMonitorLine("<INSTALLEDFILE></INSTALLEDFILE><PROTECTEDFILE>b</PROTECTEDFILE>", &p));
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

std::string Line(int i) {
  return "<INSTALLEDFILE>C:\\i" + std::to_string(i) + "</INSTALLEDFILE><PROTECTEDFILE>C:\\p" +
         std::to_string(i) + "</PROTECTEDFILE>\n";
}

TEST(MonitorList, LinesAreCutLikeALineBufferAndCrLfIsDropped) {
  std::string pair = Line(1);
  pair.pop_back();
  struct Case {
    std::string content;
    std::size_t pairs;
    int errors;
  } cases[] = {
      {pair + "\r\n\n" + pair, 2, 1},  // CR LF, a blank line, a last line without a break
      {"\r\n", 0, 1},
      {"", 0, 0},
      // 2047 bytes of a pair, then the rest of the line as a second piece.
      {pair + std::string(2047 - pair.size(), ' ') + "tail\n", 1, 1},
      // A CR right after a full piece only ends the line.
      {pair + std::string(2047 - pair.size(), ' ') + "\r\n", 1, 0},
      {std::string(2047 * 2 + 5, 'x') + "\n", 0, 3},
  };
  for (const Case& c : cases) {
    MonitorList list = ParseMonitorList(c.content);
    EXPECT_EQ(list.pairs.size(), c.pairs) << c.content.size();
    EXPECT_EQ(list.parse_errors, c.errors) << c.content.size();
  }
}

TEST(MonitorList, ReadingStopsAt200PairsOrTheByteBound) {
  std::string content;
  for (int i = 0; i < 250; ++i) content += Line(i);
  content += "<INSTALLEDFILE>only</INSTALLEDFILE>\n";
  MonitorListReader reader;
  std::size_t fed = 0;
  while (fed < content.size() && reader.Feed(std::string_view(content).substr(fed, 100)))
    fed += 100;
  EXPECT_LT(fed, Line(199).size() * 200) << "no byte after the 200th pair is asked for";
  MonitorList list = reader.Finish();
  ASSERT_EQ(list.pairs.size(), 200u);
  EXPECT_TRUE(list.stopped);
  EXPECT_EQ(list.pairs[199].installed, "C:\\i199");
  EXPECT_EQ(list.parse_errors, 0);

  // Bad and blank lines without end: only the bound is read; a pair beyond it is not taken.
  std::string junk = Line(0);
  while (junk.size() < kMaxListBytes) junk += "\n\nbad line\n";
  list = ParseMonitorList(junk + Line(1));
  EXPECT_TRUE(list.stopped);
  ASSERT_EQ(list.pairs.size(), 1u);
  EXPECT_GT(list.parse_errors, 1000);
}

TEST(MonitorList, PiecesDoNotDependOnHowTheBytesArrive) {
  std::string content = Line(1) + std::string(3000, 'y') + "\r\n" + Line(2) + "\r" + Line(3) + "x";
  MonitorList whole = ParseMonitorList(content);
  for (std::size_t chunk : {1u, 7u, 2047u, 2048u}) {
    MonitorListReader reader;
    for (std::size_t i = 0; i < content.size(); i += chunk)
      reader.Feed(std::string_view(content).substr(i, chunk));
    MonitorList list = reader.Finish();
    ASSERT_EQ(list.pairs.size(), whole.pairs.size()) << chunk;
    EXPECT_EQ(list.parse_errors, whole.parse_errors) << chunk;
    EXPECT_EQ(list.pairs.back().protected_copy, whole.pairs.back().protected_copy);
  }
  EXPECT_EQ(whole.pairs.size(), 3u);
}

TEST(ProjectName, OnlyANameRightUnderTheWindowsFolderIsUsable) {
  for (const char* bad : {"a\\b", "\\", "a/b", "/", "C:", "x:y", "..", "a..b", "..\\System32"}) {
    EXPECT_FALSE(IsUsableProjectName(bad)) << bad;
  }
  for (const char* good : {"", "Corvanta", "\xC7\xD1\xB1\xDB", "a.b", "."})
    EXPECT_TRUE(IsUsableProjectName(good)) << good;
}

TEST(TemporaryPath, SitsInTheTargetsFolderAndFollowsTheNonce) {
  EXPECT_EQ(TemporaryPathBeside("C:\\P\\a.dll", 0x1234), "C:\\P\\~pk0000000000001234.tmp");
  EXPECT_EQ(TemporaryPathBeside("d/e/f", ~0ull), "d/e/~pkffffffffffffffff.tmp");
  EXPECT_EQ(TemporaryPathBeside("a.dll", 1), "~pk0000000000000001.tmp");
  // "\x81\\" is one double-byte character, not a folder separator.
  EXPECT_EQ(TemporaryPathBeside("C:\\\x81\\x", 2), "C:\\~pk0000000000000002.tmp");
}

TEST(LibraryLoad, FullFolderRelativeFolderOrNone) {
  struct Case {
    const char* folder;
    LibraryLoad::Kind kind;
  } cases[] = {
      {"C:\\Prog\\", LibraryLoad::Kind::kFullPath},
      {"z:/x/", LibraryLoad::Kind::kFullPath},
      {"\\\\srv\\share\\", LibraryLoad::Kind::kFullPath},
      {"", LibraryLoad::Kind::kBesideProgram},
      {"sub\\", LibraryLoad::Kind::kRelativePath},
      {"C:rel\\", LibraryLoad::Kind::kRelativePath},
      {"\\rooted\\", LibraryLoad::Kind::kRelativePath},
      {"1:\\", LibraryLoad::Kind::kRelativePath},
  };
  for (const Case& c : cases) {
    LibraryLoad load = PlanLibraryLoad(c.folder, "lorix.dll");
    EXPECT_EQ(load.kind, c.kind) << c.folder;
    EXPECT_EQ(load.path, std::string(c.folder) + "lorix.dll");
  }
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
