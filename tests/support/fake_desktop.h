#pragma once
// The in-process desktop: records everything a user could see or a peer could
// observe, and acts as the user through a script of system events.
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
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
struct OutOfEvents : std::runtime_error {
  OutOfEvents() : std::runtime_error("the test scripted no further system event") {}
};

struct FakeControl {
  ControlSpec spec;
  Text text;
  const Image* image = nullptr;
};

struct FakeWindow {
  Rect content;
  Text title;
  std::uint32_t options = 0;
  bool stayOnTop = false;
  bool buttonsHidden = false;
  std::map<std::int64_t, FakeControl> controls;
  std::vector<std::int64_t> order;  // controls in creation order
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
  bool statusItemShown = false;
  const Image* statusImage = nullptr;
  bool statusImageTemplate = false;
  Text statusTitle, statusToolTip;
  std::optional<MenuModel> menu;  // the attached menu as last rendered
  std::map<std::int64_t, FakeWindow> windows;
  std::vector<AlertSpec> alerts;
  std::deque<int> alertAnswers;  // button index per alert; default 0
  std::optional<Text> clipboard;
  std::vector<std::string> desktopPictures;
  std::vector<std::string> shellCommands;
  std::map<HotkeyPort::HotkeyRef, FakeGrab> grabs;
  std::vector<std::string> log;  // status item, window and hotkey operations in order
  int activations = 0;
  int statusItemBuilds = 0;

  // ------------------------------------------------ the machine
  int osMajor = 12;
  std::uint64_t memory = 16ull << 30;
  double scale = 1.0;
  bool dark = false;
  std::string home = "/nonexistent/";
  std::string exePath = "/opt/larkspur/bin/larkspur";
  bool installed = true;
  bool handlerInstallFails = false;
  std::set<std::pair<int, std::uint32_t>> refusedGrabs;  // held by another client
  std::set<HotkeyPort::HotkeyRef> failingReleases;
  std::vector<int> sleeps;
  bool accessory = false;

  // ------------------------------------------------ acting as the user
  // Each scripted action is one system event for EventQueue::wait.
  void chooseMenuItem(std::int64_t id);
  void pressHotkey(int keyCode, std::uint32_t modifiers);
  void tick();  // every running timer fires once
  void clickButton(std::int64_t window, std::int64_t controlId);
  void pressClose(std::int64_t window);
  void typeKey(KeyEvent key);  // offered to the queue's filters first
  void idle();                 // a system event that produces nothing
  void requestTermination();   // SIGTERM and its kin
  void then(std::function<void()> action);  // any other system event
  std::size_t pendingActions() const { return script_.size(); }

  // A menu entry as the user sees it, or null.
  const MenuEntry* entry(std::int64_t id) const;
  std::vector<std::string> menuLines() const;  // "2 Next…" / "---", for readable asserts
  const FakeControl* control(std::int64_t window, std::int64_t id) const;
  std::vector<const FakeControl*> controls(std::int64_t window) const;
  std::size_t runningTimers() const { return timers_.size(); }

  // ------------------------------------------------ StatusItemPort
  void createStatusItem() override;
  void removeStatusItem() override;
  bool hasStatusItem() const override { return statusItemShown; }
  void setStatusImage(const Image* image, bool templateImage) override;
  void setStatusTitle(const Text& title) override;
  void setStatusToolTip(const Text& toolTip) override;
  void setStatusMenu(const MenuModel* model) override;
  void menuItemEnabledChanged(const MenuModel& model, std::int64_t id) override;
  void menuFreed(const MenuModel& model) override;

  // ------------------------------------------------ WindowPort
  bool openWindow(std::int64_t number, Rect content, const Text& title,
                  std::uint32_t options) override;
  void closeWindow(std::int64_t number) override;
  void setStayOnTop(std::int64_t number, bool on) override;
  void hideMinimiseAndZoom(std::int64_t number) override;
  void addControl(std::int64_t window, std::int64_t controlId, const ControlSpec& spec) override;
  void removeControl(std::int64_t window, std::int64_t controlId) override;
  void setControlText(std::int64_t window, std::int64_t controlId, const Text& text) override;
  Text controlText(std::int64_t window, std::int64_t controlId) const override;
  void setControlImage(std::int64_t window, std::int64_t controlId, const Image* image) override;
  void resetSelection(std::int64_t, std::int64_t) override {}

  // ------------------------------------------------ TimerPort
  TimerHandle startTimer(int intervalMs, std::function<void()> fire) override;
  void stopTimer(TimerHandle handle) override;

  // ------------------------------------------------ AlertPort
  int runAlert(const AlertSpec& spec) override;

  // ------------------------------------------------ HotkeyPort
  bool installHotkeyHandler(std::function<void(Identity)> onPressed) override;
  std::optional<HotkeyRef> registerHotkey(int keyCode, std::uint32_t modifiers,
                                          Identity identity) override;
  bool unregisterHotkey(HotkeyRef ref) override;

  // ------------------------------------------------ SystemPort
  int osMajorVersion() const override { return osMajor; }
  std::uint64_t physicalMemory() const override { return memory; }
  double screenScale() const override { return scale; }
  bool darkAppearance() const override { return dark; }
  std::string homeDirectory() const override { return home; }
  std::string executablePath() const override { return exePath; }
  bool playerInstalled() const override { return installed; }
  void setAccessoryPolicy() override { accessory = true; }
  void activateApp() override { ++activations; }
  void sleepMs(int ms) override { sleeps.push_back(ms); }
  void setClipboardText(const Text& text) override { clipboard = text; }
  void setDesktopPicture(const std::string& path) override { desktopPictures.push_back(path); }
  bool launchShell(const std::string& command) override {
    shellCommands.push_back(command);
    return true;
  }
  [[noreturn]] void exitProcess(int status) override { throw ProcessExit{status}; }

  // ------------------------------------------------ SystemEventSource
  bool dispatchOne(int timeoutMs) override;
  void wake() override { ++wakes; }
  bool hasPending() override { return !script_.empty(); }
  int wakes = 0;

 private:
  EventQueue& queue_;
  std::deque<std::function<void()>> script_;
  struct Timer {
    int intervalMs;
    std::function<void()> fire;
  };
  std::map<TimerHandle, Timer> timers_;
  TimerHandle nextTimer_ = 1;
  std::function<void(Identity)> hotkeyHandler_;
  HotkeyRef nextRef_ = 1;
};

}  // namespace larkspur::test
