#pragma once
// The state behind TrayItem, shared by its files. Private to platform/tray.
#include <gio/gio.h>
#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/tray/tray_item.h"

typedef struct _DbusmenuServer DbusmenuServer;
typedef struct _DbusmenuMenuitem DbusmenuMenuitem;

namespace larkspur {

inline constexpr const char* kItemPath = "/StatusNotifierItem";
inline constexpr const char* kMenuPath = "/StatusNotifierItem/Menu";
inline constexpr const char* kSymbolicIconName = "larkspur-status-symbolic";

// The icon as hosts get it: a name to look up in the icon folder, and the
// pixels as ARGB32 in network byte order.
struct TrayIcon {
  std::string name;
  int width = 0, height = 0;
  std::vector<std::uint8_t> argb;
  bool operator==(const TrayIcon&) const = default;
};

// One entry of the menu as exported, for telling whether a new build shows
// anything new.
struct ExportedEntry {
  bool separator = false;
  std::int64_t id = 0;
  std::string label;
  bool enabled = true;
  std::string image;  // key into the PNG store
  std::string iconName;
  bool operator==(const ExportedEntry&) const = default;
};

// Who called the menu's opening methods, and whether the latest show came as
// AboutToShowGroup, written on GDBus's worker thread by a message filter (the
// menu library says neither), read on ours.
struct MenuCallers {
  std::mutex lock;
  std::set<std::string> senders;
  bool groupShow = false;
};

struct TrayItem::Impl {
  Impl(EventQueue& q, std::function<void()> released)
      : queue(q), menuReleased(std::move(released)) {}

  EventQueue& queue;
  std::function<void()> menuReleased;
  GDBusConnection* bus = nullptr;

  // What the item shows.
  std::string iconFolder, label, toolTip;
  TrayIcon icon;
  GdkPixbuf* iconPixels = nullptr;  // for the XEmbed icon; null without an image
  const MenuModel* model = nullptr;
  StatusMouseActions mouse;

  // The StatusNotifierItem and its registration.
  GDBusNodeInfo* node = nullptr;
  guint object = 0;
  guint watcherWatch = 0;
  bool registered = false;
  GCancellable* registering = nullptr;
  std::string sentTitle, sentLabel, sentToolTip;
  TrayIcon sentIcon;

  // The exported menu.
  DbusmenuServer* server = nullptr;
  DbusmenuMenuitem* root = nullptr;
  std::vector<ExportedEntry> exported;
  std::map<int, std::int64_t> entryOfItem;  // dbusmenu id -> model id
  std::map<std::int64_t, DbusmenuMenuitem*> itemOfEntry;
  std::map<std::string, std::vector<std::uint8_t>> pngs;
  std::shared_ptr<MenuCallers> callers;
  guint filter = 0;

  // A menu a host holds open.
  bool menuOpen = false;
  guint releaseTimeout = 0;
  std::map<std::string, guint> hostWatches;

  // Scrolling: the start of the current burst, in monotonic microseconds.
  gint64 burstStart = 0;
  bool bursting = false;

  // The XEmbed icon, while no watcher takes items.
  GtkStatusIcon* statusIcon = nullptr;
  GtkWidget* gtkMenu = nullptr;  // our own reference (ref-sunk)
  std::map<std::int64_t, GtkWidget*> gtkItems;

  // tray_item.cpp: the rules every path shares.
  void choose(std::int64_t id);
  void scroll(bool away);
  void markMenuOpen(const std::set<std::string>& hosts);
  void releaseMenu();
  void watcherAppeared();
  void watcherVanished();

  // status_notifier_item.cpp
  bool exportItem();
  void unexportItem();
  void registerWithWatcher();
  void emitChanges();
  GVariant* property(const char* name);

  // dbus_menu.cpp
  void startMenuServer();
  void stopMenuServer();
  void exportMenu();
  void exportEnabled(std::int64_t id, bool enabled);
  std::set<std::string> takeMenuCallers();
  bool takeGroupShow();

  // xembed_icon.cpp
  void showXembed();
  void hideXembed();
  void updateXembedIcon();
  void rebuildGtkMenu();
  void dropGtkMenu();
  void gtkEnabled(std::int64_t id, bool enabled);
};

// The PNG bytes of a menu entry's image at 16 points (the artwork at its own
// size), or of the blank image that keeps texts aligned.
std::vector<std::uint8_t> pngOf(const MenuEntry& entry);

}  // namespace larkspur
