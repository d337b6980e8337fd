#include "certsetup/core/seal_command.h"

#include <gtest/gtest.h>

namespace seal {
namespace {

TEST(SealCommand, Table) {
  struct Case {
    std::vector<std::string> args;
    Action action;
    bool force;
  } cases[] = {
      {{"/make"}, Action::kMake, false},
      {{"/make", "/force"}, Action::kMake, true},
      {{"/FORCE", "-Make"}, Action::kMake, true},
      {{"/remove"}, Action::kRemove, false},
      {{}, Action::kInvalid, false},
      {{"/force"}, Action::kInvalid, false},
      {{"/make", "/remove"}, Action::kInvalid, false},
      {{"/remove", "/force"}, Action::kInvalid, false},
      {{"/make", "extra"}, Action::kInvalid, false},
      {{"/makes"}, Action::kInvalid, false},
      {{"/"}, Action::kInvalid, false},
  };
  for (const Case& c : cases) {
    Command command = ParseCommand(c.args);
    EXPECT_EQ(command.action, c.action) << ::testing::PrintToString(c.args);
    if (c.action != Action::kInvalid) {
      EXPECT_EQ(command.force, c.force) << ::testing::PrintToString(c.args);
    }
  }
}

}  // namespace
}  // namespace seal
