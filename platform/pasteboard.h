#pragma once
#include "platform/ports.h"

namespace larkspur {

// One plain-text entry that replaces whatever the clipboard held.
class Pasteboard {
 public:
  explicit Pasteboard(SystemPort& system) : system_(system) {}
  int setText(const Text& text) {
    system_.setClipboardText(text);
    return 1;
  }

 private:
  SystemPort& system_;
};

}  // namespace larkspur
