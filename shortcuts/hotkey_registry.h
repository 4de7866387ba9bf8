#pragma once
// System-wide hotkeys from shortcut texts; a pressed hotkey posts its event.
#include <cstdint>
#include <list>
#include <optional>

#include "platform/event_queue.h"
#include "platform/ports.h"
#include "platform/text.h"

namespace larkspur {

// Key names of shortcut texts to layout-independent key codes.
class KeyNameTable {
 public:
  void fill();
  std::optional<int> find(TextView name) const;
  std::size_t size() const;

 private:
  std::vector<std::pair<Text, int>> entries_;
};

struct HotkeyRecord {
  Text text;
  std::int64_t eventCode = 0;
  std::int64_t window = NotGiven;
  std::int64_t object = NotGiven;
  std::int64_t subtype = NotGiven;
  void* data = nullptr;
  std::uint32_t signature = 0;
  std::uint32_t id = 0;
  HotkeyPort::HotkeyRef hotkeyRef = 0;
};

class HotkeyRegistry {
 public:
  HotkeyRegistry(HotkeyPort& port, EventQueue& queue, const KeyNameTable& names)
      : port_(port), queue_(queue), names_(names) {}

  // Empty list, nextId 1, not installed.
  void reset();
  bool installHandler();
  bool add(TextView text, std::int64_t eventCode);
  void remove(TextView text, std::int64_t eventCode);
  int onHotkeyPressed(HotkeyPort::Identity identity);

  const std::list<HotkeyRecord>& records() const { return records_; }
  std::uint32_t nextId() const { return nextId_; }
  bool installed() const { return installed_; }

 private:
  HotkeyPort& port_;
  EventQueue& queue_;
  const KeyNameTable& names_;
  std::list<HotkeyRecord> records_;
  bool installed_ = false;
  std::uint32_t nextId_ = 1;
};

}  // namespace larkspur
