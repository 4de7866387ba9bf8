#include "platform/gtk/key_map.h"

namespace larkspur {
namespace {

struct KeyPair {
  unsigned keycode;  // the kernel's evdev code plus 8, as the X server numbers keys
  int code;
};

// The first row for a key number is the key a grab uses.
constexpr KeyPair kKeys[] = {
    // Letters, by their place on a US keyboard.
    {38, 0}, {39, 1}, {40, 2}, {41, 3}, {43, 4}, {42, 5}, {52, 6}, {53, 7}, {54, 8}, {55, 9},
    {56, 11}, {24, 12}, {25, 13}, {26, 14}, {27, 15}, {29, 16}, {28, 17}, {32, 31}, {30, 32},
    {31, 34}, {33, 35}, {46, 37}, {44, 38}, {45, 40}, {57, 45}, {58, 46},
    // The number row, then punctuation.
    {10, 18}, {11, 19}, {12, 20}, {13, 21}, {14, 23}, {15, 22}, {16, 26}, {17, 28}, {18, 25},
    {19, 29}, {20, 27}, {21, 24}, {35, 30}, {34, 33}, {48, 39}, {47, 41}, {51, 42}, {59, 43},
    {61, 44}, {60, 47}, {49, 50},
    // The ISO key beside the left Shift stands where the original's § key was.
    {94, 10},
    {36, 36}, {23, 48}, {65, 49}, {22, 51}, {9, 53}, {66, 57},
    // Function keys.
    {67, 122}, {68, 120}, {69, 99}, {70, 118}, {71, 96}, {72, 97}, {73, 98}, {74, 100},
    {75, 101}, {76, 109}, {95, 103}, {96, 111}, {191, 105}, {192, 107}, {193, 113}, {194, 106},
    {195, 64}, {196, 79}, {197, 80}, {198, 90},
    // The keypad. Clear sat where PC keyboards have Num Lock.
    {90, 82}, {87, 83}, {88, 84}, {89, 85}, {83, 86}, {84, 87}, {85, 88}, {79, 89}, {80, 91},
    {81, 92}, {91, 65}, {63, 67}, {86, 69}, {106, 75}, {104, 76}, {82, 78}, {125, 81}, {77, 71},
    // Navigation. PC keyboards have Insert where the original keyboard had Help.
    {118, 114}, {146, 114}, {110, 115}, {112, 116}, {119, 117}, {115, 119}, {117, 121},
    {113, 123}, {114, 124}, {116, 125}, {111, 126},
};

}  // namespace

int virtualKeyForKeycode(unsigned keycode) {
  for (const auto& k : kKeys)
    if (k.keycode == keycode) return k.code;
  return -1;
}

unsigned keycodeForVirtualKey(int keyCode) {
  for (const auto& k : kKeys)
    if (k.code == keyCode) return k.keycode;
  return 0;
}

}  // namespace larkspur
