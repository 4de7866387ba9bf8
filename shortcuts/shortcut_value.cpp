#include "shortcuts/shortcut_value.h"

#include <array>
#include <optional>
#include <utility>

namespace larkspur {
namespace {

constexpr int BackspaceKey = 51;
constexpr int TabKey = 48;
constexpr ShortcutValue ModifierMask = 0xF0000;
constexpr ShortcutValue ShiftBit = 0x10000;
constexpr ShortcutValue ControlBit = 0x20000;
constexpr ShortcutValue OptionBit = 0x40000;
constexpr ShortcutValue CommandBit = 0x80000;

// Number-row keys by virtual key code: the digit is stored whatever the
// shifted key typed, so Shift+1 stays "1" rather than becoming "!".
constexpr std::array<std::pair<int, char16_t>, 10> NumberRow{{
    {18, u'1'}, {19, u'2'}, {20, u'3'}, {21, u'4'}, {23, u'5'},
    {22, u'6'}, {26, u'7'}, {28, u'8'}, {25, u'9'}, {29, u'0'},
}};

constexpr std::array<int, 12> FunctionKeys{122, 120, 99, 118, 96, 97, 98, 100, 101, 109, 103, 111};

constexpr std::array<std::pair<int, int>, 8> NavigationKeys{{
    {115, 1}, {119, 4}, {116, 11}, {121, 12}, {123, 28}, {124, 29}, {125, 31}, {126, 30},
}};

struct KeyName {
  int code;
  const char16_t* name;
};

constexpr std::array<KeyName, 27> KeyNames{{
    {1, u"↖"},     {4, u"↘"},    {5, u"Insert"}, {8, u"⌫"},    {9, u"Tab"},  {11, u"⇞"},
    {12, u"⇟"},    {13, u"↩"},   {27, u"⎋"},     {28, u"←"},   {29, u"→"},   {30, u"↑"},
    {31, u"↓"},    {32, u"Space"}, {127, u"⌦"},  {378, u"F1"}, {376, u"F2"}, {355, u"F3"},
    {374, u"F4"},  {352, u"F5"}, {353, u"F6"},   {354, u"F7"}, {356, u"F8"}, {357, u"F9"},
    {365, u"F10"}, {359, u"F11"}, {367, u"F12"},
}};

// The key code decided by the virtual key alone, if that key is one of the
// keys whose code does not depend on what it typed.
std::optional<int> codeOfVirtualKey(int virtualKeyCode) {
  for (auto [key, digit] : NumberRow)
    if (key == virtualKeyCode) return digit;
  if (virtualKeyCode == TabKey) return 9;
  for (int key : FunctionKeys)
    if (key == virtualKeyCode) return 256 + key;
  for (auto [key, code] : NavigationKeys)
    if (key == virtualKeyCode) return code;
  return std::nullopt;
}

// 0 where the character cannot be represented.
int codeOfCharacter(char16_t character) {
  if (character == 0 || character > 126) return 0;
  if (character >= u'A' && character <= u'Z') return character - u'A' + u'a';
  return character;
}

void appendKeyName(Text& out, int code) {
  if (code >= 97 && code <= 122) {
    out.push_back(static_cast<char16_t>(code - 'a' + 'A'));
  } else if (code >= 33 && code <= 126) {
    out.push_back(static_cast<char16_t>(code));
  } else {
    for (const KeyName& k : KeyNames)
      if (k.code == code) out += k.name;
  }
}

}  // namespace

ShortcutValue MapToShortcut(std::uint32_t modifierFlags, int virtualKeyCode, char16_t character) {
  if (virtualKeyCode == BackspaceKey) return 0;
  std::optional<int> code = codeOfVirtualKey(virtualKeyCode);
  if (!code) code = codeOfCharacter(character);
  if (*code == 0) return 0;
  return *code | static_cast<ShortcutValue>((modifierFlags >> 1) & ModifierMask);
}

Text ShortcutText(ShortcutValue value) {
  Text out;
  if (value & ControlBit) out += u"⌃";
  if (value & OptionBit) out += u"⌥";
  if (value & ShiftBit) out += u"⇧";
  if (value & CommandBit) out += u"⌘";
  appendKeyName(out, value & 0xFFFF);
  return out;
}

}  // namespace larkspur
