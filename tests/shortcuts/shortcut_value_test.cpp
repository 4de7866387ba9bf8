#include "shortcuts/shortcut_value.h"

#include <gtest/gtest.h>

namespace larkspur {
namespace {

constexpr std::uint32_t Cmd = FlagCommand;
constexpr std::uint32_t Shift = FlagShift;
constexpr std::uint32_t Ctrl = FlagControl;
constexpr std::uint32_t Opt = FlagOption;

struct KeyCase {
  const char* what;
  std::uint32_t flags;
  int virtualKey;
  char16_t character;
  ShortcutValue value;
  const char16_t* text;
};

void PrintTo(const KeyCase& c, std::ostream* out) { *out << c.what; }

class MapToShortcutTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(MapToShortcutTest, GivesValueAndText) {
  const KeyCase& c = GetParam();
  ShortcutValue value = MapToShortcut(c.flags, c.virtualKey, c.character);
  EXPECT_EQ(value, c.value) << c.what;
  EXPECT_EQ(ShortcutText(value), Text(c.text)) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, MapToShortcutTest,
    ::testing::Values(
        KeyCase{"shift command K", Cmd | Shift, 40, u'K', 0x9006B, u"⇧⌘K"},
        KeyCase{"control option F5", Ctrl | Opt, 96, 0xF708, 0x60160, u"⌃⌥F5"},
        // The number row is not in key order, and Shift does not turn 5 into %.
        KeyCase{"shifted digit stays a digit", Cmd | Shift, 23, u'%', 0x90035, u"⇧⌘5"},
        KeyCase{"caps lock and unknown flags dropped", Cmd | FlagCapsLock | (1u << 23) | (1u << 21), 122,
                0xF704, 0x8017A, u"⌘F1"},
        KeyCase{"= key keeps its typed +", Shift, 24, u'+', 0x1002B, u"⇧+"},
        KeyCase{"backspace clears whatever the modifiers", Cmd | Shift, 51, 0x7F, 0, u""},
        KeyCase{"F13 clears", Cmd, 105, 0xF710, 0, u""},
        KeyCase{"non-ASCII letter clears", Cmd, 41, 0xE9, 0, u""},
        KeyCase{"no character clears", Cmd, 50, 0, 0, u""},
        KeyCase{"home", Cmd, 115, 0xF729, 0x80001, u"⌘↖"}, KeyCase{"down", 0, 125, 0xF701, 31, u"↓"},
        KeyCase{"tab", 0, 48, 9, 9, u"Tab"}, KeyCase{"space", Ctrl, 49, u' ', 0x20020, u"⌃Space"},
        KeyCase{"return", 0, 36, 13, 13, u"↩"},
        KeyCase{"keypad enter has no name", Cmd, 76, 3, 0x80003, u"⌘"},
        KeyCase{"all four modifiers in fixed order", Cmd | Shift | Opt | Ctrl, 12, u'q', 0xF0071, u"⌃⌥⇧⌘Q"}));

struct TextCase {
  ShortcutValue value;
  const char16_t* text;
};

class ShortcutTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(ShortcutTextTest, RendersValuesNoKeyProduces) { EXPECT_EQ(ShortcutText(GetParam().value), Text(GetParam().text)); }

INSTANTIATE_TEST_SUITE_P(Values, ShortcutTextTest,
                         ::testing::Values(TextCase{5, u"Insert"}, TextCase{0x80008, u"⌘⌫"},
                                           TextCase{0x20000 | 126, u"⌃~"}, TextCase{0x80002, u"⌘"},
                                           TextCase{358, u""}));

TEST(ShortcutText, NeverLongerThanTenUnits) {
  for (int code = 0; code < 0x10000; ++code)
    ASSERT_LE(ShortcutText(0xF0000 | code).size(), 10u) << code;
}

}  // namespace
}  // namespace larkspur
