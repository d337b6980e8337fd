// A fresh temporary folder per test, removed with what the test made in it.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/core/file_io.h"

#ifdef _WIN32
#include "common/win/platform.h"
#else
#include <unistd.h>
#endif

namespace tessal {

class TestFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
#ifdef _WIN32
    char tmp[MAX_PATH];
    GetTempPathA(sizeof(tmp), tmp);
    dir_ = std::string(tmp) + "tessal_test_" + std::to_string(GetCurrentProcessId());
#else
    const char* tmp = std::getenv("TMPDIR");
    dir_ = std::string(tmp ? tmp : "/tmp") + "/kestra_test_" + std::to_string(getpid());
#endif
    dir_ += "_" + std::to_string(counter++);
    ASSERT_TRUE(MakeFolder(dir_));
  }
  void TearDown() override {
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
      if (!DeleteFilePath(*it)) RemoveFolder(*it);
    }
    RemoveFolder(dir_);
  }
  // A path in the folder, removed at the end of the test.
  std::string Path(const std::string& name) {
    std::string p = dir_ + kPathSeparator + name;
    made_.push_back(p);
    return p;
  }
  static void RemoveFolder(const std::string& p) {
#ifdef _WIN32
    RemoveDirectoryA(p.c_str());
#else
    rmdir(p.c_str());
#endif
  }
  std::string dir_;
  std::vector<std::string> made_;
};

}  // namespace tessal
