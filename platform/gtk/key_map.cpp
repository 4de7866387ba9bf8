#include "platform/gtk/key_map.h"

#include <gdk/gdkkeysyms.h>


namespace larkspur {
namespace {

struct KeyPair {
  int code;
  std::uint32_t keysym;
};

// The first row for a key number is the keysym a grab uses; later rows for the
// same number are other keysyms that the same physical key may produce.
constexpr KeyPair kKeys[] = {
    {0, GDK_KEY_a},          {1, GDK_KEY_s},
    {2, GDK_KEY_d},          {3, GDK_KEY_f},
    {4, GDK_KEY_h},          {5, GDK_KEY_g},
    {6, GDK_KEY_z},          {7, GDK_KEY_x},
    {8, GDK_KEY_c},          {9, GDK_KEY_v},
    {11, GDK_KEY_b},         {12, GDK_KEY_q},
    {13, GDK_KEY_w},         {14, GDK_KEY_e},
    {15, GDK_KEY_r},         {16, GDK_KEY_y},
    {17, GDK_KEY_t},         {18, GDK_KEY_1},
    {19, GDK_KEY_2},         {20, GDK_KEY_3},
    {21, GDK_KEY_4},         {22, GDK_KEY_6},
    {23, GDK_KEY_5},         {24, GDK_KEY_equal},
    {25, GDK_KEY_9},         {26, GDK_KEY_7},
    {27, GDK_KEY_minus},     {28, GDK_KEY_8},
    {29, GDK_KEY_0},         {30, GDK_KEY_bracketright},
    {31, GDK_KEY_o},         {32, GDK_KEY_u},
    {33, GDK_KEY_bracketleft}, {34, GDK_KEY_i},
    {35, GDK_KEY_p},         {36, GDK_KEY_Return},
    {37, GDK_KEY_l},         {38, GDK_KEY_j},
    {39, GDK_KEY_apostrophe}, {40, GDK_KEY_k},
    {41, GDK_KEY_semicolon}, {42, GDK_KEY_backslash},
    {43, GDK_KEY_comma},     {44, GDK_KEY_slash},
    {45, GDK_KEY_n},         {46, GDK_KEY_m},
    {47, GDK_KEY_period},    {48, GDK_KEY_Tab},
    {48, GDK_KEY_ISO_Left_Tab},
    {49, GDK_KEY_space},     {50, GDK_KEY_grave},
    {51, GDK_KEY_BackSpace}, {53, GDK_KEY_Escape},
    {64, GDK_KEY_F17},       {65, GDK_KEY_KP_Decimal},
    {65, GDK_KEY_KP_Delete}, {67, GDK_KEY_KP_Multiply},
    {69, GDK_KEY_KP_Add},    {71, GDK_KEY_Clear},
    {75, GDK_KEY_KP_Divide}, {76, GDK_KEY_KP_Enter},
    {78, GDK_KEY_KP_Subtract}, {79, GDK_KEY_F18},
    {80, GDK_KEY_F19},       {81, GDK_KEY_KP_Equal},
    {82, GDK_KEY_KP_0},      {82, GDK_KEY_KP_Insert},
    {83, GDK_KEY_KP_1},      {83, GDK_KEY_KP_End},
    {84, GDK_KEY_KP_2},      {84, GDK_KEY_KP_Down},
    {85, GDK_KEY_KP_3},      {85, GDK_KEY_KP_Page_Down},
    {86, GDK_KEY_KP_4},      {86, GDK_KEY_KP_Left},
    {87, GDK_KEY_KP_5},      {87, GDK_KEY_KP_Begin},
    {88, GDK_KEY_KP_6},      {88, GDK_KEY_KP_Right},
    {89, GDK_KEY_KP_7},      {89, GDK_KEY_KP_Home},
    {90, GDK_KEY_F20},       {91, GDK_KEY_KP_8},
    {91, GDK_KEY_KP_Up},     {92, GDK_KEY_KP_9},
    {92, GDK_KEY_KP_Page_Up}, {96, GDK_KEY_F5},
    {97, GDK_KEY_F6},        {98, GDK_KEY_F7},
    {99, GDK_KEY_F3},        {100, GDK_KEY_F8},
    {101, GDK_KEY_F9},       {103, GDK_KEY_F11},
    {105, GDK_KEY_F13},      {106, GDK_KEY_F16},
    {107, GDK_KEY_F14},      {109, GDK_KEY_F10},
    {111, GDK_KEY_F12},      {113, GDK_KEY_F15},
    // PC keyboards have Insert where the original keyboard had Help.
    {114, GDK_KEY_Insert},   {114, GDK_KEY_Help},
    {115, GDK_KEY_Home},     {116, GDK_KEY_Prior},
    {117, GDK_KEY_Delete},   {118, GDK_KEY_F4},
    {119, GDK_KEY_End},      {120, GDK_KEY_F2},
    {121, GDK_KEY_Next},     {122, GDK_KEY_F1},
    {123, GDK_KEY_Left},     {124, GDK_KEY_Right},
    {125, GDK_KEY_Down},     {126, GDK_KEY_Up},
};

std::uint32_t lowerLatin(std::uint32_t keysym) {
  if (keysym >= GDK_KEY_A && keysym <= GDK_KEY_Z) return keysym - GDK_KEY_A + GDK_KEY_a;
  return keysym;
}

}  // namespace

int virtualKeyForKeysym(std::uint32_t keysym) {
  keysym = lowerLatin(keysym);
  for (const auto& k : kKeys)
    if (k.keysym == keysym) return k.code;
  return -1;
}

std::uint32_t keysymForVirtualKey(int keyCode) {
  for (const auto& k : kKeys)
    if (k.code == keyCode) return k.keysym;
  return 0;
}

}  // namespace larkspur
