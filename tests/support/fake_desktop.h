#pragma once
// The in-process desktop: keeps what a user could see or a peer could
// observe, and acts as the user through a script of system events.
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/event_queue.h"
#include "platform/ports.h"

namespace larkspur::test {

// Thrown by the fake exitProcess so that whole exit paths run in process.
struct ProcessExit {
  int status;
};
// Thrown when a loop waits for a system event and the test has scripted none:
// the flow under test went on longer than the test expected.
struct OutOfEvents {};

struct FakeControl {
  ControlSpec spec;
  Text text;
  const Image* image = nullptr;
};

struct FakeWindow {
  Text title;
  bool stayOnTop = false, buttonsHidden = false;
  std::map<std::int64_t, FakeControl> controls;
  std::vector<std::int64_t> order;  // controls in creation order
  // Each control as "kind x,y,w,h size[b] text" (images: "image x,y,w,h").
  std::vector<std::string> layout() const {
    static const char* kinds[] = {"label", "button", "image", "field"};
    std::vector<std::string> out;
    for (auto id : order) {
      const FakeControl& c = controls.at(id);
      const Rect& f = c.spec.frame;
      std::ostringstream line;
      line << kinds[static_cast<int>(c.spec.kind)] << " " << f.x << "," << f.y << "," << f.width << "," << f.height;
      if (c.spec.kind != ControlKind::ImageView)
        line << " " << c.spec.font.size << (c.spec.font.bold ? "b " : " ") << toUtf8(c.text);
      out.push_back(line.str());
    }
    return out;
  }
  const FakeControl& at(std::size_t i) const { return controls.at(order.at(i)); }
};

struct FakeGrab {
  int keyCode;
  std::uint32_t modifiers;
  HotkeyPort::Identity identity;
};

class FakeDesktop : public Desktop {
 public:
  explicit FakeDesktop(EventQueue& queue) : queue_(queue) { queue.setSource(this); }

  // ------------------------------------------------ what the user sees
  bool statusItemShown = false, statusImageTemplate = false, menuOpen = false;
  const Image* statusImage = nullptr;
  Text statusTitle;
  std::optional<MenuModel> menu;  // the attached menu as last rendered
  std::map<std::int64_t, FakeWindow> windows;
  std::vector<AlertSpec> alerts;
  std::deque<int> alertAnswers;  // button index per alert; default 0
  std::optional<Text> clipboard;
  std::vector<std::string> desktopPictures, shellCommands;
  std::map<HotkeyPort::HotkeyRef, FakeGrab> grabs;
  std::vector<std::pair<std::int64_t, std::int64_t>> selectionResets;  // window, control
  StatusMouseActions mouseActions;  // middle click, wheel away, wheel towards
  int statusItemBuilds = 0, lastTimerMs = 0;  // the interval of the timer started last

  // ------------------------------------------------ the machine
  int osMajor = 12;
  std::uint64_t memory = 16ull << 30;
  double scale = 1.0;
  bool dark = false, installed = true, handlerInstallFails = false;
  std::string home = "/nonexistent/", exePath = "/opt/larkspur/bin/larkspur";

  // ------------------------------------------------ acting as the user
  // Each scripted action is one system event for EventQueue::wait.
  void chooseMenuItem(std::int64_t id) {
    then([this, id] {
      // Hosts deliver clicks on disabled entries too; the desktop drops them.
      const MenuEntry* e = entry(id);
      if (e && e->enabled && statusItemShown) queue_.enqueue(EventMenu, id, 0, 0);
    });
  }
  void pressHotkey(int keyCode, std::uint32_t modifiers) {
    then([this, keyCode, modifiers] {
      for (auto& [ref, grab] : grabs)
        if (grab.keyCode == keyCode && grab.modifiers == modifiers && hotkeyHandler_)
          return hotkeyHandler_(grab.identity);
    });
  }
  void tick() {  // every running timer fires once
    then([this] {
      auto copy = timers_;
      for (auto& [handle, fire] : copy)
        if (timers_.count(handle)) fire();
    });
  }
  void clickButton(std::int64_t window, const std::string& text) {
    then([this, window, text] {
      for (auto& [id, c] : windows[window].controls)
        if (toUtf8(c.text) == text) return queue_.enqueue(EventControl, id, window, 0);
    });
  }
  void pressClose(std::int64_t window) { then([=, this] { queue_.enqueue(EventCloseRequest, window, window, 0); }); }
  void typeKey(KeyEvent key) {  // offered to the queue's filters first
    then([this, key] {
      if (queue_.offerToFilters(key)) return;
      FakeControl* c = find(key.focusedWindow, key.focusedControl);
      if (c && c->spec.kind == ControlKind::ShortcutField && key.character >= 32) c->text.push_back(key.character);
    });
  }
  void requestTermination() { then([this] { queue_.enqueue(EventMenu, MenuObjectQuit, WindowApplication, 0); }); }
  void then(std::function<void()> action) { script_.push_back(std::move(action)); }

