#pragma once
#include "windows/window_parts.h"

namespace larkspur {

// Six capture fields for the global shortcuts. Closing the window saves them
// and relaunches, so the new process registers the new hotkeys.
class ShortcutsWindow {
 public:
  explicit ShortcutsWindow(WindowParts parts) : p_(parts) {}
  [[noreturn]] void run();

 private:
  WindowParts p_;
};

}  // namespace larkspur
