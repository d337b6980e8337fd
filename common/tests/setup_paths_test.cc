#include "common/core/setup_paths.h"

#include <gtest/gtest.h>

namespace tessal {
namespace {

TEST(WindowsVersionClass, FollowsTheVersionTable) {
  EXPECT_EQ(WindowsVersionClass(5, 0, true, -1), 5);
  EXPECT_EQ(WindowsVersionClass(5, 1, false, -1), 0);
  EXPECT_EQ(WindowsVersionClass(5, 2, true, -1), 6);
  EXPECT_EQ(WindowsVersionClass(6, 0, true, -1), 1);
  EXPECT_EQ(WindowsVersionClass(6, 1, false, -1), 7);
  EXPECT_EQ(WindowsVersionClass(6, 3, true, -1), 2);
  EXPECT_EQ(WindowsVersionClass(6, 2, false, -1), 8);
  EXPECT_EQ(WindowsVersionClass(10, 1, true, -1), 3);
  EXPECT_EQ(WindowsVersionClass(10, 1, false, -1), 8);
  EXPECT_EQ(WindowsVersionClass(4, 0, true, 42), 42);
  EXPECT_EQ(WindowsVersionClass(6, 4, true, -1), -1);
  EXPECT_EQ(WithArchitecture(1, true), 11);
  EXPECT_EQ(WithArchitecture(-1, true), 9);
}

TEST(WindowsVersionClass, WindowsTenZeroIsTreatedLikeOtherTens) {
  // Windows 10 and 11 report 10.0; without a class 64-bit systems would pass as 32-bit.
  EXPECT_EQ(WindowsVersionClass(10, 0, true, -1), 3);
  EXPECT_EQ(WindowsVersionClass(10, 0, false, -1), 8);
}

TEST(ReplaceAllAnsi, ReplacesLeftToRightWithoutRescanning) {
  EXPECT_EQ(ReplaceAllAnsi("<A>\\x<A>", "<A>", "C:"), "C:\\xC:");
  EXPECT_EQ(ReplaceAllAnsi("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(ReplaceAllAnsi("aaaa", "aa", "b"), "bb");
  EXPECT_EQ(ReplaceAllAnsi("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceAllAnsi("", "a", "x"), "");
}

TEST(ReplaceAllAnsi, NeverMatchesInsideADoubleByteCharacter) {
  // "\xB0\x41" is one CP949 character whose trail byte is 'A'.
  EXPECT_EQ(ReplaceAllAnsi("\xB0\x41"
                           "A",
                           "A", "z"),
            "\xB0\x41"
            "z");
  EXPECT_EQ(ReplaceAllAnsi("\xB0\x41\xB0\x41", "\x41\xB0", "!"), "\xB0\x41\xB0\x41");
  // The word itself may be double-byte.
  EXPECT_EQ(ReplaceAllAnsi("x\xC7\xD1y", "\xC7\xD1", "K"), "xKy");
  // A lead byte at the very end is copied as it is.
  EXPECT_EQ(ReplaceAllAnsi("ab\xB0", "b", "c"), "ac\xB0");
}

SystemFolders Folders() {
  return {"C:\\Windows\\system32", "C:\\Windows", "C:\\Windows\\SysWOW64"};
}

TEST(SpecialFolder, PlansFollowTheTypeTable) {
  EXPECT_EQ(PlanSpecialFolder(0, 0, 1).csidl, 0x25);
  EXPECT_EQ(PlanSpecialFolder(1, 0, 1).csidl, 0x10);
  EXPECT_EQ(PlanSpecialFolder(1, 1, 1).csidl, 0x19);
  EXPECT_EQ(PlanSpecialFolder(3, 0, 1).csidl, 0x0B);
  EXPECT_EQ(PlanSpecialFolder(3, 1, 1).csidl, 0x16);
  EXPECT_EQ(PlanSpecialFolder(6, 0, 1).csidl, 0x1A);
  EXPECT_EQ(PlanSpecialFolder(6, 1, 1).csidl, 0x23);
  EXPECT_EQ(PlanSpecialFolder(7, 0, 11).csidl, 0x29);
  EXPECT_EQ(PlanSpecialFolder(7, 0, 9).csidl, 0x25);
  EXPECT_EQ(PlanSpecialFolder(8, 0, 11).csidl, 0x2A);
  EXPECT_EQ(PlanSpecialFolder(8, 0, 1).csidl, 0x26);
  EXPECT_FALSE(PlanSpecialFolder(9, 0, 1).known);
  EXPECT_FALSE(PlanSpecialFolder(-1, 0, 1).known);
}

TEST(SpecialFolder, FinishingTrimsAndAppendsABackslash) {
  EXPECT_EQ(FinishSpecialFolder(PlanSpecialFolder(4, 0, 1), "C:\\Windows", Folders()), "C:\\");
  // A 32-bit process on 64-bit Windows gets the (x86) folder from the shell.
  EXPECT_EQ(FinishSpecialFolder(PlanSpecialFolder(5, 0, 11), "C:\\Program Files (x86)", Folders()),
            "C:\\Program Files\\");
  EXPECT_EQ(FinishSpecialFolder(PlanSpecialFolder(8, 0, 11), "C:\\Program Files (x86)", Folders()),
            "C:\\Program Files (x86)\\");
  EXPECT_EQ(FinishSpecialFolder(PlanSpecialFolder(8, 0, 7), "C:\\Program Files (x86)", Folders()),
            "C:\\Program Files\\");
  EXPECT_EQ(FinishSpecialFolder(PlanSpecialFolder(1, 0, 1), "", Folders()), "");
  EXPECT_EQ(FinishSpecialFolder(PlanSpecialFolder(9, 0, 1), "C:\\x", Folders()), "");
}

TEST(SpecialFolder, FallsBackWhenTheShellHasNoAnswer) {
  EXPECT_EQ(FinishSpecialFolder(PlanSpecialFolder(0, 0, 1), "", Folders()),
            "C:\\Windows\\system32\\");
  EXPECT_EQ(FinishSpecialFolder(PlanSpecialFolder(2, 0, 1), "", Folders()), "C:\\Windows\\");
  EXPECT_EQ(FinishSpecialFolder(PlanSpecialFolder(5, 0, 1), "", Folders()), "C:\\Program Files\\");
  EXPECT_EQ(FinishSpecialFolder(PlanSpecialFolder(7, 0, 11), "", Folders()),
            "C:\\Windows\\SysWOW64\\");
  EXPECT_EQ(FinishSpecialFolder(PlanSpecialFolder(8, 0, 11), "", Folders()),
            "C:\\Program Files (x86)\\");
  EXPECT_EQ(FinishSpecialFolder(PlanSpecialFolder(8, 0, 1), "", Folders()), "C:\\Program Files\\");
  EXPECT_EQ(FinishSpecialFolder(PlanSpecialFolder(6, 0, 1), "", Folders()), "");
}

TEST(SpecialFolder, RefusesPathsThatDoNotFit) {
  std::string long_path(258, 'a');
  EXPECT_EQ(FinishSpecialFolder(PlanSpecialFolder(2, 0, 1), long_path, Folders()).size(), 259u);
  long_path.push_back('b');
  EXPECT_EQ(FinishSpecialFolder(PlanSpecialFolder(2, 0, 1), long_path, Folders()), "");
}

TEST(ProtectedFolderPath, AppendsNameAndBackslash) {
  EXPECT_EQ(ProtectedFolderPath("C:\\Windows\\", "abc"), "C:\\Windows\\abc\\");
  EXPECT_EQ(ProtectedFolderPath("C:\\Windows\\", ""), "C:\\Windows\\\\");
  EXPECT_EQ(ProtectedFolderPath("C:\\Windows\\", std::string(300, 'x')), "");
}

}  // namespace
}  // namespace tessal
