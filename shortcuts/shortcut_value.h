#pragma once
// A shortcut as a 32-bit value (key code in bits 0-15; Shift 0x10000,
// Control 0x20000, Option 0x40000, Command 0x80000) and as its printable text
// ("⌃⌥⇧⌘" then a key name). Only the text is stored, shown and parsed.
#include <cstdint>

#include "platform/text.h"

namespace larkspur {

using ShortcutValue = std::int32_t;

// Platform modifier flags as key events carry them.
enum ModifierFlags : std::uint32_t {
  FlagCapsLock = 1u << 16,
  FlagShift = 1u << 17,
  FlagControl = 1u << 18,
  FlagOption = 1u << 19,
  FlagCommand = 1u << 20,
};

ShortcutValue MapToShortcut(std::uint32_t modifierFlags, int virtualKeyCode, char16_t character);
Text ShortcutText(ShortcutValue value);

}  // namespace larkspur
