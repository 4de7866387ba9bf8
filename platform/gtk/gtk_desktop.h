#pragma once
// The real desktop on Linux: GTK 3 windows and dialogs, the tray item of
// platform/tray, hotkeys (X11 grabs, or the portal of platform/portal on a
// Wayland session) and the GLib main loop as the source of system
// events. Only main.cpp and the desktop tests include this header; no toolkit
// header leaks through it.
#include <memory>
#include <string>

#include "platform/endpoints.h"
#include "platform/event_queue.h"
#include "platform/ports.h"

namespace larkspur {

class GtkDesktop final : public Desktop {
 public:
  // Initialises GTK and the program locale. Null, with the reason in *error,
  // when there is no display to open.
  static std::unique_ptr<GtkDesktop> create(EventQueue& queue, const Endpoints& endpoints,
                                            std::string* error);
  ~GtkDesktop() override;
  GtkDesktop(const GtkDesktop&) = delete;
  GtkDesktop& operator=(const GtkDesktop&) = delete;

  // StatusItemPort
  void createStatusItem() override;
  void removeStatusItem() override;
  bool hasStatusItem() const override;
  void setStatusImage(const Image* image, bool templateImage) override;
  void setStatusTitle(const Text& title) override;
  void setStatusToolTip(const Text& toolTip) override;
  void setStatusMenu(const MenuModel* menu) override;
  void menuItemEnabledChanged(const MenuModel& menu, std::int64_t id) override;
  void menuFreed(const MenuModel& menu) override;
  void setStatusMouseActions(const StatusMouseActions& actions) override;
  void setStatusIconFolder(const std::string& folder) override;
  bool statusMenuOpen() const override;

  // WindowPort
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
  void resetSelection(std::int64_t window, std::int64_t controlId) override;

  // TimerPort
  TimerHandle startTimer(int intervalMs, std::function<void()> fire) override;
  void stopTimer(TimerHandle handle) override;

  // AlertPort
  int runAlert(const AlertSpec& spec) override;

  // HotkeyPort
  bool installHotkeyHandler(std::function<void(Identity)> onPressed) override;
  std::optional<HotkeyRef> registerHotkey(int keyCode, std::uint32_t modifiers,
                                          Identity identity, std::int64_t eventCode = 0) override;
  bool unregisterHotkey(HotkeyRef ref) override;

  // SystemPort
  int osMajorVersion() const override;
  std::uint64_t physicalMemory() const override;
  double screenScale() const override;
  bool darkAppearance() const override;
  std::string homeDirectory() const override;
  std::string executablePath() const override;
  bool playerInstalled() const override;
  void setAccessoryPolicy() override;
  void activateApp() override;
  void sleepMs(int ms) override;
  void setClipboardText(const Text& text) override;
  void setDesktopPicture(const std::string& path) override;
  bool launchShell(const std::string& command) override;
  [[noreturn]] void exitProcess(int status) override;

  // SystemEventSource
  bool dispatchOne(int timeoutMs) override;
  void wake() override;
  bool hasPending() override;

  struct Impl;

 private:
  GtkDesktop(EventQueue& queue, const Endpoints& endpoints);
  std::unique_ptr<Impl> impl_;
};

}  // namespace larkspur
