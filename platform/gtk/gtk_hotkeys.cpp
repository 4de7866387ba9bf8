// System-wide hotkeys: X11 key grabs on the root window, or on a Wayland
// session the shortcuts of the desktop portal. The grabs name physical keys
// by keycode, so a shortcut stays on its key whatever the layout; a
// keysym-based binder (libkeybinder) would move it with the layout.
#include <X11/XKBlib.h>
#include <X11/keysym.h>
#include <gdk/gdk.h>
#include <gdk/gdkx.h>

#include <algorithm>
#include <vector>

#include "platform/command_service.h"
#include "platform/gtk/gtk_desktop_impl.h"
#include "platform/gtk/key_map.h"

namespace larkspur {
namespace {

constexpr std::uint32_t kCommand = 256;
constexpr std::uint32_t kShift = 512;
constexpr std::uint32_t kOption = 2048;
constexpr std::uint32_t kControl = 4096;

bool onX11() {
  GdkDisplay* display = gdk_display_get_default();
  return display && GDK_IS_X11_DISPLAY(display);
}

Display* xDisplay() { return GDK_DISPLAY_XDISPLAY(gdk_display_get_default()); }

// Every combination of the lock modifiers, so that a hotkey fires whatever
// lock is on.
std::vector<unsigned> lockCombinations(unsigned mods) {
  Display* x = xDisplay();
  unsigned locks[] = {LockMask, XkbKeysymToModifiers(x, XK_Num_Lock),
                      XkbKeysymToModifiers(x, XK_Scroll_Lock)};
  std::vector<unsigned> out;
  for (unsigned subset = 0; subset < 8; ++subset) {
    unsigned m = 0;
    for (unsigned i = 0; i < 3; ++i)
      if (subset & (1u << i)) m |= locks[i] & ~mods;
    if (std::find(out.begin(), out.end(), m) == out.end()) out.push_back(m);
  }
  return out;
}

unsigned lockMask() {
  unsigned all = 0;
  for (unsigned m : lockCombinations(0)) all |= m;
  return all;
}

unsigned realModifiers(std::uint32_t modifiers) {
  unsigned mods = 0;
  if (modifiers & kShift) mods |= ShiftMask;
  if (modifiers & kControl) mods |= ControlMask;
  if (modifiers & kOption) mods |= Mod1Mask;
  if (modifiers & kCommand) {
    GdkModifierType super = GDK_SUPER_MASK;
    gdk_keymap_map_virtual_modifiers(gdk_keymap_get_for_display(gdk_display_get_default()), &super);
    unsigned real = super & 0xFF;
    mods |= real ? real : Mod4Mask;
  }
  return mods;
}

// Answers whether the X server granted every combination; a failed grab
// means another client holds the key.
bool grab(const HotkeyBinding& b, bool on) {
  GdkDisplay* display = gdk_display_get_default();
  Display* x = xDisplay();
  Window root = DefaultRootWindow(x);
  gdk_x11_display_error_trap_push(display);
  for (unsigned locks : lockCombinations(b.mods)) {
    if (on) XGrabKey(x, static_cast<int>(b.keycode), b.mods | locks, root, False, GrabModeAsync, GrabModeAsync);
    else XUngrabKey(x, static_cast<int>(b.keycode), b.mods | locks, root);
  }
  return gdk_x11_display_error_trap_pop(display) == 0;
}

GdkFilterReturn onRootEvent(GdkXEvent* xevent, GdkEvent*, gpointer data) {
  auto* impl = static_cast<GtkDesktop::Impl*>(data);
  const XEvent* ev = static_cast<XEvent*>(xevent);
  if (ev->type != KeyPress) return GDK_FILTER_CONTINUE;
  unsigned state = ev->xkey.state & 0xFF & ~impl->hotkeyLocks;
  for (const auto& [ref, b] : impl->hotkeys) {
    if (b->keycode != ev->xkey.keycode || b->mods != state) continue;
    // Copied: the handler may unregister the hotkey.
    HotkeyPort::Identity identity = b->identity;
    if (impl->onHotkey) impl->onHotkey(identity);
    return GDK_FILTER_REMOVE;
  }
  return GDK_FILTER_CONTINUE;
}

// The keysym name the layout gives the key, unshifted: the portal's triggers
// name keys that way.
std::string keyNameFor(int keyCode) {
  unsigned keycode = keycodeForVirtualKey(keyCode);
  GdkKeymap* keymap = gdk_keymap_get_for_display(gdk_display_get_default());
  GdkKeymapKey* keys = nullptr;
  guint* keyvals = nullptr;
  gint count = 0;
  std::string name;
  if (keycode && gdk_keymap_get_entries_for_keycode(keymap, keycode, &keys, &keyvals, &count)) {
    const char* n = count > 0 ? gdk_keyval_name(gdk_keyval_to_lower(keyvals[0])) : nullptr;
    if (n) name = n;
    g_free(keys);
    g_free(keyvals);
  }
  return name;
}

// In the XDG shortcuts syntax: modifiers, then the key's keysym name.
std::string portalTrigger(const std::string& keyName, std::uint32_t modifiers) {
  std::string trigger;
  if (modifiers & kControl) trigger += "CTRL+";
  if (modifiers & kOption) trigger += "ALT+";
  if (modifiers & kShift) trigger += "SHIFT+";
  if (modifiers & kCommand) trigger += "LOGO+";
  return trigger + keyName;
}

// The portal gets all six actions at once, after the changes of one round of
// the loop (a status-item build registers six). Those without a stored
// shortcut are listed too, so that the desktop's settings can give them one.
gboolean syncPortal(gpointer data) {
  auto* impl = static_cast<GtkDesktop::Impl*>(data);
  impl->portalSync = 0;
  std::vector<PortalShortcut> shortcuts;
  for (const CommandAction& action : kCommandActions) {
    shortcuts.push_back({action.name, action.description, ""});
    for (const auto& [ref, b] : impl->hotkeys)
      if (b->action && std::string_view(b->action) == action.name)
        shortcuts.back().trigger = b->trigger;
  }
  if (impl->portal) impl->portal->setShortcuts(std::move(shortcuts));
  return G_SOURCE_REMOVE;
}

void schedulePortalSync(GtkDesktop::Impl* impl) {
  if (impl->byPortal && !impl->portalSync) impl->portalSync = g_idle_add(syncPortal, impl);
}

// The event a grab's press would post, also for an action whose shortcut
// the user set in the desktop's settings rather than ours.
void onPortalShortcut(GtkDesktop::Impl* impl, const std::string& id) {
  if (const CommandAction* action = findCommandAction(id))
    impl->queue.post(action->eventCode, NotGiven, NotGiven, NotGiven, nullptr);
}

}  // namespace

bool GtkDesktop::installHotkeyHandler(std::function<void(Identity)> onPressed) {
  // On a Wayland session there are hotkeys when the portal offers them, and
  // none otherwise: the program runs, driven by the menu and --command.
  if (impl_->byPortal) {
    Impl* impl = impl_.get();
    if (!impl->portal && impl->bus)
      impl->portal = std::make_unique<GlobalShortcutsPortal>(
          impl->bus, [impl](const std::string& id) { onPortalShortcut(impl, id); });
    impl->onHotkey = std::move(onPressed);
    impl->hotkeysReady = true;
    schedulePortalSync(impl);
    return true;
  }
  if (!onX11()) return false;
  if (!impl_->hotkeysReady) {
    gdk_window_add_filter(gdk_get_default_root_window(), onRootEvent, impl_.get());
    impl_->hotkeysReady = true;
  }
  impl_->hotkeyLocks = lockMask();
  impl_->onHotkey = std::move(onPressed);
  return true;
}

std::optional<HotkeyPort::HotkeyRef> GtkDesktop::registerHotkey(int keyCode,
                                                                std::uint32_t modifiers,
                                                                Identity identity,
                                                                std::int64_t eventCode) {
  if (!impl_->hotkeysReady) return std::nullopt;
  unsigned keycode = keycodeForVirtualKey(keyCode);
  if (!keycode) return std::nullopt;
  for (const auto& [ref, b] : impl_->hotkeys)
    if (b->keyCode == keyCode && b->modifiers == modifiers) return std::nullopt;
  if (impl_->byPortal) {
    // The portal lists what a shortcut does: only the six actions have a
    // place there.
    const CommandAction* action = commandActionForEvent(eventCode);
    std::string keyName = keyNameFor(keyCode);
    if (!action || keyName.empty()) return std::nullopt;
    HotkeyRef ref = impl_->nextHotkey++;
    impl_->hotkeys[ref] = std::make_unique<HotkeyBinding>(HotkeyBinding{
        0, 0, keyCode, modifiers, identity, portalTrigger(keyName, modifiers), action->name});
    schedulePortalSync(impl_.get());
    return ref;
  }
  auto binding = std::make_unique<HotkeyBinding>(
      HotkeyBinding{keycode, realModifiers(modifiers), keyCode, modifiers, identity, "", nullptr});
  if (!grab(*binding, true)) {
    grab(*binding, false);  // those granted before the refusal
    return std::nullopt;
  }
  HotkeyRef ref = impl_->nextHotkey++;
  impl_->hotkeys[ref] = std::move(binding);
  return ref;
}

bool GtkDesktop::unregisterHotkey(HotkeyRef ref) {
  auto it = impl_->hotkeys.find(ref);
  if (it == impl_->hotkeys.end()) return false;
  if (impl_->byPortal) schedulePortalSync(impl_.get());
  else grab(*it->second, false);
  impl_->hotkeys.erase(it);
  return true;
}

void GtkDesktop::Impl::releaseHotkeys() {
  if (portalSync) g_source_remove(portalSync);
  portalSync = 0;
  portal.reset();
  if (!byPortal)
    for (auto& [ref, binding] : hotkeys) grab(*binding, false);
  hotkeys.clear();
  onHotkey = nullptr;
  if (hotkeysReady && !byPortal) gdk_window_remove_filter(gdk_get_default_root_window(), onRootEvent, this);
  hotkeysReady = false;
}

}  // namespace larkspur
