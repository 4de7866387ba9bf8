#include "shortcuts/shortcut_field.h"

#include <gtest/gtest.h>

#include "support/fake_desktop.h"

namespace larkspur {
namespace {

// Records where the insertion point was put back, which the plain fake drops.
class SelectionDesktop : public test::FakeDesktop {
 public:
  using FakeDesktop::FakeDesktop;
  void resetSelection(std::int64_t window, std::int64_t controlId) override {
    resets.emplace_back(window, controlId);
  }
  std::vector<std::pair<std::int64_t, std::int64_t>> resets;
};

constexpr std::int64_t Window = 5;

class ShortcutFieldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(windows.open(Window, 0, 0, 400, 300, u"Shortcuts", WindowCloseButton));
    id = field.create(0, 10, 20, 120, 24, 0x9006B);
    ASSERT_GT(id, 0);
  }

  // Types one key as the user would and lets the queue dispatch it.
  void type(std::uint32_t flags, int virtualKey, char16_t character, std::int64_t focused) {
    desktop.typeKey(KeyEvent{flags, virtualKey, character, Window, focused});
    EXPECT_EQ(queue.wait(-1), -1) << "the field emits no events";
  }

  Text shown(std::int64_t control) const { return desktop.control(Window, control)->text; }

  EventQueue queue;
  SelectionDesktop desktop{queue};
  WindowTable windows{desktop, desktop, queue};
  ShortcutField field{windows, queue};
  std::int64_t id = 0;
};

TEST_F(ShortcutFieldTest, FocusedKeyBecomesTheShortcutAndIsNotTyped) {
  type(FlagCommand, 9, u'v', id);
  EXPECT_EQ(field.value(), 0x80076);
  EXPECT_EQ(shown(id), u"⌘V");
  EXPECT_EQ(desktop.resets, (decltype(desktop.resets){{Window, id}}));
}

// Keys for another field, for no control, or after the field is gone.
TEST_F(ShortcutFieldTest, KeysNotForTheLiveFieldLeaveItAlone) {
  ShortcutField other{windows, queue};
  std::int64_t otherId = other.create(0, 10, 60, 120, 24, 0);
  type(FlagOption, 45, u'n', otherId);
  EXPECT_EQ(other.text(), u"⌥N");
  type(0, 0, u'a', -1);
  EXPECT_EQ(field.value(), 0x9006B);
  EXPECT_EQ(shown(id), u"⇧⌘K");
  field.destroy();
  EXPECT_EQ(desktop.control(Window, id), nullptr);
  type(FlagCommand, 9, u'v', id);
  EXPECT_EQ(field.value(), 0x9006B);
}

TEST_F(ShortcutFieldTest, FieldOutlivingItsWindowLeavesTheNextWindowsControlAlone) {
  windows.close(Window);
  ASSERT_TRUE(windows.open(Window + 1, 0, 0, 400, 300, u"Other", 0));
  ControlSpec label;
  label.text = u"keep";
  ASSERT_EQ(windows.addControl(label, id), id);
  desktop.typeKey(KeyEvent{FlagCommand, 9, u'v', Window + 1, id});
  queue.wait(-1);
  field.destroy();
  ASSERT_NE(desktop.control(Window + 1, id), nullptr);
  EXPECT_EQ(desktop.control(Window + 1, id)->text, u"keep");
}

}  // namespace
}  // namespace larkspur
