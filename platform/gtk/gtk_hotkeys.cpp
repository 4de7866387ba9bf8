// System-wide hotkeys as X11 key grabs on the root window. The grabs name
// physical keys by keycode, so a shortcut stays on its key whatever the
// layout; a keysym-based binder (libkeybinder) would move it with the layout.
#include <X11/XKBlib.h>
#include <X11/keysym.h>
#include <gdk/gdk.h>
#include <gdk/gdkx.h>

#include <algorithm>
#include <vector>

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

}  // namespace

bool GtkDesktop::installHotkeyHandler(std::function<void(Identity)> onPressed) {
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
                                                                Identity identity) {
  if (!impl_->hotkeysReady) return std::nullopt;
  unsigned keycode = keycodeForVirtualKey(keyCode);
  if (!keycode) return std::nullopt;
  for (const auto& [ref, b] : impl_->hotkeys)
    if (b->keyCode == keyCode && b->modifiers == modifiers) return std::nullopt;
  auto binding = std::make_unique<HotkeyBinding>(
      HotkeyBinding{keycode, realModifiers(modifiers), keyCode, modifiers, identity});
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
  grab(*it->second, false);
  impl_->hotkeys.erase(it);
  return true;
}

void GtkDesktop::Impl::releaseHotkeys() {
  for (auto& [ref, binding] : hotkeys) grab(*binding, false);
  hotkeys.clear();
  onHotkey = nullptr;
  if (hotkeysReady) gdk_window_remove_filter(gdk_get_default_root_window(), onRootEvent, this);
  hotkeysReady = false;
}

}  // namespace larkspur
