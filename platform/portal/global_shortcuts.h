#pragma once
// Global shortcuts through the desktop portal (org.freedesktop.portal.
// GlobalShortcuts), the way a Wayland session lets a program have them:
// one portal session, the shortcuts bound into it with a description and a
// preferred trigger each, and the portal's Activated signal reported by id.
// A portal that is missing, refuses or goes away leaves no shortcuts and no
// error; one that comes back is asked again.
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace larkspur {

struct PortalShortcut {
  std::string id;
  std::string description;
  std::string trigger;  // in the XDG shortcuts syntax ("CTRL+ALT+n"); may be empty
  bool operator==(const PortalShortcut&) const = default;
};

class GlobalShortcutsPortal {
 public:
  // `bus` is a GDBusConnection* to the session bus (kept as void* so that no
  // GLib header leaks); `onActivated` gets a bound shortcut's id.
  GlobalShortcutsPortal(void* bus, std::function<void(const std::string& id)> onActivated);
  ~GlobalShortcutsPortal();
  GlobalShortcutsPortal(const GlobalShortcutsPortal&) = delete;
  GlobalShortcutsPortal& operator=(const GlobalShortcutsPortal&) = delete;

  // Binds these shortcuts in place of the ones before, in a fresh session
  // when some were bound already.
  void setShortcuts(std::vector<PortalShortcut> shortcuts);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace larkspur
