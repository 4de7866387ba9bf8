// The two modal windows of the running program, found and driven as X
// windows.
#include "e2e_fixture.h"

namespace larkspur::test {
namespace {

TEST_F(EndToEnd, TrackDetailsWindowOpensFromTheArtworkAndClosesOnATrackChange) {
  program->presetSettings({{"Val31", std::string("\u2303\u2325N")}});
  ASSERT_TRUE(program->start());
  ASSERT_TRUE(program->waitForLabel(kFirstTitle)) << program->label();
  ASSERT_TRUE(program->waitFor([&] {
    auto entries = program->entries();
    return !entries.empty() && entries[0].hasImage;
  }));
  ASSERT_TRUE(program->click(program->entries()[0].dbusId));
  ASSERT_TRUE(program->waitFor([&] { return !program->windowsNamed("Current Track Details").empty(); },
                               10000));
  // While it is up, only the transport entries and Quit stay available.
  EXPECT_TRUE(program->waitFor([&] {
    auto entries = program->entries();
    if (entries.size() != 14) return false;
    for (std::size_t i = 0; i < entries.size(); ++i)
      if (entries[i].enabled != (i >= 1 && i <= 3) && i != 13) return false;
    return entries[13].enabled;
  }));

  ASSERT_TRUE(program->pressKeys("ctrl+alt+n"));
  EXPECT_TRUE(program->waitFor([&] { return program->windowsNamed("Current Track Details").empty(); },
                               5000));
  EXPECT_TRUE(program->waitForLabel(kSecondTitle)) << program->label();
  EXPECT_TRUE(program->waitFor([&] {
    auto entries = program->entries();
    return !entries.empty() && entries[0].enabled;
  }));
  EXPECT_TRUE(program->running(program->pid()));
}

TEST_F(EndToEnd, ShortcutsWindowSavesWhatWasTypedAndTheSuccessorGrabsIt) {
  ASSERT_TRUE(program->start());
  ASSERT_TRUE(program->waitForLabel(kFirstTitle)) << program->label();
  pid_t first = program->pid();
  ASSERT_TRUE(program->clickLabel("Set Keyboard Shortcuts..."));
  std::vector<std::string> windows;
  ASSERT_TRUE(program->waitFor([&] {
    windows = program->windowsNamed("Set Keyboard Shortcuts");
    return !windows.empty();
  }, 10000));
  ASSERT_TRUE(program->focusWindow(windows[0]));
  // The first field (Next) has the focus.
  ASSERT_TRUE(program->pressKeys("ctrl+alt+p"));
  ASSERT_TRUE(program->closeWindow(windows[0]));

  EXPECT_EQ(program->waitForExit(first), 0);
  auto settings = program->settings();
  ASSERT_TRUE(settings);
  EXPECT_EQ((*settings)["Val31"], SettingValue(std::string("\u2303\u2325P")));
  EXPECT_EQ((*settings)["Val33"], SettingValue(std::string()));

  ASSERT_TRUE(program->waitForSuccessor(first));
  ASSERT_TRUE(program->waitFor([&] {
    auto entries = program->entries();
    return entries.size() > 1 && entries[1].label.ends_with("\u2303\u2325P");
  })) << program->entries().at(1).label;
  int nextBefore = program->recordCount("Next");
  ASSERT_TRUE(program->pressKeys("ctrl+alt+p"));
  EXPECT_TRUE(program->waitFor([&] { return program->recordCount("Next") == nextBefore + 1; }));
  EXPECT_TRUE(program->waitForLabel(kSecondTitle)) << program->label();
}

}  // namespace
}  // namespace larkspur::test
