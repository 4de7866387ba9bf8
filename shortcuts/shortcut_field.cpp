#include "shortcuts/shortcut_field.h"

namespace larkspur {

std::int64_t ShortcutField::create(std::int64_t controlId, double x, double y, double width,
                                   double height, ShortcutValue initialValue, ControlSpec style) {
  destroy();
  current_ = initialValue;
  style.kind = ControlKind::ShortcutField;
  style.frame = Rect{x, y, width, height};
  style.text = ShortcutText(initialValue);
  controlId_ = windows_.addControl(style, controlId);
  if (controlId_ == 0) return 0;
  window_ = windows_.windowOfControl(controlId_);
  filterToken_ = queue_.addFilter([this](const KeyEvent& key) { return handleKey(key); });
  return controlId_;
}

bool ShortcutField::alive() const {
  return controlId_ != 0 && windows_.windowOfControl(controlId_) == window_;
}

void ShortcutField::setValue(ShortcutValue value) {
  current_ = value;
  if (alive()) windows_.setControlText(controlId_, ShortcutText(value));
}

void ShortcutField::setText(const Text& text) {
  if (alive()) windows_.setControlText(controlId_, text);
}

Text ShortcutField::text() const { return alive() ? windows_.controlText(controlId_) : Text{}; }

void ShortcutField::destroy() {
  if (filterToken_ != 0) queue_.removeFilter(filterToken_);
  filterToken_ = 0;
  if (alive()) windows_.removeControl(controlId_);
  controlId_ = 0;
  window_ = -1;
}

// Every key-down while focused becomes a shortcut, Command combinations
// included: consuming it keeps ⌘V from pasting and ⌘Q from quitting while
// the user is choosing a shortcut.
bool ShortcutField::handleKey(const KeyEvent& key) {
  if (key.focusedControl != controlId_ || !alive()) return false;
  setValue(MapToShortcut(key.modifierFlags, key.virtualKeyCode, key.character));
  windows_.resetSelection(controlId_);
  return true;
}

}  // namespace larkspur
