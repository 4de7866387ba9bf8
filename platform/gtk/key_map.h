#pragma once
// X keycodes of physical keys against the layout-independent key numbers that
// stored shortcuts use (the numbering of a US keyboard's physical keys on the
// original platform). The capture field reads one way, the hotkey grabs the
// other; the keyboard layout plays no part in either.
#include <cstdint>

namespace larkspur {

// -1 when the key has no key number (modifiers, media keys).
int virtualKeyForKeycode(unsigned keycode);

// 0 when the key number has no key on a PC keyboard.
unsigned keycodeForVirtualKey(int keyCode);

}  // namespace larkspur
