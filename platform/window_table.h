#pragma once
// Windows, their controls and their timers, addressed by numbers the caller
// chooses. Opening under a number in use replaces the old window; -1 given to
// close means all. Closing a window ends its timers and purges its events.
#include <cstdint>
#include <map>
#include <vector>

#include "platform/event_queue.h"
#include "platform/ports.h"

namespace larkspur {

enum WindowOptions : std::uint32_t {
  WindowInvisible = 0x01,
  WindowCloseButton = 0x04,
  WindowCentred = 0x40,
};

class WindowTable {
 public:
  WindowTable(WindowPort& port, TimerPort& timers, EventQueue& queue)
      : port_(port), timers_(timers), queue_(queue) {}
  ~WindowTable();

  bool open(std::int64_t number, double x, double y, double width, double height,
            const Text& title, std::uint32_t options);
  void close(std::int64_t number);
  bool exists(std::int64_t number) const;
  void setStayOnTop(std::int64_t number, bool on);
  void hideMinimiseAndZoom(std::int64_t number);
  // The window new controls go into: the one opened last and still open.
  std::int64_t currentWindow() const { return current_; }

  // Controls of the current window. controlId <= 0 asks for a new id.
  std::int64_t addControl(const ControlSpec& spec, std::int64_t controlId = 0);
  void removeControl(std::int64_t controlId);
  void setControlText(std::int64_t controlId, const Text& text);
  Text controlText(std::int64_t controlId) const;
  void setControlImage(std::int64_t controlId, const Image* image);
  void resetSelection(std::int64_t controlId);
  std::int64_t windowOfControl(std::int64_t controlId) const;

  // Timers; a timer belongs to its window and ends with it.
  bool addTimer(std::int64_t window, std::int64_t timerId, int intervalMs);
  void removeTimer(std::int64_t window, std::int64_t timerId);
  bool hasTimer(std::int64_t window, std::int64_t timerId) const;

 private:
  struct Slot {
    std::map<std::int64_t, TimerPort::TimerHandle> timers;
    std::vector<std::int64_t> controls;
  };
  WindowPort& port_;
  TimerPort& timers_;
  EventQueue& queue_;
  std::map<std::int64_t, Slot> slots_;
  std::map<std::int64_t, std::int64_t> controlWindow_;
  std::int64_t current_ = -1;
  std::int64_t nextControlId_ = 1;
};

// The timer operations under their own name, over the window table.
class WindowTimer {
 public:
  explicit WindowTimer(WindowTable& windows) : windows_(windows) {}
  bool add(std::int64_t window, std::int64_t timerId, int intervalMs) {
    return windows_.addTimer(window, timerId, intervalMs);
  }
  void remove(std::int64_t window, std::int64_t timerId) { windows_.removeTimer(window, timerId); }

 private:
  WindowTable& windows_;
};

}  // namespace larkspur
