#include "platform/window_table.h"

namespace larkspur {

WindowTable::~WindowTable() {
  for (auto& [number, slot] : slots_) {
    for (auto& [id, handle] : slot.timers) timers_.stopTimer(handle);
  }
}

bool WindowTable::open(std::int64_t number, double x, double y, double width, double height,
                       const Text& title, std::uint32_t options) {
  if (number < 0) return false;
  if (exists(number)) close(number);
  if (x == NotGiven || y == NotGiven) options |= WindowCentred;
  if (!port_.openWindow(number, Rect{x, y, width, height}, title, options)) return false;
  slots_[number] = Slot{};
  current_ = number;
  return true;
}

void WindowTable::close(std::int64_t number) {
  if (number == -1) {
    while (!slots_.empty()) close(slots_.begin()->first);
    return;
  }
  auto it = slots_.find(number);
  if (it == slots_.end()) return;
  for (auto& [id, handle] : it->second.timers) timers_.stopTimer(handle);
  for (std::int64_t control : it->second.controls) {
    port_.removeControl(number, control);
    controlWindow_.erase(control);
  }
  slots_.erase(it);
  port_.closeWindow(number);
  queue_.purgeWindow(number);
  if (current_ == number) current_ = slots_.empty() ? -1 : slots_.rbegin()->first;
}

bool WindowTable::exists(std::int64_t number) const { return slots_.count(number) != 0; }

void WindowTable::setStayOnTop(std::int64_t number, bool on) {
  if (exists(number)) port_.setStayOnTop(number, on);
}

void WindowTable::hideMinimiseAndZoom(std::int64_t number) {
  if (exists(number)) port_.hideMinimiseAndZoom(number);
}

std::int64_t WindowTable::addControl(const ControlSpec& spec, std::int64_t controlId) {
  auto it = slots_.find(current_);
  if (it == slots_.end()) return 0;
  if (controlId <= 0) controlId = nextControlId_++;
  else if (controlId >= nextControlId_) nextControlId_ = controlId + 1;
  if (controlWindow_.count(controlId)) removeControl(controlId);
  it->second.controls.push_back(controlId);
  controlWindow_[controlId] = current_;
  port_.addControl(current_, controlId, spec);
  return controlId;
}

void WindowTable::removeControl(std::int64_t controlId) {
  auto it = controlWindow_.find(controlId);
  if (it == controlWindow_.end()) return;
  std::int64_t window = it->second;
  controlWindow_.erase(it);
  auto& controls = slots_[window].controls;
  std::erase(controls, controlId);
  port_.removeControl(window, controlId);
}

void WindowTable::setControlText(std::int64_t controlId, const Text& text) {
  auto it = controlWindow_.find(controlId);
  if (it != controlWindow_.end()) port_.setControlText(it->second, controlId, text);
}

Text WindowTable::controlText(std::int64_t controlId) const {
  auto it = controlWindow_.find(controlId);
  return it == controlWindow_.end() ? Text{} : port_.controlText(it->second, controlId);
}

void WindowTable::setControlImage(std::int64_t controlId, const Image* image) {
  auto it = controlWindow_.find(controlId);
  if (it != controlWindow_.end()) port_.setControlImage(it->second, controlId, image);
}

void WindowTable::resetSelection(std::int64_t controlId) {
  auto it = controlWindow_.find(controlId);
  if (it != controlWindow_.end()) port_.resetSelection(it->second, controlId);
}

std::int64_t WindowTable::windowOfControl(std::int64_t controlId) const {
  auto it = controlWindow_.find(controlId);
  return it == controlWindow_.end() ? -1 : it->second;
}

bool WindowTable::addTimer(std::int64_t window, std::int64_t timerId, int intervalMs) {
  removeTimer(window, timerId);
  auto it = slots_.find(window);
  if (intervalMs <= 0 || it == slots_.end()) return false;
  EventQueue* queue = &queue_;
  TimerPort::TimerHandle handle = timers_.startTimer(intervalMs, [queue, window, timerId] {
    queue->enqueue(EventTimer, timerId, window, 0);
  });
  it->second.timers[timerId] = handle;
  return true;
}

void WindowTable::removeTimer(std::int64_t window, std::int64_t timerId) {
  auto it = slots_.find(window);
  if (it == slots_.end()) return;
  auto t = it->second.timers.find(timerId);
  if (t == it->second.timers.end()) return;
  timers_.stopTimer(t->second);
  it->second.timers.erase(t);
  queue_.purge(EventTimer, timerId, window, -1);
}

bool WindowTable::hasTimer(std::int64_t window, std::int64_t timerId) const {
  auto it = slots_.find(window);
  return it != slots_.end() && it->second.timers.count(timerId) != 0;
}

}  // namespace larkspur
