#include "shortcuts/hotkey_registry.h"

#include <gtest/gtest.h>

#include "support/fake_desktop.h"

namespace larkspur {
namespace {

using Ids = std::vector<std::uint32_t>;

struct Registry {
  Registry() {
    names.fill();
    EXPECT_TRUE(registry.installHandler());
  }
  Ids ids() const {
    Ids out;
    for (const auto& r : registry.records()) out.push_back(r.id);
    return out;
  }
  EventQueue queue;
  test::FakeDesktop desktop{queue};
  KeyNameTable names;
  HotkeyRegistry registry{desktop, queue, names};
};

TEST(HotkeyRegistry, GrabsTheNamedKeyAndNothingForATextThatDoesNotParse) {
  // Text, then the grab's key code (0: refused) and modifiers; the last two name keys the grab table lacks.
  const std::tuple<const char16_t*, int, std::uint32_t> cases[] = {
      {u"⌘K", 40, 256}, {u"⌃⌥⇧⌘K", 40, 6912}, {u"⇧⌘+", 24, 768}, {u"⌘⎋", 53, 256}, {u"F5", 96, 0},
      {u"⎋", 0, 0},     {u"", 0, 0},          {u"⌘←", 0, 0},    {u"⌥⌘", 0, 0}};
  for (const auto& [text, keyCode, modifiers] : cases) {
    Registry r;
    EXPECT_EQ(r.registry.add(text, EventNextTrack), keyCode != 0) << toUtf8(text);
    EXPECT_EQ(r.registry.records().size(), keyCode ? 1u : 0u) << toUtf8(text);
    ASSERT_EQ(r.desktop.grabs.size(), keyCode ? 1u : 0u) << toUtf8(text);
    for (const auto& [id, grab] : r.desktop.grabs)
      EXPECT_EQ(std::pair(grab.keyCode, grab.modifiers), std::pair(keyCode, modifiers)) << toUtf8(text);
  }
}

TEST(HotkeyRegistry, RemoveByCodeOrByTextTakesOnlyThoseAndAPressPostsOnlyALiveRecordsEvent) {
  Registry r;
  for (auto [text, code] : {std::pair{u"⌘K", EventNextTrack}, {u"⌘J", EventPreviousTrack}, {u"⌘L", EventNextTrack},
                            {u"⌘M", EventShuffle}, {u"⌘N", EventNextTrack}, {u"⌘B", EventNextTrack}})
    r.registry.add(text, code);
  r.registry.remove(u"", EventNextTrack);
  EXPECT_EQ(r.ids(), (Ids{2, 4}));
  r.registry.remove(u"⌘M", 0);
  EXPECT_EQ(r.ids(), (Ids{2}));
  EXPECT_EQ(r.desktop.grabs.size() == 1 ? r.desktop.grabs.begin()->second.keyCode : 0, 38);
  // Only the whole identity of a live record posts, with no window, object or subtype.
  r.registry.add(u"⇧⌘K", EventTrackDetails);
  r.registry.remove(u"⌘J", 0);
  r.registry.add(u"⌘J", EventShuffle);
  r.desktop.pressHotkey(40, 768);
  ASSERT_EQ(r.queue.wait(-1), EventTrackDetails);
  EXPECT_EQ(std::tuple(r.queue.currentWindow(), r.queue.currentObject(), r.queue.currentSubtype()),
            std::tuple(NotGiven, NotGiven, NotGiven));
  r.desktop.pressHotkey(38, 256);
  EXPECT_EQ(r.queue.wait(-1), EventShuffle);
}

}  // namespace
}  // namespace larkspur