  // A menu entry as the user sees it, or null.
  const MenuEntry* entry(std::int64_t id) const {
    if (menu)
      for (const auto& e : menu->entries)
        if (!e.separator && e.id == id) return &e;
    return nullptr;
  }
  // "2 Next…" / "---", for readable asserts
  std::vector<std::string> menuLines() const {
    std::vector<std::string> lines;
    for (const auto& e : menu ? menu->entries : std::vector<MenuEntry>{}) {
      std::string line = std::to_string(e.id) + " " + toUtf8(e.text);
      if (!e.iconName.empty()) line += " [" + e.iconName + "]";
      else if (e.image) line += " [image]";
      lines.push_back(e.separator ? "---" : e.enabled ? line : line + " (disabled)");
    }
    return lines;
  }
  std::string enabledIds() const {  // "2 3 4 14 "
    std::string out;
    for (std::int64_t id = 1; id <= 14; ++id)
      if (const MenuEntry* e = entry(id); e && e->enabled) out += std::to_string(id) + " ";
    return out;
  }
  const FakeControl* control(std::int64_t window, std::int64_t id) const {
    auto w = windows.find(window);
    if (w == windows.end() || !w->second.controls.count(id)) return nullptr;
    return &w->second.controls.at(id);
  }
  std::size_t runningTimers() const { return timers_.size(); }

  // ------------------------------------------------ StatusItemPort
  void createStatusItem() override { statusItemShown = true, ++statusItemBuilds; }
  void removeStatusItem() override { statusItemShown = false, statusImage = nullptr, menu.reset(); }
  bool hasStatusItem() const override { return statusItemShown; }
  void setStatusImage(const Image* image, bool templ) override { statusImage = image, statusImageTemplate = templ; }
  void setStatusTitle(const Text& title) override { statusTitle = title; }
  void setStatusToolTip(const Text&) override {}
  void setStatusMenu(const MenuModel* model) override { menu = model ? std::optional(*model) : std::nullopt; }
  void menuItemEnabledChanged(const MenuModel& model, std::int64_t id) override {
    MenuEntry* mine = menu && menu->number == model.number ? menu->find(id) : nullptr;
    if (const MenuEntry* theirs = const_cast<MenuModel&>(model).find(id); mine && theirs) mine->enabled = theirs->enabled;
  }
  void menuFreed(const MenuModel& model) override {
    if (menu && menu->number == model.number) menu.reset();
  }
  void setStatusMouseActions(const StatusMouseActions& actions) override { mouseActions = actions; }
  void setStatusIconFolder(const std::string&) override {}
  bool statusMenuOpen() const override { return menuOpen; }

