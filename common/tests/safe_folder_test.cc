#include "common/core/safe_folder.h"

#include <gtest/gtest.h>

#include <string>

#include "common/tests/test_folder.h"

#ifdef _WIN32
#include "common/win/platform.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tessal {
namespace {

bool HardLink(const std::string& target, const std::string& at) {
#ifdef _WIN32
  return CreateHardLinkA(at.c_str(), target.c_str(), nullptr) != 0;
#else
  return link(target.c_str(), at.c_str()) == 0;
#endif
}

std::string Content(const std::string& path) {
  std::string text;
  return ReadWholeFile(path, &text, 1024) ? text : "<unreadable>";
}

// A work folder "w" beside an outside tree with one precious file.
class SafeFolderTest : public TestFolder {
 protected:
  void SetUp() override {
    TestFolder::SetUp();
    work_path_ = dir_ + kPathSeparator + "w";
    outside_ = dir_ + kPathSeparator + "outside";
    victim_ = outside_ + kPathSeparator + "victim";
    ASSERT_TRUE(MakeFolder(work_path_) && MakeFolder(outside_));
    ASSERT_TRUE(WriteWholeFile(victim_, "precious"));
    work_ = SafeFolder::Hold(work_path_);
    ASSERT_TRUE(work_.valid());
  }
  void TearDown() override {
    work_ = SafeFolder();
    SafeFolder top = SafeFolder::Hold(dir_);
    top.RemoveTree("w", 5000);
    top.RemoveTree("w.moved", 5000);
    top.RemoveTree("outside", 5000);
    TestFolder::TearDown();
  }
  std::string In(const std::string& name) { return work_path_ + kPathSeparator + name; }
  // Every refused operation on `name` leaves the victim and the planted entry alone.
  void ExpectRefusedUntouched(const std::string& name) {
    OpenStatus status = OpenStatus::kOpened;
    EXPECT_FALSE(work_.OpenForUpdate(name, &status).valid()) << name;
    EXPECT_EQ(status, OpenStatus::kRefused) << name;
    EXPECT_FALSE(work_.OpenForRead(name).valid()) << name;
    EXPECT_FALSE(work_.DeleteChild(name)) << name;
    EXPECT_TRUE(PathExists(In(name))) << name;
    EXPECT_EQ(Content(victim_), "precious");
  }
  std::string work_path_, outside_, victim_;
  SafeFolder work_;
};

TEST(SafeFolderNames, OnlySingleComponents) {
  for (const char* bad : {"", ".", "..", "a\\b", "a/b", "c:x", "x:stream", "\x01x"}) {
    EXPECT_FALSE(IsSingleComponent(bad)) << bad;
  }
  for (const char* good : {"TESSALKESTRA_00007", "www.bank.co.kr.00042", "...x", "trgCorvChk"}) {
    EXPECT_TRUE(IsSingleComponent(good)) << good;
  }
}

TEST_F(SafeFolderTest, CreatesUpdatesReadsAndDeletesPlainFiles) {
  {
    OpenStatus status = OpenStatus::kRefused;
    File f = work_.OpenForUpdate("rec", &status);
    ASSERT_TRUE(f.valid());
    EXPECT_EQ(status, OpenStatus::kOpened);
    ASSERT_TRUE(f.ReplaceContent("host|1.2.3.4|"));
  }
  std::string text;
  ASSERT_TRUE(work_.OpenForRead("rec").ReadAtMost(64, &text));
  EXPECT_EQ(text, "host|1.2.3.4|");
  EXPECT_TRUE(work_.DeleteChild("rec"));
  EXPECT_FALSE(PathExists(In("rec")));
  EXPECT_FALSE(work_.DeleteChild("rec"));
  EXPECT_FALSE(work_.OpenForUpdate("../outside/victim").valid());
}

TEST_F(SafeFolderTest, FoldersAndHardLinksAreRefusedUntouched) {
  ASSERT_TRUE(MakeFolder(In("TESSALKESTRA_00001")));
  ASSERT_TRUE(HardLink(victim_, In("TESSALKESTRA_00002")));
  ExpectRefusedUntouched("TESSALKESTRA_00001");
  ExpectRefusedUntouched("TESSALKESTRA_00002");
}

TEST_F(SafeFolderTest, RemoveTreeNeverReachesOutside) {
  SafeFolder top = SafeFolder::Hold(dir_);
  std::string outside_sub = outside_ + kPathSeparator + "sub";
  ASSERT_TRUE(MakeFolder(outside_sub) &&
              WriteWholeFile(outside_sub + kPathSeparator + "deep", "deep"));
  ASSERT_TRUE(MakeFolder(In("sub")) && MakeFolder(In("sub") + kPathSeparator + "deeper"));
  ASSERT_TRUE(WriteWholeFile(In("sub") + kPathSeparator + "deeper" + kPathSeparator + "f", "x"));
  ASSERT_TRUE(HardLink(victim_, In("sub") + kPathSeparator + "hard"));
#ifndef _WIN32
  ASSERT_EQ(symlink(outside_.c_str(), In("to_outside").c_str()), 0);
  ASSERT_EQ(symlink(outside_sub.c_str(), (In("sub") + kPathSeparator + "to_sub").c_str()), 0);
  ASSERT_EQ(symlink(victim_.c_str(), (In("sub") + kPathSeparator + "to_victim").c_str()), 0);
#endif
  work_ = SafeFolder();
  EXPECT_TRUE(top.RemoveTree("w", 5000));
  EXPECT_FALSE(PathExists(work_path_));
  EXPECT_EQ(Content(victim_), "precious");
  EXPECT_EQ(Content(outside_sub + kPathSeparator + "deep"), "deep");
  EXPECT_TRUE(top.RemoveTree("w", 5000)) << "a missing folder is gone already";
}

TEST_F(SafeFolderTest, ChildFoldersAreMadeAndHeld) {
  SafeFolder child = work_.HoldChild("CVWork", true);
  ASSERT_TRUE(child.valid());
  EXPECT_EQ(child.path(), In("CVWork"));
  EXPECT_TRUE(work_.HoldChild("CVWork", false).valid());
  EXPECT_FALSE(work_.HoldChild("missing", false).valid());
  ASSERT_TRUE(WriteWholeFile(In("file"), "x"));
  EXPECT_FALSE(work_.HoldChild("file", true).valid());
  EXPECT_FALSE(SafeFolder::Hold(In("file")).valid());
}

#ifdef _WIN32
TEST_F(SafeFolderTest, HeldFolderCannotBeRenamedAndBusyFilesAreTold) {
  EXPECT_FALSE(MoveFileA(work_path_.c_str(), (work_path_ + ".moved").c_str()));
  File mine = work_.OpenForUpdate("rec");
  ASSERT_TRUE(mine.valid());
  OpenStatus status = OpenStatus::kOpened;
  EXPECT_FALSE(work_.OpenForUpdate("rec", &status).valid());
  EXPECT_EQ(status, OpenStatus::kBusy) << "a file held by its writer is worth another try";
}
#else
// Wine follows Unix links transparently, so links are tested here.
TEST_F(SafeFolderTest, SymbolicLinksAreRefusedUntouched) {
  ASSERT_EQ(symlink(victim_.c_str(), In("TESSALKESTRA_00003").c_str()), 0);
  ASSERT_EQ(symlink(outside_.c_str(), In("TESSALKESTRA_00004").c_str()), 0);
  ExpectRefusedUntouched("TESSALKESTRA_00003");
  ExpectRefusedUntouched("TESSALKESTRA_00004");
  EXPECT_FALSE(work_.HoldChild("TESSALKESTRA_00004", true).valid());
  EXPECT_FALSE(SafeFolder::Hold(In("TESSALKESTRA_00004")).valid());
  EXPECT_FALSE(SafeFolder::Hold(In("TESSALKESTRA_00004") + "/").valid()) << "a link with a slash";
}

TEST_F(SafeFolderTest, AFolderSwappedForALinkAfterTheHoldIsNeverLeft) {
  ASSERT_EQ(rename(work_path_.c_str(), (work_path_ + ".moved").c_str()), 0);
  ASSERT_EQ(symlink(outside_.c_str(), work_path_.c_str()), 0);
  ASSERT_TRUE(work_.OpenForUpdate("victim").ReplaceContent("OK"));
  EXPECT_EQ(Content(victim_), "precious");
  EXPECT_EQ(Content(work_path_ + ".moved" + kPathSeparator + "victim"), "OK");
  EXPECT_FALSE(SafeFolder::Hold(work_path_).valid()) << "the link is refused at the next hold";
  unlink(work_path_.c_str());
}

TEST_F(SafeFolderTest, AFileSwappedForALinkBetweenOperationsIsRefused) {
  ASSERT_TRUE(work_.OpenForUpdate("rec").ReplaceContent("a|b|"));
  ASSERT_EQ(unlink(In("rec").c_str()), 0);
  ASSERT_EQ(symlink(victim_.c_str(), In("rec").c_str()), 0);
  ExpectRefusedUntouched("rec");
}

TEST_F(SafeFolderTest, TheHeldFolderItselfMustNotBeALink) {
  std::string linked = dir_ + "/linked";
  ASSERT_EQ(symlink(work_path_.c_str(), linked.c_str()), 0);
  EXPECT_FALSE(SafeFolder::Hold(linked).valid());
  EXPECT_FALSE(SafeFolder::Hold(linked + "/.").valid()) << "its final path is elsewhere";
  unlink(linked.c_str());
}
#endif

}  // namespace
}  // namespace tessal
