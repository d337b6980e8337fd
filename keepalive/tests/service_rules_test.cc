#include "keepalive/core/service_rules.h"

#include <gtest/gtest.h>

namespace keepalive {
namespace {

TEST(KeepAliveCommand, FirstArgumentCaseIgnored) {
  struct Case {
    const char* argument;
    Command expected;
  } cases[] = {
      {nullptr, Command::kRunService},   {"-install", Command::kInstall},
      {"-INSTALL", Command::kInstall},   {"-Start", Command::kStart},
      {"-remove", Command::kRemove},     {"-REMOVE", Command::kRemove},
      {"install", Command::kRunService}, {"-install2", Command::kRunService},
      {"", Command::kRunService},        {"/remove", Command::kRunService},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ParseCommand(c.argument), c.expected) << (c.argument ? c.argument : "(none)");
}

TEST(KeepAliveSuiteRunning, WatchedImagesWhateverTheirCaseOrFolder) {
  struct Case {
    std::vector<std::string> images;
    bool running;
  } cases[] = {
      {{}, false},
      {{"explorer.exe", "svchost.exe"}, false},
      {{"explorer.exe", "qvTessalKestra.exe"}, true},
      {{"QVTARNWICK.EXE"}, true},
      {{"qvtarnholm.exe"}, true},
      {{"C:\\Program Files\\Corvanta\\qvTarnholm.exe"}, true},
      {{"qvTessalKestraR.exe", "qvTarnwick.exe.bak", "qvTarnwick"}, false},
      {{"xqvtarnholm.exe", "qvtarnholm.ex"}, false},
      // A double-byte character whose trail byte is a backslash ends no folder.
      {{"C:\\\x95\\qvTarnwick.exe"}, false},
      {{"C:\\\x95\\\\qvTarnwick.exe"}, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SuiteRunning(c.images), c.running)
        << (c.images.empty() ? "(empty)" : c.images.back());
  }
}

TEST(KeepAliveLegacyWindows, OnlyVersionsFiveZeroAndFiveOne) {
  struct Case {
    std::optional<WindowsVersion> version;
    bool legacy;
  } cases[] = {
      {WindowsVersion{5, 0}, true},  {WindowsVersion{5, 1}, true},   {WindowsVersion{5, 2}, false},
      {WindowsVersion{6, 1}, false}, {WindowsVersion{10, 0}, false}, {WindowsVersion{4, 0}, false},
      {std::nullopt, false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsLegacyWindows(c.version), c.legacy);
}

TEST(KeepAliveLaunchCommand, LauncherBesideTheServiceQuoted) {
  std::optional<std::u16string> folder = ProgramFolder(u"C:\\Program Files\\Corvanta\\Gatrell.exe");
  ASSERT_TRUE(folder);
  EXPECT_EQ(*folder, u"C:\\Program Files\\Corvanta");
  std::optional<LaunchCommand> launch = MakeLaunchCommand(*folder);
  ASSERT_TRUE(launch);
  EXPECT_EQ(launch->application, u"C:\\Program Files\\Corvanta\\qvTolvenz.exe");
  EXPECT_EQ(launch->command_line, u"\"C:\\Program Files\\Corvanta\\qvTolvenz.exe\"");
  EXPECT_EQ(ProgramFolder(u"\\\\server\\share\\Gatrell.exe"), u"\\\\server\\share");
  EXPECT_EQ(ProgramFolder(u"Gatrell.exe"), std::nullopt);
  EXPECT_EQ(QuotedProgramPath(u"C:\\A B\\Gatrell.exe"), u"\"C:\\A B\\Gatrell.exe\"");
}

TEST(KeepAliveLaunchCommand, TooLongForItsBufferIsRefusedNotCut) {
  // The quotes, "\qvTolvenz.exe" and the NUL take 17 of the 512 characters.
  const std::size_t longest = kLaunchCommandBytes / 2 - 17;
  struct Case {
    std::size_t folder_length;
    bool launches;
  } cases[] = {{longest - 1, true}, {longest, true}, {longest + 1, false}, {4000, false}};
  for (const Case& c : cases) {
    std::u16string folder = u"C:\\" + std::u16string(c.folder_length - 3, u'd');
    std::optional<LaunchCommand> launch = MakeLaunchCommand(folder);
    ASSERT_EQ(launch.has_value(), c.launches) << c.folder_length;
    if (launch) {
      EXPECT_EQ(launch->command_line, u"\"" + folder + u"\\qvTolvenz.exe\"");
    }
  }
}

TEST(KeepAliveControl, OnlyAStopWhileRunningIsReported) {
  struct Case {
    uint32_t control, state;
    bool reported;
  } cases[] = {
      {kControlStop, kRunning, true},       {kControlStop, kStopPending, false},
      {kControlStop, kStartPending, false}, {kControlStop, kStopped, false},
      {2 /* pause */, kRunning, false},     {4 /* interrogate */, kRunning, false},
      {5 /* shutdown */, kRunning, false},
  };
  for (const Case& c : cases) {
    std::optional<StatusReport> report = OnControl(c.control, c.state);
    ASSERT_EQ(report.has_value(), c.reported) << c.control << " in " << c.state;
    if (!report) continue;
    EXPECT_EQ(report->state, kStopPending);
    EXPECT_EQ(report->controls_accepted, 0u);
    EXPECT_EQ(report->exit_code, 0u);
    EXPECT_EQ(report->check_point, 4u);
  }
}

TEST(KeepAliveSession, ServicesSessionAndNoneServeNoUser) {
  struct Case {
    uint32_t id;
    bool no_user;
  } cases[] = {{0, true}, {0xFFFFFFFFu, true}, {1, false}, {2, false}, {0xFFFFFFFEu, false}};
  for (const Case& c : cases) EXPECT_EQ(IsNoUserSession(c.id), c.no_user) << c.id;
}

}  // namespace
}  // namespace keepalive
