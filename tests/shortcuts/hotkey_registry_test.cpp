#include "shortcuts/hotkey_registry.h"

#include <gtest/gtest.h>

#include "support/fake_desktop.h"

namespace larkspur {
namespace {

class HotkeyRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    names.fill();
    ASSERT_TRUE(registry.installHandler());
  }

  std::vector<std::uint32_t> ids() const {
    std::vector<std::uint32_t> out;
    for (const auto& r : registry.records()) out.push_back(r.id);
    return out;
  }

  EventQueue queue;
  test::FakeDesktop desktop{queue};
  KeyNameTable names;
  HotkeyRegistry registry{desktop, queue, names};
};

TEST(KeyNameTable, FillingAgainDoesNotDuplicate) {
  KeyNameTable names;
  names.fill();
  const std::size_t once = names.size();
  names.fill();
  EXPECT_EQ(names.size(), once);
}

struct ParseCase {
  const char16_t* text;
  bool accepted = false;
  int keyCode = 0;
  std::uint32_t modifiers = 0;
};

void PrintTo(const ParseCase& c, std::ostream* out) { *out << toUtf8(c.text); }

class HotkeyParseTest : public HotkeyRegistryTest,
                        public ::testing::WithParamInterface<ParseCase> {};

TEST_P(HotkeyParseTest, GrabsTheNamedKey) {
  const ParseCase& c = GetParam();
  EXPECT_EQ(registry.add(c.text, EventNextTrack), c.accepted);
  if (!c.accepted) {
    EXPECT_TRUE(desktop.grabs.empty());
    EXPECT_TRUE(registry.records().empty());
    EXPECT_EQ(registry.nextId(), 1u) << "a text that does not parse consumes no id";
    return;
  }
  ASSERT_EQ(desktop.grabs.size(), 1u);
  const test::FakeGrab& grab = desktop.grabs.begin()->second;
  EXPECT_EQ(grab.keyCode, c.keyCode);
  EXPECT_EQ(grab.modifiers, c.modifiers);
  ASSERT_EQ(registry.records().size(), 1u);
  EXPECT_EQ(registry.records().front().text, Text(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, HotkeyParseTest,
    ::testing::Values(ParseCase{u"⌘K", true, 40, 256}, ParseCase{u"⌃⌥⇧⌘K", true, 40, 6912},
                      ParseCase{u"⇧⌘+", true, 24, 768}, ParseCase{u"⇧⌘\"", true, 39, 768},
                      ParseCase{u"⌘⎋", true, 53, 256}, ParseCase{u"⌘↩", true, 36, 256},
                      ParseCase{u"⌘A⎋", true, 53, 256}, ParseCase{u"⌘⌘K", true, 40, 512},
                      ParseCase{u"F5", true, 96, 0}, ParseCase{u"⎋"}, ParseCase{u""}, ParseCase{u"⌘a"},
                      // Names the shortcut text shows but the grab table lacks.
                      ParseCase{u"⌘←"}, ParseCase{u"⌘⌫"}, ParseCase{u"⌥⌘Insert"}, ParseCase{u"⌥⌘"},
                      ParseCase{u"⌘F1x"}, ParseCase{u"⌘↩A"}));

TEST(HotkeyRegistryInstall, NothingRegistersBeforeTheHandler) {
  EventQueue queue;
  test::FakeDesktop desktop{queue};
  KeyNameTable names;
  names.fill();
  HotkeyRegistry registry{desktop, queue, names};
  EXPECT_FALSE(registry.add(u"⌘K", EventNextTrack));
  desktop.handlerInstallFails = true;
  EXPECT_FALSE(registry.installHandler());
  EXPECT_FALSE(registry.add(u"⌘K", EventNextTrack));
  EXPECT_TRUE(desktop.grabs.empty());
}

TEST_F(HotkeyRegistryTest, RefusedGrabStillConsumesItsId) {
  desktop.refusedGrabs.insert({40, 256});
  EXPECT_TRUE(registry.add(u"⌘J", EventNextTrack));
  EXPECT_FALSE(registry.add(u"⌘K", EventPreviousTrack));
  EXPECT_TRUE(registry.add(u"⌘L", EventPlayPause));
  // The same combination twice: the desktop refuses the second grab.
  EXPECT_FALSE(registry.add(u"⌘L", EventShuffle));
  EXPECT_TRUE(registry.add(u"⌘M", EventShuffle));
  EXPECT_EQ(ids(), (std::vector<std::uint32_t>{1, 3, 5}));
  EXPECT_EQ(registry.nextId(), 6u);
  EXPECT_EQ(registry.records().back().signature, 0x68303035u);
}

TEST_F(HotkeyRegistryTest, RemoveByCodeOrByTextTakesOnlyThose) {
  registry.add(u"⌘K", EventNextTrack);
  registry.add(u"⌘J", EventPreviousTrack);
  registry.add(u"⌘L", EventNextTrack);
  registry.add(u"⌘M", EventShuffle);
  registry.remove(u"", EventNextTrack);
  EXPECT_EQ(ids(), (std::vector<std::uint32_t>{2, 4}));
  registry.remove(u"⌘M", 0);
  EXPECT_EQ(ids(), (std::vector<std::uint32_t>{2}));
  ASSERT_EQ(desktop.grabs.size(), 1u);
  EXPECT_EQ(desktop.grabs.begin()->second.keyCode, 38);
}

TEST_F(HotkeyRegistryTest, RemoveStopsAtTheFirstFailedRelease) {
  registry.add(u"⌘K", EventNextTrack);
  registry.add(u"⌘J", EventNextTrack);
  registry.add(u"⌘L", EventNextTrack);
  HotkeyPort::HotkeyRef second = std::next(registry.records().begin())->hotkeyRef;
  desktop.failingReleases.insert(second);
  desktop.log.clear();
  registry.remove(u"", EventNextTrack);
  EXPECT_EQ(ids(), (std::vector<std::uint32_t>{2, 3}));
  EXPECT_EQ(desktop.log, (std::vector<std::string>{"release 1", "release 2"}));
  EXPECT_EQ(desktop.grabs.size(), 2u);
}

TEST_F(HotkeyRegistryTest, PressPostsItsRecordsEventAfterEarlierRecordsAreRemoved) {
  registry.add(u"⌘J", EventPreviousTrack);
  registry.add(u"⇧⌘K", EventTrackDetails);
  registry.remove(u"⌘J", 0);
  registry.add(u"⌘J", EventShuffle);
  desktop.pressHotkey(40, 768);
  ASSERT_EQ(queue.wait(-1), EventTrackDetails);
  EXPECT_EQ(queue.currentWindow(), NotGiven);
  EXPECT_EQ(queue.currentObject(), NotGiven);
  EXPECT_EQ(queue.currentSubtype(), NotGiven);
  desktop.pressHotkey(38, 256);
  EXPECT_EQ(queue.wait(-1), EventShuffle);
}

TEST_F(HotkeyRegistryTest, IdentityOfNoRecordPostsNothing) {
  registry.add(u"⌘K", EventNextTrack);
  std::uint64_t signature = registry.records().front().signature;
  std::uint64_t id = registry.records().front().id;
  // The id alone or the signature alone must not match.
  EXPECT_EQ(registry.onHotkeyPressed(id), 0);
  EXPECT_EQ(registry.onHotkeyPressed(signature << 32), 0);
  registry.remove(u"⌘K", 0);
  EXPECT_EQ(registry.onHotkeyPressed((signature << 32) | id), 0);
  EXPECT_EQ(queue.size(), 0u);
}

}  // namespace
}  // namespace larkspur
