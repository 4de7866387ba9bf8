#pragma once
// The narrow interfaces through which the logic reaches the outside world.
// Each has one real implementation (platform/gtk, platform/mpris, the libcurl
// and POSIX wrappers) and one in-process fake (tests/support). None of them
// throws; failures come back as values.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/image.h"
#include "platform/text.h"

namespace larkspur {

class EventQueue;

// ---------------------------------------------------------------- player
// The answer of one script: a descriptor that is either a plain value (no
// items) with an optional text form, or a list whose items each may or may
// not have a text form. Texts arrive as UTF-8 from outside and may be invalid.
struct ScriptResult {
  std::optional<std::string> text;
  std::vector<std::optional<std::string>> items;
  bool isList = false;
};

class ScriptService {
 public:
  virtual ~ScriptService() = default;
  // Runs one fixed script text; nullopt when execution produced no result.
  virtual std::optional<ScriptResult> execute(TextView script) = 0;
  // The process id of the player answering the scripts; 0 when unknown.
  virtual long playerProcessId() { return 0; }
  // `changed` runs on the main thread (from the desktop's loop, or while a
  // script runs) whenever the player's status or item may have changed.
  virtual void watchChanges(std::function<void()> changed) = 0;
  // How long what the player told us stays good without a change call:
  // 0 while it must be polled (it has not shown it reports its changes, or
  // nothing is known of it), -1 for as long as no change comes.
  virtual int trustedForMs() const = 0;
};

// ---------------------------------------------------------------- menus
struct MenuEntry {
  bool separator = false;
  std::int64_t id = 0;
  Text text;
  // Either an image of ours (the artwork slot) or a themed icon by name; both
  // empty means the blank image that keeps texts aligned.
  const Image* image = nullptr;
  std::string iconName;
  bool enabled = true;
};

struct MenuModel {
  int number = 0;
  std::vector<MenuEntry> entries;
  MenuEntry* find(std::int64_t id) {
    for (auto& e : entries)
      if (!e.separator && e.id == id) return &e;
    return nullptr;
  }
};

// ---------------------------------------------------------------- status item
// The status menu's entries that mouse actions on the item stand for: a
// middle click, and the wheel turned away from or towards the user. Each
// chooses its entry as a click on it would, and only while the attached menu
// holds it enabled. 0: no entry.
struct StatusMouseActions {
  std::int64_t middleClick = 0;
  std::int64_t wheelAway = 0;
  std::int64_t wheelTowards = 0;
};

class StatusItemPort {
 public:
  virtual ~StatusItemPort() = default;
  // A removal followed by a creation (a rebuild) may keep the desktop's own
  // item: what the new build sets again replaces what changed.
  virtual void createStatusItem() = 0;
  virtual void removeStatusItem() = 0;
  virtual bool hasStatusItem() const = 0;
  // Null clears the image; `templateImage` asks the desktop to recolour it.
  virtual void setStatusImage(const Image* image, bool templateImage) = 0;
  virtual void setStatusTitle(const Text& title) = 0;
  virtual void setStatusToolTip(const Text& toolTip) = 0;
  // The model stays owned by MenuTable and alive until menuFreed.
  virtual void setStatusMenu(const MenuModel* menu) = 0;
  // Called after MenuTable changed an entry's enabled state in place.
  virtual void menuItemEnabledChanged(const MenuModel& menu, std::int64_t id) = 0;
  virtual void menuFreed(const MenuModel& menu) = 0;
  virtual void setStatusMouseActions(const StatusMouseActions& actions) = 0;
  // The folder of the program's own images, where the desktop finds the
  // status image drawn for recolouring ("larkspur-status-symbolic.svg").
  virtual void setStatusIconFolder(const std::string& folder) = 0;
  // A host shows the menu now: ticks wait until it closes.
  virtual bool statusMenuOpen() const = 0;
};

// ---------------------------------------------------------------- windows
struct Rect {
  double x = 0, y = 0, width = 0, height = 0;
};

struct Font {
  double size = 13;
  bool bold = false;
};

enum class ControlKind { Label, Button, ImageView, ShortcutField };
enum class Align { Left, Center };

struct ControlSpec {
  ControlKind kind = ControlKind::Label;
  Rect frame;
  Text text;
  Font font;
  Align align = Align::Left;
  std::int32_t textColour = -1;  // 0xRRGGBB, -1 for the default colour
  int bezelStyle = 0;            // 12: rounded rectangle; 1: rounded
  bool isDefault = false;        // Return presses it
  Text placeholder;
  const Image* image = nullptr;  // image views
  bool groovedFrame = false;
};

// Window options: 0x01 invisible, 0x04 close button, 0x40 centred.
class WindowPort {
 public:
  virtual ~WindowPort() = default;
  virtual bool openWindow(std::int64_t number, Rect content, const Text& title,
                          std::uint32_t options) = 0;
  virtual void closeWindow(std::int64_t number) = 0;
  virtual void setStayOnTop(std::int64_t number, bool on) = 0;
  virtual void hideMinimiseAndZoom(std::int64_t number) = 0;
  virtual void addControl(std::int64_t window, std::int64_t controlId,
                          const ControlSpec& spec) = 0;
  virtual void removeControl(std::int64_t window, std::int64_t controlId) = 0;
  virtual void setControlText(std::int64_t window, std::int64_t controlId,
                              const Text& text) = 0;
  virtual Text controlText(std::int64_t window, std::int64_t controlId) const = 0;
  // An image view takes the image's display size plus `inset` each way.
  virtual void setControlImage(std::int64_t window, std::int64_t controlId,
                               const Image* image) = 0;
  // Puts the insertion point at the start of a text control, nothing selected.
  virtual void resetSelection(std::int64_t window, std::int64_t controlId) = 0;
};

// ---------------------------------------------------------------- timers
class TimerPort {
 public:
  virtual ~TimerPort() = default;
  using TimerHandle = std::uint64_t;
  // A repeating timer whose first firing comes one interval from now. The
  // callback runs on the main thread during EventQueue::wait.
  virtual TimerHandle startTimer(int intervalMs, std::function<void()> fire) = 0;
  virtual void stopTimer(TimerHandle handle) = 0;
};

// ---------------------------------------------------------------- alerts
enum class AlertIcon { Application, Note, Stop, Caution, Custom };

struct AlertSpec {
  Text message;
  Text informative;
  AlertIcon icon = AlertIcon::Application;
  const Image* customIcon = nullptr;  // AlertIcon::Custom
  bool informationalStyle = false;
  std::vector<Text> buttons;  // empty: the platform's single default button
  int defaultButton = 0;
};

class AlertPort {
 public:
  virtual ~AlertPort() = default;
  // Runs modally; answers the index of the pressed button (0 for the single
  // default button), or -1 when the dialog was dismissed without a choice.
  virtual int runAlert(const AlertSpec& spec) = 0;
};

// ---------------------------------------------------------------- hotkeys
class HotkeyPort {
 public:
  virtual ~HotkeyPort() = default;
  using Identity = std::uint64_t;
  using HotkeyRef = std::uint64_t;
  virtual bool installHotkeyHandler(std::function<void(Identity)> onPressed) = 0;
  // keyCode is the layout-independent key number used by the key-name table;
  // modifiers are 256 Command, 512 Shift, 2048 Option, 4096 Control (summed).
  // eventCode is what a press posts: desktops that list shortcuts by what
  // they do take only the six actions' codes. nullopt when the desktop
  // refuses the grab.
  virtual std::optional<HotkeyRef> registerHotkey(int keyCode, std::uint32_t modifiers,
                                                  Identity identity,
                                                  std::int64_t eventCode = 0) = 0;
  virtual bool unregisterHotkey(HotkeyRef ref) = 0;
};

// ---------------------------------------------------------------- the machine
class SystemPort {
 public:
  virtual ~SystemPort() = default;
  virtual int osMajorVersion() const = 0;  // Linux answers a supported value
  virtual std::uint64_t physicalMemory() const = 0;
  virtual double screenScale() const = 0;  // 1.0 without a screen
  virtual bool darkAppearance() const = 0;
  virtual std::string homeDirectory() const = 0;  // ends in "/"
  virtual std::string executablePath() const = 0;
  virtual bool playerInstalled() const = 0;
  virtual void setAccessoryPolicy() = 0;
  virtual void activateApp() = 0;
  virtual void sleepMs(int ms) = 0;
  virtual void setClipboardText(const Text& text) = 0;
  virtual void setDesktopPicture(const std::string& path) = 0;
  // Starts `/bin/sh -c command`, detached, not waited for.
  virtual bool launchShell(const std::string& command) = 0;
  // Tears the desktop down and ends the process. The fake throws
  // ProcessExit so whole exit paths can be tested in process.
  [[noreturn]] virtual void exitProcess(int status) = 0;
};

// ---------------------------------------------------------------- system events
// A key press as the capture field sees it, already mapped onto the flags and
// virtual key codes the shortcut encoding uses.
struct KeyEvent {
  std::uint32_t modifierFlags = 0;  // Shift 1<<17, Control 1<<18, Option 1<<19, Command 1<<20
  int virtualKeyCode = 0;
  char16_t character = 0;
  std::int64_t focusedWindow = -1;
  std::int64_t focusedControl = -1;
};

class SystemEventSource {
 public:
  virtual ~SystemEventSource() = default;
  // Fetches and dispatches at most one system event, waiting up to timeoutMs
  // (negative: without limit, 0: poll). Dispatching may queue application
  // events and offers key presses to the queue's filters first. Answers false
  // when nothing arrived in time.
  virtual bool dispatchOne(int timeoutMs) = 0;
  // Makes a blocked dispatchOne return; safe to call from a dispatch callback.
  virtual void wake() = 0;
  virtual bool hasPending() = 0;
};

// ---------------------------------------------------------------- HTTP
struct HttpResponse {
  Text status;   // "0" when no response arrived
  Text body;
  Text error;
  Text headers;
};

class HttpPort {
 public:
  virtual ~HttpPort() = default;
  // nullopt when no request could be made at all.
  virtual std::optional<HttpResponse> fetch(const Text& url) = 0;
  virtual bool downloadToFile(const Text& url, const Text& path) = 0;
  virtual void setConnectTimeout(int ms) = 0;
};

// ---------------------------------------------------------------- processes
class LauncherPort {
 public:
  virtual ~LauncherPort() = default;
  virtual int open(const Text& program, const Text& parameters, const Text& directory) = 0;
};

// ---------------------------------------------------------------- sound server
// One playback stream of the sound server, with what its program said of
// itself (0 and empty texts when it said nothing).
struct SoundStream {
  std::uint32_t index = 0;
  long processId = 0;
  std::string applicationName;
  std::string binary;
  bool muted = false;
};

class SoundPort {
 public:
  virtual ~SoundPort() = default;
  // The playback streams as last reported; empty while there is no
  // connection. Starts connecting when needed, never waiting for it.
  virtual std::vector<SoundStream> playbackStreams() = 0;
  virtual void setStreamMuted(std::uint32_t index, bool muted) = 0;
  // Before the process ends: waits briefly until the server has taken the
  // changes sent so far.
  virtual void flush() = 0;
  // The parent of process `pid`, 0 when unknown.
  virtual long parentProcess(long pid) = 0;
};

// Everything the desktop provides, as one object for wiring. Consumers take
// the narrow interface they need.
class Desktop : public StatusItemPort,
                public WindowPort,
                public TimerPort,
                public AlertPort,
                public HotkeyPort,
                public SystemPort,
                public SystemEventSource {};

}  // namespace larkspur
