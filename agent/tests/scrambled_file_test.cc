#include "agent/core/scrambled_file.h"

#include <gtest/gtest.h>

#include <string>

#include "common/core/file_io.h"
#include "common/tests/test_folder.h"

namespace kestra {
namespace {

TEST(Scramble, ComplementsEveryByte) {
  EXPECT_EQ(Scramble("ABC"), "\xBE\xBD\xBC");
  EXPECT_EQ(Scramble(std::string("\x00\xFF", 2)), std::string("\xFF\x00", 2));
  EXPECT_EQ(Scramble(Scramble("round trip")), "round trip");
}

class ScrambledFileTest : public tessal::TestFolder {};

TEST_F(ScrambledFileTest, ReadsWithTheLengthFirstPattern) {
  std::string p = Path("settings");
  ASSERT_TRUE(tessal::WriteWholeFile(p, "\xBE\xBD\xBC"));
  int n = ReadScrambledFile(p.c_str(), nullptr, 0);
  ASSERT_EQ(n, 3);
  std::string buf(n + 1, '\0');
  EXPECT_EQ(ReadScrambledFile(p.c_str(), buf.data(), buf.size()), 1);
  EXPECT_STREQ(buf.c_str(), "ABC");
}

TEST_F(ScrambledFileTest, EmptyAndMissingFilesLookAlike) {
  std::string empty = Path("empty");
  ASSERT_TRUE(tessal::WriteWholeFile(empty, ""));
  EXPECT_EQ(ReadScrambledFile(empty.c_str(), nullptr, 0), 0);
  EXPECT_EQ(ReadScrambledFile(Path("missing").c_str(), nullptr, 0), 0);
  char out[4] = "";
  EXPECT_EQ(ReadScrambledFile(Path("missing").c_str(), out, sizeof(out)), 0);
  EXPECT_EQ(ReadScrambledFile(nullptr, out, sizeof(out)), 0);
  EXPECT_EQ(ReadScrambledFile(std::string(600, 'a').c_str(), nullptr, 0), 0);
}

TEST_F(ScrambledFileTest, FileThatGrewIsCutToTheBuffer) {
  std::string p = Path("grown");
  ASSERT_TRUE(tessal::WriteWholeFile(p, Scramble("ABC")));
  ASSERT_EQ(ReadScrambledFile(p.c_str(), nullptr, 0), 3);
  ASSERT_TRUE(tessal::WriteWholeFile(p, Scramble("ABCDEFGH")));
  char out[4] = {'z', 'z', 'z', 'z'};
  EXPECT_EQ(ReadScrambledFile(p.c_str(), out, sizeof(out)), 1);
  EXPECT_STREQ(out, "ABC");
}

TEST_F(ScrambledFileTest, WritesTheScrambledBytesOnly) {
  std::string p = Path("trgCorvChk");
  tessal::SafeFolder folder = tessal::SafeFolder::Hold(dir_);
  ASSERT_TRUE(WriteScrambledFile(folder, "trgCorvChk", "ABC"));
  std::string raw;
  ASSERT_TRUE(tessal::ReadWholeFile(p, &raw, 16));
  EXPECT_EQ(raw, "\xBE\xBD\xBC");
  ASSERT_TRUE(WriteScrambledFile(folder, "trgCorvChk", "A"));
  ASSERT_TRUE(tessal::ReadWholeFile(p, &raw, 16));
  EXPECT_EQ(raw, "\xBE") << "a shorter text truncates the file";
  EXPECT_FALSE(WriteScrambledFile(folder, nullptr, "A"));
  EXPECT_FALSE(WriteScrambledFile(folder, "trgCorvChk", nullptr));
  EXPECT_FALSE(WriteScrambledFile(tessal::SafeFolder(), "trgCorvChk", "A")) << "no held folder";
  std::string text;
  ASSERT_TRUE(ReadScrambledText(p, &text, 16));
  EXPECT_EQ(text, "A");
}

}  // namespace
}  // namespace kestra
