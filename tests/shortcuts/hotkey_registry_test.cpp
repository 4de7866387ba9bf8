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
  const struct {
    const char16_t* text;
    int keyCode = 0;  // 0: refused
    std::uint32_t modifiers = 0;
  } cases[] = {{u"⌘K", 40, 256}, {u"⌃⌥⇧⌘K", 40, 6912}, {u"⇧⌘+", 24, 768}, {u"⌘⎋", 53, 256}, {u"F5", 96, 0},
               {u"⎋"}, {u""}, {u"⌘←"}, {u"⌥⌘"}};  // the last two: names the grab table lacks
  for (const auto& c : cases) {
    Registry r;
    EXPECT_EQ(r.registry.add(c.text, EventNextTrack), c.keyCode != 0) << toUtf8(c.text);
    EXPECT_EQ(r.registry.records().size(), c.keyCode ? 1u : 0u) << toUtf8(c.text);
    ASSERT_EQ(r.desktop.grabs.size(), c.keyCode ? 1u : 0u) << toUtf8(c.text);
    for (const auto& [id, grab] : r.desktop.grabs)
      EXPECT_EQ(std::pair(grab.keyCode, grab.modifiers), std::pair(c.keyCode, c.modifiers)) << toUtf8(c.text);
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
