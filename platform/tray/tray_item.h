#pragma once
// The program's one tray item for the whole of its life: a StatusNotifierItem
// of our own on the session bus, its menu exported as a dbusmenu, and while
// no StatusNotifierWatcher is there an XEmbed icon with the same state and
// the same menu. A rebuild of the status menu updates it in place; a host
// never sees it go away while the program runs.
//
// Private to the GTK desktop; no toolkit header leaks through it.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/ports.h"

namespace larkspur {

class EventQueue;

class TrayItem {
 public:
  // Menu choices (and the mouse actions that stand for them) are queued on
  // `queue` as menu events. `menuReleased` is called when a menu that a host
  // held open is closed, or given up for lost.
  TrayItem(EventQueue& queue, std::function<void()> menuReleased);
  ~TrayItem();
  TrayItem(const TrayItem&) = delete;
  TrayItem& operator=(const TrayItem&) = delete;

  void setIconFolder(const std::string& folder);
  // Null: no icon, the label alone.
  void setImage(const Image* image, bool templateImage);
  void setLabel(const std::string& utf8);
  void setToolTip(const std::string& utf8);
  // The model stays alive until menuFreed; null leaves the menu empty.
  void setMenu(const MenuModel* model);
  void entryEnabledChanged(const MenuModel& model, std::int64_t id);
  void menuFreed(const MenuModel& model);
  void setMouseActions(const StatusMouseActions& actions);

  // While a host shows the menu, refresh ticks wait.
  bool menuOpen() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace larkspur
