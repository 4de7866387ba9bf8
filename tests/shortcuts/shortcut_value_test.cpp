#include "shortcuts/shortcut_value.h"

#include <gtest/gtest.h>

namespace larkspur {
namespace {

constexpr std::uint32_t Cmd = FlagCommand, Shift = FlagShift, Ctrl = FlagControl, Opt = FlagOption;

TEST(ShortcutValue, KeysGiveValueAndText) {
  const std::tuple<std::uint32_t, int, char16_t, ShortcutValue, const char16_t*> cases[] = {  // flags, key, char: value, text
      {Cmd | Shift, 40, u'K', 0x9006B, u"⇧⌘K"}, {Ctrl | Opt, 96, 0xF708, 0x60160, u"⌃⌥F5"},
      // The number row is not in key order, and Shift does not turn 5 into %.
      {Cmd | Shift, 23, u'%', 0x90035, u"⇧⌘5"},
      // Caps lock and unknown flags are dropped.
      {Cmd | FlagCapsLock | (1u << 23) | (1u << 21), 122, 0xF704, 0x8017A, u"⌘F1"},
      // Backspace whatever the modifiers, and a non-ASCII letter, clear.
      {Cmd | Shift, 51, 0x7F, 0, u""}, {Cmd, 41, 0xE9, 0, u""}, {0, 125, 0xF701, 31, u"↓"},
      {Cmd | Shift | Opt | Ctrl, 12, u'q', 0xF0071, u"⌃⌥⇧⌘Q"}};
  for (const auto& [flags, virtualKey, character, value, text] : cases) {
    EXPECT_EQ(MapToShortcut(flags, virtualKey, character), value) << toUtf8(text);
    EXPECT_EQ(ShortcutText(value), Text(text));
  }
  // Values no key produces.
  for (auto [value, text] : {std::pair{5, u"Insert"}, {0x80008, u"⌘⌫"}, {358, u""}})
    EXPECT_EQ(ShortcutText(value), Text(text));
  for (int code = 0; code < 0x10000; ++code) ASSERT_LE(ShortcutText(0xF0000 | code).size(), 10u) << code;
}

}  // namespace
}  // namespace larkspur
