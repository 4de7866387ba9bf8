#pragma once
// X keysyms against the layout-independent key numbers that stored shortcuts
// use (the numbering of a US keyboard's physical keys on the original
// platform). The capture field reads one way, the hotkey grabs the other.
#include <cstdint>

namespace larkspur {

// -1 when the keysym has no key number. Letters match in either case.
int virtualKeyForKeysym(std::uint32_t keysym);

// 0 when the key number has no keysym here. Letters come back lower-case,
// which is what a grab without Shift processing needs.
std::uint32_t keysymForVirtualKey(int keyCode);

}  // namespace larkspur
