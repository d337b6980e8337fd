#include "common/core/ansi_text.h"

#include <gtest/gtest.h>

namespace tessal {
namespace {

TEST(AnsiText, LowerKeepsDoubleByteCharactersWhole) {
  // "한A" in CP949 is C7 D1 41; the 0x41 after a lead byte would be a trail byte in
  // "\xB0\x41" and must stay as it is.
  EXPECT_EQ(LowerAnsi("C:\\Users\\ABC"), "c:\\users\\abc");
  EXPECT_EQ(LowerAnsi("\xB0\x41Z"), "\xB0\x41z");
  EXPECT_EQ(LowerAnsi("\xC7\xD1"
                      "A"),
            "\xC7\xD1"
            "a");
  char buf[] =
      "\x81\x5A"
      "AB\xFE";  // a lead byte at the very end has no trail byte
  LowerAnsiInPlace(buf);
  EXPECT_STREQ(buf,
               "\x81\x5A"
               "ab\xFE");
}

TEST(AnsiText, EqualsIgnoreCaseComparesTrailBytesExactly) {
  EXPECT_TRUE(EqualsIgnoreCase("Bank.CO.kr", "bank.co.KR"));
  EXPECT_FALSE(EqualsIgnoreCase("\xB0\x41", "\xB0\x61"));
  EXPECT_FALSE(EqualsIgnoreCase("abc", "abcd"));
}

TEST(AnsiText, CutNeverSplitsADoubleByteCharacter) {
  EXPECT_EQ(CutAnsi("abcdef", 4), "abcd");
  EXPECT_EQ(CutAnsi("ab\xC7\xD1", 3), "ab");
  EXPECT_EQ(CutAnsi("ab\xC7\xD1", 4), "ab\xC7\xD1");
  EXPECT_EQ(CutAnsi("short", 63), "short");
}

TEST(AnsiText, CopyBoundedAlwaysTerminates) {
  char out[4] = {'x', 'x', 'x', 'x'};
  EXPECT_FALSE(CopyBounded(out, sizeof(out), "abcdef"));
  EXPECT_STREQ(out, "abc");
  EXPECT_TRUE(CopyBounded(out, sizeof(out), "ab"));
  EXPECT_STREQ(out, "ab");
  EXPECT_FALSE(CopyBounded(out, 0, "a"));
}

}  // namespace
}  // namespace tessal
