#include "shortcuts/hotkey_registry.h"

namespace larkspur {
namespace {

constexpr std::uint32_t SignatureBase = 0x68303030;

constexpr std::uint32_t ControlMask = 4096;
constexpr std::uint32_t OptionMask = 2048;
constexpr std::uint32_t ShiftMask = 512;
constexpr std::uint32_t CommandMask = 256;

struct KeyEntry {
  const char16_t* name;
  int keyCode;
};

// Letters upper case only; a shifted symbol names the key that types it on a
// US keyboard, so "+" grabs the "=" key (the text carries the Shift).
constexpr KeyEntry KeyEntries[] = {
    {u"A", 0},       {u"S", 1},      {u"D", 2},       {u"F", 3},       {u"H", 4},
    {u"G", 5},       {u"Z", 6},      {u"X", 7},       {u"C", 8},       {u"V", 9},
    {u"§", 10},      {u"±", 10},     {u"B", 11},      {u"Q", 12},      {u"W", 13},
    {u"E", 14},      {u"R", 15},     {u"Y", 16},      {u"T", 17},      {u"1", 18},
    {u"!", 18},      {u"2", 19},     {u"@", 19},      {u"3", 20},      {u"#", 20},
    {u"4", 21},      {u"$", 21},     {u"6", 22},      {u"^", 22},      {u"5", 23},
    {u"%", 23},      {u"=", 24},     {u"+", 24},      {u"9", 25},      {u"(", 25},
    {u"7", 26},      {u"&", 26},     {u"-", 27},      {u"_", 27},      {u"8", 28},
    {u"*", 28},      {u"0", 29},     {u")", 29},      {u"]", 30},      {u"}", 30},
    {u"O", 31},      {u"U", 32},     {u"[", 33},      {u"{", 33},      {u"I", 34},
    {u"P", 35},      {u"Return", 36}, {u"L", 37},     {u"J", 38},      {u"'", 39},
    {u"\"", 39},     {u"K", 40},     {u";", 41},      {u":", 41},      {u"\\", 42},
    {u"|", 42},      {u",", 43},     {u"<", 43},      {u"/", 44},      {u"?", 44},
    {u"N", 45},      {u"M", 46},     {u".", 47},      {u">", 47},      {u"Tab", 48},
    {u"Space", 49},  {u"`", 50},     {u"~", 50},      {u"Del", 51},    {u"Esc", 53},
    {u"CAPS", 57},   {u"F1", 122},   {u"F2", 120},    {u"F3", 99},     {u"F4", 118},
    {u"F5", 96},     {u"F6", 97},    {u"F7", 98},     {u"F8", 100},    {u"F9", 101},
    {u"F10", 109},   {u"F11", 103},  {u"F12", 111},   {u"F13", 105},   {u"F14", 107},
    {u"F15", 113},   {u"F16", 106},  {u"F17", 64},    {u"F18", 79},    {u"F19", 80},
    {u"F20", 90},    {u"Home", 115}, {u"End", 119},   {u"PgUp", 116},  {u"PgDown", 121},
    {u"Clear", 71},
};

struct ParsedShortcut {
  int keyCode = 0;
  std::uint32_t modifiers = 0;
};

// Modifier symbols are summed, not or-ed: a doubled symbol counts twice, so
// ⌘⌘ reaches the Shift mask. Stored texts depend on this reading.
std::optional<ParsedShortcut> parse(TextView text, const KeyNameTable& names) {
  ParsedShortcut parsed;
  Text keyName;
  for (char16_t unit : text) {
    switch (unit) {
      case u'⌃': parsed.modifiers += ControlMask; break;
      case u'⌥': parsed.modifiers += OptionMask; break;
      case u'⇧': parsed.modifiers += ShiftMask; break;
      case u'⌘': parsed.modifiers += CommandMask; break;
      case u'⎋': keyName = u"Esc"; break;
      case u'↩': keyName = u"Return"; break;
      default: keyName.push_back(unit); break;
    }
  }
  if (keyName.empty()) return std::nullopt;
  std::optional<int> keyCode = names.find(keyName);
  if (!keyCode) return std::nullopt;
  parsed.keyCode = *keyCode;
  return parsed;
}

// The platform hands the identity back when the hotkey fires; it carries the
// (signature, id) pair by value so that no record address escapes.
HotkeyPort::Identity identityOf(const HotkeyRecord& record) {
  return (static_cast<HotkeyPort::Identity>(record.signature) << 32) | record.id;
}

}  // namespace

void KeyNameTable::fill() {
  entries_.clear();
  for (const KeyEntry& e : KeyEntries) entries_.emplace_back(Text(e.name), e.keyCode);
}

std::optional<int> KeyNameTable::find(TextView name) const {
  for (const auto& [key, code] : entries_)
    if (key == name) return code;
  return std::nullopt;
}

std::size_t KeyNameTable::size() const { return entries_.size(); }

void HotkeyRegistry::reset() {
  records_.clear();
  installed_ = false;
  nextId_ = 1;
}

bool HotkeyRegistry::installHandler() {
  installed_ = port_.installHotkeyHandler(
      [this](HotkeyPort::Identity identity) { onHotkeyPressed(identity); });
  return installed_;
}

bool HotkeyRegistry::add(TextView text, std::int64_t eventCode) {
  if (!installed_ || text.size() < 2) return false;
  std::optional<ParsedShortcut> parsed = parse(text, names_);
  if (!parsed) return false;

  HotkeyRecord& record = records_.emplace_back();
  record.text = Text(text);
  record.eventCode = eventCode;
  record.id = nextId_++;
  record.signature = SignatureBase + record.id;
  std::optional<HotkeyPort::HotkeyRef> ref =
      port_.registerHotkey(parsed->keyCode, parsed->modifiers, identityOf(record), eventCode);
  if (!ref) {
    // The id stays consumed: ids are never handed out twice.
    records_.pop_back();
    return false;
  }
  record.hotkeyRef = *ref;
  return true;
}

void HotkeyRegistry::remove(TextView text, std::int64_t eventCode) {
  if (!installed_) return;
  for (auto it = records_.begin(); it != records_.end();) {
    if (it->text != text && it->eventCode != eventCode) {
      ++it;
      continue;
    }
    // A record is only forgotten once the platform let go of its grab;
    // otherwise the grab would fire with nobody to answer it.
    if (!port_.unregisterHotkey(it->hotkeyRef)) return;
    it = records_.erase(it);
  }
}

int HotkeyRegistry::onHotkeyPressed(HotkeyPort::Identity identity) {
  auto signature = static_cast<std::uint32_t>(identity >> 32);
  auto id = static_cast<std::uint32_t>(identity & 0xFFFFFFFFu);
  for (const HotkeyRecord& record : records_) {
    if (record.id == id && record.signature == signature) {
      queue_.post(static_cast<std::int32_t>(record.eventCode), record.window, record.object,
                  record.subtype, record.data);
      break;
    }
  }
  return 0;
}

}  // namespace larkspur
