#include "common/core/file_io.h"

#include <gtest/gtest.h>

#include <string>

#include "common/tests/test_folder.h"

#ifdef _WIN32
#include "common/win/platform.h"
#else
#include <unistd.h>
#endif

namespace tessal {
namespace {

class FileIoTest : public TestFolder {};

TEST_F(FileIoTest, ReadWholeFileRefusesFilesOverTheLimit) {
  std::string p = Path("big");
  ASSERT_TRUE(WriteWholeFile(p, std::string(100, 'x')));
  std::string out = "stale";
  EXPECT_FALSE(ReadWholeFile(p, &out, 99));
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(ReadWholeFile(p, &out, 100));
  EXPECT_EQ(out.size(), 100u);
  EXPECT_FALSE(ReadWholeFile(Path("missing"), &out, 100));
  EXPECT_EQ(FileLength(Path("missing")), std::nullopt);
}

TEST_F(FileIoTest, FoldersAreMadeOnceAndAreNoFiles) {
  std::string sub = Path("sub");
  ASSERT_TRUE(MakeFolder(sub));
  EXPECT_TRUE(MakeFolder(sub)) << "an existing folder is no error";
  EXPECT_TRUE(FolderExists(sub));
  EXPECT_EQ(FileLength(sub), std::nullopt);
  std::string out;
  EXPECT_FALSE(ReadWholeFile(sub, &out, 16));
}

}  // namespace
}  // namespace tessal