  // ------------------------------------------------ WindowPort
  bool openWindow(std::int64_t number, Rect, const Text& title, std::uint32_t) override {
    return windows[number] = FakeWindow{}, windows[number].title = title, true;
  }
  void closeWindow(std::int64_t number) override { windows.erase(number); }
  void setStayOnTop(std::int64_t number, bool on) override { windows.at(number).stayOnTop = on; }
  void hideMinimiseAndZoom(std::int64_t number) override { windows.at(number).buttonsHidden = true; }
  void addControl(std::int64_t window, std::int64_t id, const ControlSpec& spec) override {
    if (!windows.count(window)) return;
    windows[window].controls[id] = {spec, spec.text, spec.image};
    windows[window].order.push_back(id);
  }
  void removeControl(std::int64_t window, std::int64_t id) override {
    if (windows.count(window)) windows[window].controls.erase(id), std::erase(windows[window].order, id);
  }
  void setControlText(std::int64_t window, std::int64_t controlId, const Text& text) override {
    if (FakeControl* c = find(window, controlId)) c->text = text;
  }
  Text controlText(std::int64_t window, std::int64_t controlId) const override {
    const FakeControl* c = control(window, controlId);
    return c ? c->text : Text{};
  }
  void setControlImage(std::int64_t window, std::int64_t controlId, const Image* image) override {
    if (FakeControl* c = find(window, controlId)) c->image = image;
  }
  void resetSelection(std::int64_t window, std::int64_t id) override { selectionResets.emplace_back(window, id); }

  // ------------------------------------------------ TimerPort
  TimerHandle startTimer(int intervalMs, std::function<void()> fire) override {
    lastTimerMs = intervalMs;
    timers_[nextTimer_] = std::move(fire);
    return nextTimer_++;
  }
  void stopTimer(TimerHandle handle) override { timers_.erase(handle); }

  // ------------------------------------------------ AlertPort
  int runAlert(const AlertSpec& spec) override {
    alerts.push_back(spec);
    int answer = alertAnswers.empty() ? 0 : alertAnswers.front();
    if (!alertAnswers.empty()) alertAnswers.pop_front();
    return answer;
  }

  // ------------------------------------------------ HotkeyPort
  bool installHotkeyHandler(std::function<void(Identity)> onPressed) override {
    if (!handlerInstallFails) hotkeyHandler_ = std::move(onPressed);
    return !handlerInstallFails;
  }
  std::optional<HotkeyRef> registerHotkey(int keyCode, std::uint32_t modifiers, Identity identity,
                                          std::int64_t = 0) override {
    for (auto& [ref, grab] : grabs)  // held already, by us or another client
      if (grab.keyCode == keyCode && grab.modifiers == modifiers) return std::nullopt;
    grabs[nextRef_] = FakeGrab{keyCode, modifiers, identity};
    return nextRef_++;
  }
  bool unregisterHotkey(HotkeyRef ref) override { return grabs.erase(ref); }

  // ------------------------------------------------ SystemPort
  int osMajorVersion() const override { return osMajor; }
  std::uint64_t physicalMemory() const override { return memory; }
  double screenScale() const override { return scale; }
  bool darkAppearance() const override { return dark; }
  std::string homeDirectory() const override { return home; }
  std::string executablePath() const override { return exePath; }
  bool playerInstalled() const override { return installed; }
  void setAccessoryPolicy() override {}
  void activateApp() override {}
  void sleepMs(int) override {}
  void setClipboardText(const Text& text) override { clipboard = text; }
  void setDesktopPicture(const std::string& path) override { desktopPictures.push_back(path); }
  bool launchShell(const std::string& command) override { return shellCommands.push_back(command), true; }
  [[noreturn]] void exitProcess(int status) override { throw ProcessExit{status}; }

  // ------------------------------------------------ SystemEventSource
  bool dispatchOne(int timeoutMs) override {
    if (script_.empty()) {
      if (timeoutMs >= 0) return false;
      throw OutOfEvents();
    }
    auto action = std::move(script_.front());
    script_.pop_front();
    action();
    return true;
  }
  void wake() override {}
  bool hasPending() override { return !script_.empty(); }

 private:
  FakeControl* find(std::int64_t window, std::int64_t id) { return const_cast<FakeControl*>(control(window, id)); }
  EventQueue& queue_;
  std::deque<std::function<void()>> script_;
  std::map<TimerHandle, std::function<void()>> timers_;
  TimerHandle nextTimer_ = 1;
  std::function<void(Identity)> hotkeyHandler_;
  HotkeyRef nextRef_ = 1;
};

}  // namespace larkspur::test
