// The companion stand-in records its start and keeps running until it is ended.
#include "common/win/platform.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/win_harness.h"

namespace {

TEST(TarnholmStandin, RecordsItsStartAndStaysRunning) {
  harness::TempFolder folder("tarnholm_test");
  std::string log = folder / "standin.log";
  ASSERT_TRUE(SetEnvironmentVariableA("TESSAL_STANDIN_LOG", log.c_str()));
  std::string program = harness::StandinFolder() + "\\qvTarnholm.exe";
  harness::Process p;
  ASSERT_TRUE(p.Start(program));
  SetEnvironmentVariableA("TESSAL_STANDIN_LOG", nullptr);
  std::string head = "qvTarnholm " + std::to_string(p.id()) + " started ";
  EXPECT_TRUE(
      harness::WaitUntil([&] { return harness::ReadFileText(log).rfind(head, 0) == 0; }, 10000))
      << harness::ReadFileText(log);
  DWORD code = 0;
  EXPECT_FALSE(p.WaitForExit(500, &code)) << "ended with " << code;
  p.Kill();
  EXPECT_FALSE(p.running());
}

}  // namespace
