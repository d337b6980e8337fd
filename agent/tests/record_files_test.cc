#include "core/record_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/file_io.h"
#include "tests/test_folder.h"

namespace kestra {
namespace {

std::vector<int32_t> Visited(const RecordList& list) {
  std::vector<int32_t> out;
  list.ForEach([&](int32_t n) { out.push_back(n); });
  return out;
}

TEST(RecordFileName, AtLeastFiveDigits) {
  std::string sep(1, tessal::kPathSeparator);
  EXPECT_EQ(RecordFileName("w", 7), "w" + sep + "TESSALKESTRA_00007");
  EXPECT_EQ(RecordFileName("w", 123456), "w" + sep + "TESSALKESTRA_123456");
  EXPECT_EQ(EvidenceFileName("w", "www.bank.co.kr", 42), "w" + sep + "www.bank.co.kr.00042");
}

TEST(RecordList, RegisterReleaseAndVisitOrder) {
  RecordList list;
  list.Register(5);
  list.Register(9);
  list.Register(5);
  EXPECT_EQ(Visited(list), (std::vector<int32_t>{5, 9, 5}));
  list.Release(5);
  EXPECT_EQ(list.count(), 3) << "releasing leaves the count";
  EXPECT_EQ(Visited(list), (std::vector<int32_t>{9}));
  list.Release(9);
  EXPECT_TRUE(Visited(list).empty());
  list.Register(11);
  EXPECT_EQ(list.slot(3), 11) << "free slots are not reused";
}

TEST(RecordList, CountWrapsAfter1024Registrations) {
  RecordList list;
  for (int i = 1; i <= RecordList::kSlots; ++i) list.Register(i);
  EXPECT_EQ(list.count(), 1024);
  list.Register(5000);
  EXPECT_EQ(list.slot(0), 5000) << "the 1025th number lands in slot 0";
  EXPECT_EQ(list.count(), 1);
  EXPECT_EQ(list.slot(1), 2);
}

class BroadcastTest : public tessal::TestFolder {};

TEST_F(BroadcastTest, WritesEveryRegisteredFileAndSkipsReleasedOnes) {
  RecordList list;
  list.Register(1);
  list.Register(2);
  std::string f1 = Path("TESSALKESTRA_00001");
  std::string f2 = Path("TESSALKESTRA_00002");
  ASSERT_TRUE(tessal::WriteWholeFile(f1, "www.bank.co.kr|1.2.3.4|"));
  EXPECT_EQ(BroadcastToRecords(list, dir_, "<TERMINATE></TERMINATE>"), 1);
  std::string text;
  ASSERT_TRUE(tessal::ReadWholeFile(f1, &text, 600));
  EXPECT_EQ(text, "<TERMINATE></TERMINATE>");
  ASSERT_TRUE(tessal::ReadWholeFile(f2, &text, 600)) << "a missing file is created";
  EXPECT_EQ(text, "<TERMINATE></TERMINATE>");

  list.Release(1);
  list.Release(2);
  tessal::DeleteFilePath(f1);
  EXPECT_EQ(BroadcastToRecords(list, dir_, "x"), 1);
  EXPECT_FALSE(tessal::PathExists(f1)) << "no file for a released number";
  EXPECT_EQ(BroadcastToRecords(list, dir_, nullptr), 0);
}

TEST_F(BroadcastTest, LongTextsAreCutLikeTheFixedBuffer) {
  RecordList list;
  list.Register(3);
  std::string f = Path("TESSALKESTRA_00003");
  BroadcastToRecords(list, dir_, std::string(2000, 'u').c_str());
  EXPECT_EQ(tessal::FileLength(f), 511);
}

TEST_F(BroadcastTest, RetriesAFileThatDoesNotOpenThenGivesUp) {
  RecordList list;
  list.Register(4);
  std::string f = Path("TESSALKESTRA_00004");
  std::string victim = Path("victim");
  ASSERT_TRUE(tessal::WriteWholeFile(victim, "keep"));
#ifdef _WIN32
  ASSERT_TRUE(CreateHardLinkA(f.c_str(), victim.c_str(), nullptr));
#else
  ASSERT_EQ(link(victim.c_str(), f.c_str()), 0);
#endif
  int pauses = 0;
  EXPECT_EQ(BroadcastWithRetries(list, dir_, "<TERMINATE></TERMINATE>", 10, [&] { ++pauses; }), 0);
  EXPECT_EQ(pauses, 10);
  std::string text;
  ASSERT_TRUE(tessal::ReadWholeFile(victim, &text, 16));
  EXPECT_EQ(text, "keep") << "a planted hard link is never written through";

  // Once the link is gone the next attempt succeeds.
  tessal::DeleteFilePath(f);
  pauses = 0;
  EXPECT_EQ(BroadcastWithRetries(list, dir_, "T", 10, [&] { ++pauses; }), 1);
  EXPECT_EQ(pauses, 0);
}

}  // namespace
}  // namespace kestra
