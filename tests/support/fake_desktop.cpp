#include "support/fake_desktop.h"

namespace larkspur::test {

void FakeDesktop::chooseMenuItem(std::int64_t id) {
  then([this, id] {
    // Hosts deliver clicks on disabled entries too; the desktop drops them.
    const MenuEntry* e = entry(id);
    if (e && e->enabled && statusItemShown) queue_.enqueue(EventMenu, id, 0, 0);
  });
}

void FakeDesktop::pressHotkey(int keyCode, std::uint32_t modifiers) {
  then([this, keyCode, modifiers] {
    for (auto& [ref, grab] : grabs) {
      if (grab.keyCode == keyCode && grab.modifiers == modifiers && hotkeyHandler_) {
        hotkeyHandler_(grab.identity);
        return;
      }
    }
  });
}

void FakeDesktop::tick() {
  then([this] {
    auto copy = timers_;
    for (auto& [handle, timer] : copy) {
      if (timers_.count(handle)) timer.fire();
    }
  });
}

void FakeDesktop::clickButton(std::int64_t window, std::int64_t controlId) {
  then([this, window, controlId] {
    if (control(window, controlId)) queue_.enqueue(EventControl, controlId, window, 0);
  });
}

void FakeDesktop::pressClose(std::int64_t window) {
  then([this, window] {
    if (windows.count(window)) queue_.enqueue(EventCloseRequest, window, window, 0);
  });
}

void FakeDesktop::typeKey(KeyEvent key) {
  then([this, key] {
    if (queue_.offerToFilters(key)) return;
    auto w = windows.find(key.focusedWindow);
    if (w == windows.end()) return;
    auto c = w->second.controls.find(key.focusedControl);
    if (c != w->second.controls.end() && c->second.spec.kind == ControlKind::ShortcutField &&
        key.character >= 32)
      c->second.text.push_back(key.character);
  });
}

void FakeDesktop::idle() {
  then([] {});
}

void FakeDesktop::requestTermination() {
  then([this] { queue_.enqueue(EventMenu, MenuObjectQuit, WindowApplication, 0); });
}

void FakeDesktop::then(std::function<void()> action) { script_.push_back(std::move(action)); }

bool FakeDesktop::dispatchOne(int timeoutMs) {
  if (script_.empty()) {
    if (timeoutMs >= 0) return false;
    throw OutOfEvents();
  }
  auto action = std::move(script_.front());
  script_.pop_front();
  action();
  return true;
}

const MenuEntry* FakeDesktop::entry(std::int64_t id) const {
  if (!menu) return nullptr;
  for (const auto& e : menu->entries)
    if (!e.separator && e.id == id) return &e;
  return nullptr;
}

std::vector<std::string> FakeDesktop::menuLines() const {
  std::vector<std::string> lines;
  if (!menu) return lines;
  for (const auto& e : menu->entries) {
    if (e.separator) {
      lines.push_back("---");
      continue;
    }
    std::string line = std::to_string(e.id) + " " + toUtf8(e.text);
    if (!e.iconName.empty()) line += " [" + e.iconName + "]";
    else if (e.image) line += " [image]";
    if (!e.enabled) line += " (disabled)";
    lines.push_back(line);
  }
  return lines;
}

const FakeControl* FakeDesktop::control(std::int64_t window, std::int64_t id) const {
  auto w = windows.find(window);
  if (w == windows.end()) return nullptr;
  auto c = w->second.controls.find(id);
  return c == w->second.controls.end() ? nullptr : &c->second;
}

std::vector<const FakeControl*> FakeDesktop::controls(std::int64_t window) const {
  std::vector<const FakeControl*> out;
  auto w = windows.find(window);
  if (w == windows.end()) return out;
  for (auto id : w->second.order) out.push_back(&w->second.controls.at(id));
  return out;
}

void FakeDesktop::createStatusItem() {
  statusItemShown = true;
  ++statusItemBuilds;
  log.push_back("status:create");
}

void FakeDesktop::removeStatusItem() {
  statusItemShown = false;
  statusImage = nullptr;
  statusTitle.clear();
  statusToolTip.clear();
  menu.reset();
  log.push_back("status:remove");
}

void FakeDesktop::setStatusImage(const Image* image, bool templateImage) {
  statusImage = image;
  statusImageTemplate = templateImage;
}

void FakeDesktop::setStatusTitle(const Text& title) { statusTitle = title; }
void FakeDesktop::setStatusToolTip(const Text& toolTip) { statusToolTip = toolTip; }

void FakeDesktop::setStatusMenu(const MenuModel* model) {
  if (model) menu = *model;
  else menu.reset();
  log.push_back("status:menu");
}

void FakeDesktop::menuItemEnabledChanged(const MenuModel& model, std::int64_t id) {
  if (!menu || menu->number != model.number) return;
  MenuEntry* mine = menu->find(id);
  const MenuEntry* theirs = const_cast<MenuModel&>(model).find(id);
  if (mine && theirs) mine->enabled = theirs->enabled;
}

void FakeDesktop::menuFreed(const MenuModel& model) {
  if (menu && menu->number == model.number) menu.reset();
}

bool FakeDesktop::openWindow(std::int64_t number, Rect content, const Text& title,
                             std::uint32_t options) {
  FakeWindow w;
  w.content = content;
  w.title = title;
  w.options = options;
  windows[number] = std::move(w);
  log.push_back("window:open " + std::to_string(number));
  return true;
}

void FakeDesktop::closeWindow(std::int64_t number) {
  windows.erase(number);
  log.push_back("window:close " + std::to_string(number));
}

void FakeDesktop::setStayOnTop(std::int64_t number, bool on) {
  if (windows.count(number)) windows[number].stayOnTop = on;
}

void FakeDesktop::hideMinimiseAndZoom(std::int64_t number) {
  if (windows.count(number)) windows[number].buttonsHidden = true;
}

void FakeDesktop::addControl(std::int64_t window, std::int64_t controlId, const ControlSpec& spec) {
  auto w = windows.find(window);
  if (w == windows.end()) return;
  FakeControl c;
  c.spec = spec;
  c.text = spec.text;
  c.image = spec.image;
  w->second.controls[controlId] = std::move(c);
  w->second.order.push_back(controlId);
}

void FakeDesktop::removeControl(std::int64_t window, std::int64_t controlId) {
  auto w = windows.find(window);
  if (w == windows.end()) return;
  w->second.controls.erase(controlId);
  std::erase(w->second.order, controlId);
}

void FakeDesktop::setControlText(std::int64_t window, std::int64_t controlId, const Text& text) {
  auto w = windows.find(window);
  if (w == windows.end()) return;
  auto c = w->second.controls.find(controlId);
  if (c != w->second.controls.end()) c->second.text = text;
}

Text FakeDesktop::controlText(std::int64_t window, std::int64_t controlId) const {
  const FakeControl* c = control(window, controlId);
  return c ? c->text : Text{};
}

void FakeDesktop::setControlImage(std::int64_t window, std::int64_t controlId, const Image* image) {
  auto w = windows.find(window);
  if (w == windows.end()) return;
  auto c = w->second.controls.find(controlId);
  if (c != w->second.controls.end()) c->second.image = image;
}

TimerPort::TimerHandle FakeDesktop::startTimer(int intervalMs, std::function<void()> fire) {
  TimerHandle h = nextTimer_++;
  timers_[h] = Timer{intervalMs, std::move(fire)};
  return h;
}

void FakeDesktop::stopTimer(TimerHandle handle) { timers_.erase(handle); }

int FakeDesktop::runAlert(const AlertSpec& spec) {
  alerts.push_back(spec);
  log.push_back("alert:" + toUtf8(spec.message));
  if (alertAnswers.empty()) return 0;
  int answer = alertAnswers.front();
  alertAnswers.pop_front();
  return answer;
}

bool FakeDesktop::installHotkeyHandler(std::function<void(Identity)> onPressed) {
  if (handlerInstallFails) return false;
  hotkeyHandler_ = std::move(onPressed);
  return true;
}

std::optional<HotkeyPort::HotkeyRef> FakeDesktop::registerHotkey(int keyCode, std::uint32_t modifiers,
                                                                 Identity identity) {
  log.push_back("grab " + std::to_string(keyCode) + "/" + std::to_string(modifiers));
  if (refusedGrabs.count({keyCode, modifiers})) return std::nullopt;
  for (auto& [ref, grab] : grabs)
    if (grab.keyCode == keyCode && grab.modifiers == modifiers) return std::nullopt;
  HotkeyRef ref = nextRef_++;
  grabs[ref] = FakeGrab{keyCode, modifiers, identity};
  return ref;
}

bool FakeDesktop::unregisterHotkey(HotkeyRef ref) {
  log.push_back("release " + std::to_string(ref));
  if (failingReleases.count(ref)) return false;
  return grabs.erase(ref) != 0;
}

}  // namespace larkspur::test
