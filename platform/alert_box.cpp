#include "platform/alert_box.h"

namespace larkspur {

int AlertBox::show(const Text& title, const Text& text, std::uint32_t flags) {
  AlertSpec spec;
  spec.message = title;
  spec.informative = text;
  if (flags & AlertCautionIcon) spec.icon = AlertIcon::Caution;
  else if (flags & AlertNoteIcon) spec.icon = AlertIcon::Note;
  else if (flags & AlertStopIcon) spec.icon = AlertIcon::Stop;
  else spec.informationalStyle = true;
  if (!(flags & (AlertYesNo | AlertYesNoCancel))) {
    port_.runAlert(spec);
    return AlertDefault;
  }
  spec.buttons = {u"Yes", u"No"};
  if (flags & AlertYesNoCancel) spec.buttons.push_back(u"Cancel");
  static constexpr int kTags[] = {AlertYes, AlertNo, AlertCancel};
  int pressed = port_.runAlert(spec);
  // A dialog closed without a choice is the cautious answer: Cancel where
  // there is one, else No.
  if (pressed < 0 || pressed >= static_cast<int>(spec.buttons.size()))
    pressed = static_cast<int>(spec.buttons.size()) - 1;
  return kTags[pressed];
}

}  // namespace larkspur
