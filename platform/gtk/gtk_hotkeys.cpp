// System-wide hotkeys as X11 key grabs through libkeybinder.
#include <gdk/gdk.h>
#include <gdk/gdkx.h>
#include <keybinder.h>

#include "platform/gtk/gtk_desktop_impl.h"
#include "platform/gtk/key_map.h"

namespace larkspur {
namespace {

constexpr std::uint32_t kCommand = 256;
constexpr std::uint32_t kShift = 512;
constexpr std::uint32_t kOption = 2048;
constexpr std::uint32_t kControl = 4096;

void onHotkeyPressed(const char*, void* data) {
  auto* binding = static_cast<HotkeyBinding*>(data);
  if (binding->impl->onHotkey) binding->impl->onHotkey(binding->identity);
}

bool onX11() {
  GdkDisplay* display = gdk_display_get_default();
  return display && GDK_IS_X11_DISPLAY(display);
}

}  // namespace

bool GtkDesktop::installHotkeyHandler(std::function<void(Identity)> onPressed) {
  if (!onX11()) return false;
  if (!impl_->hotkeysReady) {
    keybinder_init();
    // Cooked accelerators fold Shift into the keysym, and Shift+letter would
    // never match a grab of the letter.
    keybinder_set_use_cooked_accelerators(FALSE);
    impl_->hotkeysReady = true;
  }
  impl_->onHotkey = std::move(onPressed);
  return true;
}

std::optional<HotkeyPort::HotkeyRef> GtkDesktop::registerHotkey(int keyCode,
                                                                std::uint32_t modifiers,
                                                                Identity identity) {
  if (!impl_->hotkeysReady) return std::nullopt;
  std::uint32_t keysym = keysymForVirtualKey(keyCode);
  const char* keyName = keysym ? gdk_keyval_name(keysym) : nullptr;
  if (!keyName) return std::nullopt;
  for (const auto& [ref, b] : impl_->hotkeys)
    if (b->keyCode == keyCode && b->modifiers == modifiers) return std::nullopt;
  std::string accelerator;
  if (modifiers & kCommand) accelerator += "<Super>";
  if (modifiers & kShift) accelerator += "<Shift>";
  if (modifiers & kOption) accelerator += "<Alt>";
  if (modifiers & kControl) accelerator += "<Control>";
  accelerator += keyName;
  auto binding = std::make_unique<HotkeyBinding>(
      HotkeyBinding{accelerator, keyCode, modifiers, identity, impl_.get()});
  // Refused when another client holds the combination: the grab fails.
  if (!keybinder_bind_full(accelerator.c_str(), onHotkeyPressed, binding.get(), nullptr))
    return std::nullopt;
  HotkeyRef ref = impl_->nextHotkey++;
  impl_->hotkeys[ref] = std::move(binding);
  return ref;
}

bool GtkDesktop::unregisterHotkey(HotkeyRef ref) {
  auto it = impl_->hotkeys.find(ref);
  if (it == impl_->hotkeys.end()) return false;
  keybinder_unbind(it->second->accelerator.c_str(), onHotkeyPressed);
  impl_->hotkeys.erase(it);
  return true;
}

void GtkDesktop::Impl::releaseHotkeys() {
  for (auto& [ref, binding] : hotkeys) keybinder_unbind(binding->accelerator.c_str(), onHotkeyPressed);
  hotkeys.clear();
  onHotkey = nullptr;
}

}  // namespace larkspur
