#include "shortcuts/shortcut_field.h"

#include <gtest/gtest.h>

#include "support/fake_desktop.h"

namespace larkspur {
namespace {

constexpr std::int64_t Window = 5;

// Keys for the field, for another field, for no control, and after the field
// is gone.
TEST(ShortcutField, OnlyKeysForTheLiveFieldBecomeItsShortcutAndAreNotTyped) {
  EventQueue queue;
  test::FakeDesktop desktop{queue};
  WindowTable windows{desktop, desktop, queue};
  ShortcutField field{windows, queue}, other{windows, queue};
  ASSERT_TRUE(windows.open(Window, 0, 0, 400, 300, u"Shortcuts", WindowCloseButton));
  const std::int64_t id = field.create(0, 10, 20, 120, 24, 0x9006B), otherId = other.create(0, 10, 60, 120, 24, 0);
  auto type = [&](std::uint32_t flags, int virtualKey, char16_t character, std::int64_t window, std::int64_t focused) {
    desktop.typeKey(KeyEvent{flags, virtualKey, character, window, focused});
    EXPECT_EQ(queue.wait(-1), -1) << "the field emits no events";
  };
  type(FlagOption, 45, u'n', Window, otherId);
  EXPECT_EQ(other.text(), u"⌥N");
  type(0, 0, u'a', Window, -1);
  EXPECT_EQ(desktop.control(Window, id)->text, u"⇧⌘K");
  type(FlagCommand, 9, u'v', Window, id);
  EXPECT_EQ(std::pair(field.value(), desktop.control(Window, id)->text), std::pair(ShortcutValue(0x80076), Text(u"⌘V")));
  EXPECT_EQ(desktop.selectionResets, (decltype(desktop.selectionResets){{Window, otherId}, {Window, id}}));

  other.destroy();
  EXPECT_EQ(desktop.control(Window, otherId), nullptr);
  type(FlagCommand, 11, u'b', Window, otherId);
  EXPECT_EQ(other.value(), 0x4006E);
}

}  // namespace
}  // namespace larkspur
