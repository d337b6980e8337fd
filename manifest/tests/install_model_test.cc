#include "manifest/core/install_model.h"

#include <gtest/gtest.h>

#include <cstring>

namespace lorix {
namespace {

FileInput SampleFile() {
  FileInput in;
  in.source_path = "src\\a.dll";
  in.file_name = "a.dll";
  in.folder = "<SYS>\\";
  in.version = "1.0.0.1";
  in.target_os = "ALL";
  in.shortcut = "N";
  in.display_name = "A";
  in.icon_index = -3;
  in.self_register = 7;
  in.overwrite = 2;
  in.file_size = 1000;
  return in;
}

TEST(Numbers, DecimalReadingFollowsTheLeadingDigits) {
  EXPECT_EQ(ParseDecimal("4abc"), 4);
  EXPECT_EQ(ParseDecimal("  -12x"), -12);
  EXPECT_EQ(ParseDecimal("+7"), 7);
  EXPECT_EQ(ParseDecimal("\t\n 3"), 3);
  EXPECT_EQ(ParseDecimal("abc"), 0);
  EXPECT_EQ(ParseDecimal(""), 0);
  EXPECT_EQ(ParseDecimal("-"), 0);
  EXPECT_EQ(ParseDecimal("99999999999999999999"), INT32_MAX);
  EXPECT_EQ(ParseDecimal("-99999999999"), INT32_MIN);
  EXPECT_EQ(ParseDecimal("-2147483648"), INT32_MIN);
  EXPECT_EQ(FormatDecimal(-1), "-1");
}

TEST(Numbers, OnlyTheExactTextOneSetsAFlag) {
  EXPECT_EQ(ParseFlag("1"), 1);
  EXPECT_EQ(ParseFlag("01"), 0);
  EXPECT_EQ(ParseFlag("yes"), 0);
  EXPECT_EQ(ParseFlag("1 "), 0);
  EXPECT_EQ(ParseFlag(""), 0);
}

TEST(Names, ConfigurationFieldNamesThatCanBeElements) {
  EXPECT_TRUE(IsXmlElementName("MAINVERSION"));
  EXPECT_TRUE(IsXmlElementName("_a-1.b:c"));
  EXPECT_TRUE(IsXmlElementName("\xC7\xD1"));
  EXPECT_FALSE(IsXmlElementName("1abc"));
  EXPECT_FALSE(IsXmlElementName("a b"));
  EXPECT_FALSE(IsXmlElementName(""));
  EXPECT_FALSE(IsXmlElementName("#comment"));
  EXPECT_TRUE(IsDomPseudoName("#comment"));
  EXPECT_FALSE(IsDomPseudoName("LANG"));
}

TEST(InstallModel, ListsAppendAndCountIndependently) {
  InstallModel m;
  EXPECT_EQ(m.AddFile(SampleFile()), 1);
  EXPECT_EQ(m.AddFile(SampleFile()), 2);
  EXPECT_EQ(m.AddKill(KillList::kPre, "C", "T"), 1);
  EXPECT_EQ(m.AddKill(KillList::kUp, "C2", "T2"), 1);
  EXPECT_EQ(m.AddKill(KillList::kPre, "C3", "T3"), 2);
  EXPECT_EQ(m.AddCommand(CommandList::kPre, "a"), 1);
  EXPECT_EQ(m.AddCommand(CommandList::kPre, "b"), 2);
  EXPECT_EQ(m.AddCommand(CommandList::kDelete, "c"), 1);
  EXPECT_EQ(m.AddRegistry("HKEY_LOCAL_MACHINE\\X", "k", -1, "v", 3), 1);
  EXPECT_STREQ(m.registry()[0]->type, "-1");
  EXPECT_STREQ(m.kills(KillList::kUp)[0]->class_name, "C2");
  EXPECT_EQ(*At(m.commands(CommandList::kPre), 1), "b");
  EXPECT_EQ(At(m.commands(CommandList::kPre), 2), nullptr);
  EXPECT_EQ(At(m.files(), -1), nullptr);
  EXPECT_EQ(At(m.files(), 2), nullptr);
  EXPECT_EQ(m.files()[0]->self_register, 7);  // stored as given; written as a flag
  m.Clear();
  EXPECT_TRUE(m.files().empty());
  EXPECT_TRUE(m.commands(CommandList::kPre).empty());
  EXPECT_TRUE(m.registry().empty());
}

TEST(InstallModel, OverLongSetTextsAreRefusedWhole) {
  InstallModel m;
  FileInput in = SampleFile();
  std::string v128(128, '9');
  in.version = v128;
  EXPECT_EQ(m.AddFile(in), std::nullopt);
  std::string v127(127, '9');
  in.version = v127;
  EXPECT_EQ(m.AddFile(in), 1);
  EXPECT_EQ(std::strlen(m.files()[0]->version), 127u);
  std::string shortcut(10, 's');
  in.shortcut = shortcut;
  EXPECT_EQ(m.AddFile(in), std::nullopt);
  EXPECT_EQ(m.files().size(), 1u);
  EXPECT_EQ(m.AddRegistry(std::string(1024, 'p'), "k", 1, "v", 0), std::nullopt);
  EXPECT_EQ(m.AddKill(KillList::kPre, "c", std::string(1024, 't')), std::nullopt);
  EXPECT_EQ(m.AddCommand(CommandList::kPost, std::string(2048, 'c')), std::nullopt);
  EXPECT_EQ(m.AddCommand(CommandList::kPost, std::string(2047, 'c')), 1);
  EXPECT_EQ(m.AddConfigField("X", std::string(1024, 'v')), std::nullopt);
  EXPECT_EQ(m.AddReservedWord("<A>", "m", std::string(1024, 'r')), std::nullopt);
  EXPECT_EQ(m.reserved_words().size(), 0u);
}

TEST(InstallModel, ReservedWordsAndFieldsKeepTheFirstValue) {
  InstallModel m;
  EXPECT_EQ(m.AddReservedWord("<B>", "b", "B"), 1);
  EXPECT_EQ(m.AddReservedWord("<A>", "a", "A"), 2);
  EXPECT_EQ(m.AddReservedWord("<A>", "other", "X"), 2);
  EXPECT_STREQ(m.ReservedWordAt(0)->second->meaning, "a");
  EXPECT_STREQ(m.ReservedWordAt(0)->second->real_text, "A");
  EXPECT_EQ(m.ReservedWordAt(0)->first, "<A>");
  EXPECT_EQ(m.ReservedWordAt(2), nullptr);
  EXPECT_EQ(m.ReservedWordAt(-1), nullptr);
  EXPECT_EQ(m.AddConfigField("LANG", "1042"), 1);
  EXPECT_EQ(m.AddConfigField("LANG", "1033"), 1);
  EXPECT_EQ(m.config().at("LANG"), "1042");
  EXPECT_EQ(m.ConfigFieldOrAdd("MAINVERSION"), "");
  EXPECT_EQ(m.config().size(), 2u);
  EXPECT_EQ(m.ConfigFieldOrAdd("LANG"), "1042");
}

TEST(InstallModel, AFieldNoSaveCouldWriteIsNeverMade) {
  InstallModel m;
  std::string error;
  ASSERT_TRUE(m.LoadConfigField("#comment", "", &error));  // a loaded comment stays readable
  for (const char* name : {"1 bad", "a b", "", "#text", "<x>", "a&b"}) {
    EXPECT_EQ(m.ConfigFieldOrAdd(name), "") << name;
  }
  EXPECT_EQ(m.config().size(), 1u);
  EXPECT_EQ(m.ConfigFieldOrAdd("#comment"), "");
  EXPECT_EQ(m.config().size(), 1u);
}

TEST(InstallModel, KeysSortByteWiseWithPrefixesFirst) {
  InstallModel m;
  m.AddReservedWord("\xC7\xD1", "", "");
  m.AddReservedWord("ab", "", "");
  m.AddReservedWord("a", "", "");
  m.AddReservedWord("B", "", "");
  EXPECT_EQ(m.ReservedWordAt(0)->first, "B");
  EXPECT_EQ(m.ReservedWordAt(1)->first, "a");
  EXPECT_EQ(m.ReservedWordAt(2)->first, "ab");
  EXPECT_EQ(m.ReservedWordAt(3)->first, "\xC7\xD1");  // bytes above 0x7F sort last
}

TEST(InstallModel, LoadedEntriesReadNumbersFlagsAndTypeText) {
  InstallModel m;
  std::string error;
  EntryTexts e;
  e.Reset();
  e.Offer(0, "s");
  e.Offer(0, "ignored second SRCPATH");
  e.Offer(7, " 12junk");
  e.Offer(8, "01");
  e.Offer(9, "1");
  e.Offer(12, "-5");
  ASSERT_TRUE(m.LoadEntry(Section::kFiles, e, &error));
  const FileRecord& f = *m.files()[0];
  EXPECT_STREQ(f.source_path, "s");
  EXPECT_EQ(f.icon_index, 12);
  EXPECT_EQ(f.self_register, 0);
  EXPECT_EQ(f.real_time, 1);
  EXPECT_EQ(f.reboot, 0);
  EXPECT_EQ(f.file_size, -5);

  e.Reset();
  e.Offer(1, "4abc");
  ASSERT_TRUE(m.LoadEntry(Section::kRegistrys, e, &error));
  EXPECT_STREQ(m.registry()[0]->type, "4abc");
  EXPECT_EQ(ParseDecimal(m.registry()[0]->type), 4);
  EXPECT_EQ(m.RegistryTexts(*m.registry()[0])[1], "4abc");

  // An entry made from a comment has every field empty or zero.
  e.Reset();
  ASSERT_TRUE(m.LoadEntry(Section::kFiles, e, &error));
  EXPECT_STREQ(m.files()[1]->file_name, "");
  EXPECT_EQ(m.files()[1]->icon_index, 0);
}

TEST(InstallModel, LoadLimitsAreTheFileFormatsNotTheFieldWidths) {
  InstallModel m;
  std::string error;
  EntryTexts e;
  e.Reset();
  e.Offer(0, std::string(256, 'c'));  // kill class: 255 on load although the field holds 1023
  EXPECT_FALSE(m.LoadEntry(Section::kPreKills, e, &error));
  EXPECT_NE(error.find("CLASS"), std::string::npos);
  e.Reset();
  e.Offer(0, std::string(255, 'c'));
  EXPECT_TRUE(m.LoadEntry(Section::kPreKills, e, &error));
  e.Reset();
  e.Offer(6, std::string(130, 'd'));  // display name
  EXPECT_FALSE(m.LoadEntry(Section::kFiles, e, &error));
  e.Reset();
  e.Offer(12, std::string(256, '1'));  // text of a number field
  EXPECT_FALSE(m.LoadEntry(Section::kFiles, e, &error));
  e.Reset();
  e.Offer(0, std::string(256, 'w'));  // SHORT
  EXPECT_FALSE(m.LoadEntry(Section::kReserve, e, &error));
  EXPECT_FALSE(m.LoadConfigField("X", std::string(1024, 'v'), &error));
  EXPECT_TRUE(m.LoadConfigField("X", std::string(1023, 'v'), &error));
  EXPECT_FALSE(m.LoadCommand(Section::kPreExecute, std::string(2048, 'x'), &error));
  EXPECT_TRUE(m.LoadCommand(Section::kUpdateExecute, std::string(2047, 'x'), &error));
  EXPECT_EQ(m.commands(CommandList::kUpdate).size(), 1u);
  EXPECT_EQ(m.files().size(), 0u);
}

TEST(InstallModel, WrittenTextsFollowTheWriteOrder) {
  InstallModel m;
  FileInput in = SampleFile();
  in.real_time = 1;
  in.reboot = -1;
  m.AddFile(in);
  std::vector<std::string> t = m.FileTexts(*m.files()[0]);
  ASSERT_EQ(t.size(), EntryFieldNames(Section::kFiles).size());
  EXPECT_STREQ(EntryFieldNames(Section::kFiles)[2], "FOLDER");
  EXPECT_EQ(t[2], "<SYS>\\");
  EXPECT_EQ(t[7], "-3");  // ICONINDEX
  EXPECT_EQ(t[8], "1");   // SELFREG 7 is written as a flag
  EXPECT_EQ(t[9], "1");   // REALTIME
  EXPECT_EQ(t[10], "1");  // REBOOT -1
  EXPECT_EQ(t[11], "2");  // OVERWRITE
  EXPECT_EQ(t[12], "1000");
  EXPECT_STREQ(SectionName(kSectionOrder[3]), "REGISTRYS");
  EXPECT_STREQ(EntryName(Section::kUpKills), "UPKILL");
  EXPECT_EQ(EntryName(Section::kConfig), nullptr);
}

TEST(SetupPath, WordsApplyInKeyOrderEachOnThePreviousResult) {
  InstallModel m;
  EXPECT_EQ(m.TranslateSetupPath("<WIN>\\a"), "<WIN>\\a");
  m.AddReservedWord("<WIN>", "windows", "C:\\Windows");
  m.AddReservedWord("<W", "overlapping", "X");
  // "<W" sorts before "<WIN>" and eats its start.
  EXPECT_EQ(m.TranslateSetupPath("<WIN>\\a"), "XIN>\\a");
  InstallModel n;
  n.AddReservedWord("B", "", "A");
  n.AddReservedWord("A", "", "C");
  // "A" first: A->C, then B->A; the A from B is not turned into C again.
  EXPECT_EQ(n.TranslateSetupPath("AB"), "CA");
}

TEST(SetupPath, LoadedWordsWithoutRealTextsVanishAndEmptyWordsAreSkipped) {
  InstallModel m;
  std::string error;
  EntryTexts e;
  e.Reset();
  e.Offer(0, "<SYS>");
  e.Offer(1, "system");
  ASSERT_TRUE(m.LoadEntry(Section::kReserve, e, &error));
  e.Reset();
  ASSERT_TRUE(m.LoadEntry(Section::kReserve, e, &error));  // empty SHORT
  EXPECT_EQ(m.TranslateSetupPath("<SYS>\\a.dll"), "\\a.dll");
}

TEST(SetupPath, MultibyteTextIsMatchedAtCharacterBoundaries) {
  InstallModel m;
  m.AddReservedWord("A", "", "Z");
  EXPECT_EQ(m.TranslateSetupPath("\xB0\x41"
                                 "A"),
            "\xB0\x41"
            "Z");
}

TEST(SetupPath, ResultsStayWithin1023BytesWithoutSplittingCharacters) {
  InstallModel m;
  m.AddReservedWord("x", "", std::string(600, 'y'));
  std::string out = m.TranslateSetupPath("xx");
  EXPECT_EQ(out.size(), 1023u);
  InstallModel k;
  k.AddReservedWord("x", "", "\xC7\xD1\xC7\xD1");
  out = k.TranslateSetupPath(std::string(1021, 'a') + "x");
  EXPECT_EQ(out.size(), 1023u);
  EXPECT_EQ(out.substr(1021), "\xC7\xD1");
  out = k.TranslateSetupPath(std::string(1022, 'a') + "x");
  EXPECT_EQ(out.size(), 1022u);
}

}  // namespace
}  // namespace lorix
