#include "core/file_io.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/test_folder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace tessal {
namespace {

class FileIoTest : public TestFolder {};

TEST_F(FileIoTest, UpdateCreatesReplacesAndReadsBack) {
  std::string p = Path("record");
  {
    File f = OpenUntrustedForUpdate(p);
    ASSERT_TRUE(f.valid());
    ASSERT_TRUE(f.ReplaceContent("host.example|1.2.3.4|"));
  }
  {
    File f = OpenUntrustedForUpdate(p);
    ASSERT_TRUE(f.valid());
    std::string text;
    ASSERT_TRUE(f.ReadAtMost(512, &text));
    EXPECT_EQ(text, "host.example|1.2.3.4|");
    ASSERT_TRUE(f.ReplaceContent("OK"));
  }
  std::string all;
  ASSERT_TRUE(ReadWholeFile(p, &all, 1024));
  EXPECT_EQ(all, "OK");
  EXPECT_EQ(FileLength(p), 2);
}

TEST_F(FileIoTest, ReadWholeFileRefusesFilesOverTheLimit) {
  std::string p = Path("big");
  ASSERT_TRUE(WriteWholeFile(p, std::string(100, 'x')));
  std::string out = "stale";
  EXPECT_FALSE(ReadWholeFile(p, &out, 99));
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(ReadWholeFile(p, &out, 100));
  EXPECT_EQ(out.size(), 100u);
  EXPECT_FALSE(ReadWholeFile(Path("missing"), &out, 100));
  EXPECT_EQ(FileLength(Path("missing")), -1);
}

TEST_F(FileIoTest, ExtraHardLinkIsRefusedAndTheOtherFileKeepsItsContent) {
  std::string victim = Path("victim");
  std::string planted = Path("TESSALKESTRA_00007");
  ASSERT_TRUE(WriteWholeFile(victim, "precious"));
#ifdef _WIN32
  ASSERT_TRUE(CreateHardLinkA(planted.c_str(), victim.c_str(), nullptr));
#else
  ASSERT_EQ(link(victim.c_str(), planted.c_str()), 0);
#endif
  EXPECT_FALSE(OpenUntrustedForUpdate(planted).valid());
  EXPECT_FALSE(OpenUntrustedForRead(planted).valid());
  std::string content;
  ASSERT_TRUE(ReadWholeFile(victim, &content, 64));
  EXPECT_EQ(content, "precious");
}

TEST_F(FileIoTest, FolderIsNotAFile) {
  std::string sub = dir_ + kPathSeparator + "sub";
  ASSERT_TRUE(MakeFolder(sub));
  EXPECT_TRUE(MakeFolder(sub)) << "an existing folder is no error";
  EXPECT_TRUE(FolderExists(sub));
  EXPECT_FALSE(OpenUntrustedForRead(sub).valid());
#ifdef _WIN32
  RemoveDirectoryA(sub.c_str());
#else
  rmdir(sub.c_str());
#endif
}

#ifndef _WIN32
// Wine follows Unix symbolic links transparently, so links are checked here.
TEST_F(FileIoTest, SymbolicLinksAreRefusedForFilesAndFolders) {
  std::string victim = Path("victim");
  std::string planted = Path("planted");
  ASSERT_TRUE(WriteWholeFile(victim, "precious"));
  ASSERT_EQ(symlink(victim.c_str(), planted.c_str()), 0);
  EXPECT_FALSE(OpenUntrustedForUpdate(planted).valid());
  EXPECT_FALSE(OpenUntrustedForRead(planted).valid());

  std::string linked_dir = Path("linked_dir");
  ASSERT_EQ(symlink(dir_.c_str(), linked_dir.c_str()), 0);
  EXPECT_FALSE(OpenUntrustedForUpdate(linked_dir + "/victim").valid());

  std::string content;
  ASSERT_TRUE(ReadWholeFile(victim, &content, 64));
  EXPECT_EQ(content, "precious");
}
#endif

}  // namespace
}  // namespace tessal
