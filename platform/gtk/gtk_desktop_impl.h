#pragma once
// The state behind GtkDesktop, shared by its files. Private to platform/gtk.
#include <gtk/gtk.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/gtk/gtk_desktop.h"
#include "platform/gtk/gtk_pixbuf.h"
#include "platform/portal/global_shortcuts.h"
#include "platform/tray/tray_item.h"

namespace larkspur {

struct GtkControl {
  ControlKind kind = ControlKind::Label;
  GtkWidget* widget = nullptr;  // the label, button, image or entry
  GtkWidget* outer = nullptr;   // what sits on the window's GtkLayout
  Rect frame;
};

struct GtkWindowSlot {
  GtkWidget* window = nullptr;
  GtkWidget* content = nullptr;  // the GtkLayout the controls sit on
  std::uint32_t options = 0;
  std::map<std::int64_t, GtkControl> controls;
};

struct HotkeyBinding {
  unsigned keycode;  // X11: the X server's, of the physical key
  unsigned mods;     // X11: the X server's modifier bits
  int keyCode;
  std::uint32_t modifiers;
  HotkeyPort::Identity identity;
  std::string trigger;           // portal: the preferred trigger
  const char* action = nullptr;  // portal: the shortcut id
};

struct GtkDesktop::Impl {
  Impl(EventQueue& q, const Endpoints& e) : queue(q), endpoints(e) {}

  EventQueue& queue;
  Endpoints endpoints;

  // Event source.
  std::vector<guint> signalSources;
  // Set once a termination signal came in: the Quit it queued must not wait
  // behind a modal alert, so alerts running then are dismissed and later
  // ones are not shown.
  bool terminationRequested = false;
  std::vector<GtkWidget*> runningAlerts;  // innermost last
  struct Timer {
    Impl* impl = nullptr;
    guint source = 0;
    std::function<void()> fire;
    bool held = false;  // came due while a tray menu was open
  };
  std::map<TimerHandle, std::unique_ptr<Timer>> timers;
  TimerHandle nextTimer = 1;
  // Above zero while dispatchOne runs an iteration: whatever a callback
  // queues then is seen as soon as the iteration returns.
  int dispatchDepth = 0;

  // Status item: one for the life of the process, made at the first build.
  GDBusConnection* bus = nullptr;  // ours, held so the item's bus name stays put
  std::unique_ptr<TrayItem> tray;
  bool statusItemShown = false;  // between a removal and the next build: false
  std::string iconFolder;
  StatusMouseActions mouseActions;

  // Windows.
  std::map<std::int64_t, GtkWindowSlot> windows;

  // Hotkeys.
  bool byPortal = false;  // a Wayland session: the portal, not X11 grabs
  std::unique_ptr<GlobalShortcutsPortal> portal;
  guint portalSync = 0;  // an idle source that hands the bindings over
  bool hotkeysReady = false;
  unsigned hotkeyLocks = 0;  // the lock modifiers' bits, which a press may carry
  std::function<void(Identity)> onHotkey;
  std::map<HotkeyRef, std::unique_ptr<HotkeyBinding>> hotkeys;
  HotkeyRef nextHotkey = 1;

  // Lookup of a capture field by its widget, for the key-press filter.
  bool findShortcutField(GtkWidget* widget, std::int64_t* window, std::int64_t* control) const;
  GtkControl* control(std::int64_t window, std::int64_t id);
  const GtkControl* control(std::int64_t window, std::int64_t id) const;

  void fireHeldTimers();
  void destroyWindow(std::int64_t number);
  void releaseHotkeys();
  void teardown();
};

}  // namespace larkspur
