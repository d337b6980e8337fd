// The protected-start program stand-in records its start and ends at once.
#include "common/win/platform.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/win_harness.h"

namespace {

TEST(TarnwickStandin, RecordsItsStartAndEnds) {
  harness::TempFolder folder("tarnwick_test");
  std::string log = folder / "standin.log";
  ASSERT_TRUE(SetEnvironmentVariableA("TESSAL_STANDIN_LOG", log.c_str()));
  std::string program = harness::StandinFolder() + "\\qvTarnwick.exe";
  harness::Process p;
  ASSERT_TRUE(p.Start(program, "/update now"));
  DWORD code = 99;
  ASSERT_TRUE(p.WaitForExit(10000, &code));
  EXPECT_EQ(code, 0u);
  std::string text = harness::ReadFileText(log);
  std::string head = "qvTarnwick " + std::to_string(p.id()) + " started ";
  ASSERT_EQ(text.rfind(head, 0), 0u) << text;
  // "YYYY-MM-DD HH:MM:SS.mmm " then the command line as given.
  std::string rest = text.substr(head.size());
  ASSERT_GT(rest.size(), 24u);
  EXPECT_EQ(rest[4], '-');
  EXPECT_EQ(rest[10], ' ');
  EXPECT_EQ(rest[19], '.');
  EXPECT_EQ(rest.substr(24), "\"" + program + "\" /update now\n");
  SetEnvironmentVariableA("TESSAL_STANDIN_LOG", nullptr);
}

}  // namespace
