#pragma once
// One process-wide queue of application events, read by the main loop and by
// the two window loops. Platform events (menu choices, close requests, button
// presses, timer ticks) are queued by the desktop while it dispatches a system
// event; application events are posted by the hotkey handler.
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/ports.h"

namespace larkspur {

enum EventCode : std::int32_t {
  EventNone = 0,
  EventMenu = 1,
  EventCloseRequest = 2,
  EventControl = 3,
  EventRepaint = 4,
  EventTimer = 15,
  EventFirstCustom = 65536,
  EventNextTrack = 65537,
  EventPreviousTrack = 65538,
  EventPlayPause = 65539,
  EventShuffle = 65543,
  EventRestartTrack = 65544,
  EventTrackDetails = 65545,
  EventRelaunch = 65548,
  EventBracketRight = 65549,
  EventBracketLeft = 65550,
};

constexpr std::int64_t NotGiven = -65535;

// Menu object and window of a system termination request.
constexpr std::int64_t MenuObjectQuit = -4;
constexpr std::int64_t WindowApplication = -1;

enum EventFlags : std::uint32_t {
  FlagNoSuppress = 1,
  FlagPosted = 2,
  FlagAlwaysWake = 4,
};

struct EventRecord {
  std::int32_t code = 0;
  std::uint32_t flags = 0;
  std::int64_t object = 0;
  std::int64_t window = 0;
  std::int64_t subtype = -1;
  void* data = nullptr;
  void (*release)(void*) = nullptr;
};

class EventQueue {
 public:
  EventQueue() = default;
  ~EventQueue();
  EventQueue(const EventQueue&) = delete;
  EventQueue& operator=(const EventQueue&) = delete;

  void setSource(SystemEventSource* source) { source_ = source; }

  // Queued events first; otherwise one system event. Answers the code, 0 on
  // time-out, -1 when the system event produced no application event.
  std::int32_t wait(int timeoutMs);

  // Queues with flags 7: never suppressed, never merged, always waking.
  int post(std::int32_t code, std::int64_t window, std::int64_t object,
           std::int64_t subtype, void* data);

  // For the desktop: a platform event (flags 0 unless given).
  void enqueue(std::int32_t code, std::int64_t object, std::int64_t window,
               std::int64_t subtype, void* data = nullptr,
               void (*release)(void*) = nullptr, std::uint32_t flags = 0);

  // -1 in a field matches anything.
  void purge(std::int32_t code, std::int64_t object, std::int64_t window, std::int64_t subtype);
  void purgeWindow(std::int64_t window);

  std::int32_t currentCode() const { return current_.code; }
  std::int64_t currentObject() const { return current_.object; }
  std::int64_t currentWindow() const { return current_.window; }
  std::int64_t currentSubtype() const { return current_.subtype; }
  void* currentData() const { return current_.data; }

  // Filters see every key press before it is dispatched, the most recently
  // added first; all run even after one consumed the event.
  using Filter = std::function<bool(const KeyEvent&)>;
  int addFilter(Filter filter);
  void removeFilter(int token);
  bool offerToFilters(const KeyEvent& event);

  std::size_t size() const { return count_; }
  void raiseSuppression() { ++suppression_; }
  void lowerSuppression() { if (suppression_ > 0) --suppression_; }

 private:
  struct Node {
    EventRecord record;
    Node* next = nullptr;
  };
  Node* allocate();
  void recycle(Node* node);
  std::int32_t takeHead();
  void releaseCurrentData();

  SystemEventSource* source_ = nullptr;
  Node* head_ = nullptr;
  Node* tail_ = nullptr;
  Node* pool_ = nullptr;  // free list
  std::vector<Node*> blocks_;
  std::size_t count_ = 0;
  EventRecord current_;
  int suppression_ = 0;
  struct FilterEntry {
    int token;
    Filter filter;
  };
  std::vector<FilterEntry> filters_;
  int nextFilterToken_ = 1;
};

}  // namespace larkspur
