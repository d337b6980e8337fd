#include "agent/core/record_files.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "common/core/file_io.h"
#include "common/tests/test_folder.h"

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
  EXPECT_EQ(Visited(list), (std::vector<int32_t>{5, 9}))
      << "a registered number takes no second slot";
  list.Release(5);
  EXPECT_EQ(list.count(), 2) << "releasing leaves the count";
  EXPECT_EQ(Visited(list), (std::vector<int32_t>{9}));
  list.Release(9);
  EXPECT_TRUE(Visited(list).empty());
  list.Register(11);
  EXPECT_EQ(list.slot(2), 11) << "free slots are not reused";
}

TEST(RecordList, OneNumberRegisteredOverAndOverKeepsTheOthers) {
  RecordList list;
  list.Register(901);
  for (int i = 0; i < 3 * RecordList::kSlots; ++i) list.Register(7);
  list.Register(902);
  EXPECT_EQ(Visited(list), (std::vector<int32_t>{901, 7, 902}));
}

TEST(RecordList, CountWrapsAfter1024Registrations) {
  RecordList list;
  for (int i = 1; i <= RecordList::kSlots; ++i) list.Register(i);
  EXPECT_EQ(list.count(), 1024);
  list.Register(5000);
  EXPECT_EQ(list.slot(0), 5000) << "the 1025th number lands in slot 0";
  EXPECT_EQ(list.count(), 1);
  EXPECT_EQ(list.slot(1), 2);
  list.Register(700);
  EXPECT_EQ(list.slot(1), 700) << "a number past the count moves to where writers reach it";
  EXPECT_EQ(list.slot(699), 0);
}

class BroadcastTest : public tessal::TestFolder {
 protected:
  void SetUp() override {
    TestFolder::SetUp();
    work_ = tessal::SafeFolder::Hold(dir_);
    ASSERT_TRUE(work_.valid());
  }
  tessal::SafeFolder work_;
};

TEST_F(BroadcastTest, WritesEveryRegisteredFileAndSkipsReleasedOnes) {
  RecordList list;
  list.Register(1);
  list.Register(2);
  std::string f1 = Path("TESSALKESTRA_00001");
  std::string f2 = Path("TESSALKESTRA_00002");
  ASSERT_TRUE(tessal::WriteWholeFile(f1, "www.bank.co.kr|1.2.3.4|"));
  EXPECT_TRUE(BroadcastToRecords(list, work_, "<TERMINATE></TERMINATE>"));
  std::string text;
  ASSERT_TRUE(tessal::ReadWholeFile(f1, &text, 600));
  EXPECT_EQ(text, "<TERMINATE></TERMINATE>");
  ASSERT_TRUE(tessal::ReadWholeFile(f2, &text, 600)) << "a missing file is created";
  EXPECT_EQ(text, "<TERMINATE></TERMINATE>");

  list.Release(1);
  list.Release(2);
  tessal::DeleteFilePath(f1);
  EXPECT_TRUE(BroadcastToRecords(list, work_, "x"));
  EXPECT_FALSE(tessal::PathExists(f1)) << "no file for a released number";
  EXPECT_FALSE(BroadcastToRecords(list, work_, nullptr));
}

TEST_F(BroadcastTest, LongTextsAreCutLikeTheFixedBuffer) {
  RecordList list;
  list.Register(3);
  std::string f = Path("TESSALKESTRA_00003");
  BroadcastToRecords(list, work_, std::string(2000, 'u').c_str());
  EXPECT_EQ(tessal::FileLength(f), 511);
}

TEST_F(BroadcastTest, APlantedHardLinkIsNeverWrittenThroughNorRetried) {
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
  EXPECT_EQ(BroadcastWithRetries(list, work_, "<TERMINATE></TERMINATE>", 10, [&] { ++pauses; }), 0);
  EXPECT_EQ(pauses, 0);
  std::string text;
  ASSERT_TRUE(tessal::ReadWholeFile(victim, &text, 16));
  EXPECT_EQ(text, "keep");
}

// Busy files are retried in rounds over all of them, so the pauses are bounded
// by the retries whatever the count.
TEST(WriteInRounds, RetriesOnlyBusyFilesInBoundedRounds) {
  RecordList list;
  for (int32_t n = 1; n <= 1000; ++n) list.Register(n);
  std::map<int32_t, int> tries;
  auto write = [&](int32_t n) {
    int t = ++tries[n];
    if (n == 1) return tessal::OpenStatus::kRefused;
    if (n == 2) return t < 3 ? tessal::OpenStatus::kBusy : tessal::OpenStatus::kOpened;
    if (n == 3) return tessal::OpenStatus::kOpened;
    return tessal::OpenStatus::kBusy;
  };
  int pauses = 0;
  EXPECT_EQ(WriteInRounds(list, write, 10, [&] { ++pauses; }), 2);
  EXPECT_EQ(pauses, 10);
  EXPECT_EQ(tries[1], 1) << "a refused file is never retried";
  EXPECT_EQ(tries[2], 3);
  EXPECT_EQ(tries[3], 1);
  EXPECT_EQ(tries[999], 11);
  pauses = 0;
  EXPECT_EQ(WriteInRounds(
                list, [](int32_t) { return tessal::OpenStatus::kOpened; }, 10, [&] { ++pauses; }),
            1000);
  EXPECT_EQ(pauses, 0);
}

}  // namespace
}  // namespace kestra
