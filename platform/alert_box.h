#pragma once
#include <cstdint>

#include "platform/ports.h"

namespace larkspur {

enum AlertFlags : std::uint32_t {
  AlertYesNo = 0x01,
  AlertYesNoCancel = 0x02,
  AlertNoteIcon = 0x04,
  AlertStopIcon = 0x08,
  AlertCautionIcon = 0x10,
};

enum AlertResult : int { AlertDefault = 0, AlertCancel = 2, AlertYes = 6, AlertNo = 7 };

class AlertBox {
 public:
  explicit AlertBox(AlertPort& port) : port_(port) {}
  int show(const Text& title, const Text& text, std::uint32_t flags);
  void inform(const Text& title, const Text& text) { show(title, text, 0); }

 private:
  AlertPort& port_;
};

}  // namespace larkspur
