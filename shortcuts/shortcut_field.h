#pragma once
// A single-line text control that, while focused, turns every key press into
// a shortcut value and shows its text instead of letting the key through.
#include <cstdint>

#include "platform/event_queue.h"
#include "platform/ports.h"
#include "platform/window_table.h"
#include "shortcuts/shortcut_value.h"

namespace larkspur {

class ShortcutField {
 public:
  ShortcutField(WindowTable& windows, EventQueue& queue) : windows_(windows), queue_(queue) {}
  ~ShortcutField() { destroy(); }
  ShortcutField(const ShortcutField&) = delete;
  ShortcutField& operator=(const ShortcutField&) = delete;

  // Creates the control in the current window (controlId <= 0 asks for a new
  // id) and answers its id, 0 when there is no window. `style` carries the
  // caller's placeholder, alignment, font and bezel; kind, frame and text are
  // the field's own. Creating again first destroys the previous control.
  std::int64_t create(std::int64_t controlId, double x, double y, double width, double height,
                      ShortcutValue initialValue, ControlSpec style = {});
  void setValue(ShortcutValue value);
  ShortcutValue value() const { return current_; }
  // Replaces the visible text only; the value stays until the next key press
  // or setValue.
  void setText(const Text& text);
  Text text() const;
  void destroy();

  std::int64_t controlId() const { return controlId_; }

 private:
  bool handleKey(const KeyEvent& key);
  // False once the window closed and took the control with it; its id may
  // since belong to another control.
  bool alive() const;

  WindowTable& windows_;
  EventQueue& queue_;
  std::int64_t controlId_ = 0;
  std::int64_t window_ = -1;
  ShortcutValue current_ = 0;
  int filterToken_ = 0;
};

}  // namespace larkspur
