// The item's menu as a dbusmenu (libdbusmenu-glib), built straight from the
// menu model. A build that shows nothing new keeps the exported items, so a
// host sees no layout change and its ids stay good; a new one replaces them
// all with fresh ids, so a click on an id of the old build finds nothing.
// The host's "opened" and "closed" events, or its AboutToShowGroup, tell
// whether the menu is open. A plain AboutToShow does not: GNOME's AppIndicator
// extension sends one whenever it attaches the menu, open or not, and says
// "opened" and "closed" when the user opens and closes it, as KDE's hosts
// do; hosts built on libdbusmenu-gtk (xfce's indicator plugin among them)
// send AboutToShowGroup when the menu maps, and no events.
#include <libdbusmenu-glib/dbusmenu-glib.h>

#include <algorithm>
#include <utility>

#include "platform/gtk/gtk_pixbuf.h"
#include "platform/tray/tray_impl.h"

namespace larkspur {
namespace {

// dbusmenu labels mark an access key with an underscore; ours have none.
std::string dbusmenuLabel(const Text& text) {
  std::string out;
  for (char c : toUtf8(text)) {
    out += c;
    if (c == '_') out += '_';
  }
  return out;
}

// Runs on GDBus's worker thread for every message that arrives: notes who
// asks the menu to show, so a menu held open by a host that then disappears
// can be let go. The menu library answers these calls without saying who
// made them.
GDBusMessage* noteMenuCaller(GDBusConnection*, GDBusMessage* message, gboolean incoming,
                             gpointer data) {
  if (!incoming || g_dbus_message_get_message_type(message) != G_DBUS_MESSAGE_TYPE_METHOD_CALL ||
      g_strcmp0(g_dbus_message_get_path(message), kMenuPath) != 0)
    return message;
  const char* member = g_dbus_message_get_member(message);
  const char* sender = g_dbus_message_get_sender(message);
  bool groupShow = g_strcmp0(member, "AboutToShowGroup") == 0;
  if (sender && member && (groupShow || g_str_has_prefix(member, "Event"))) {
    auto* callers = static_cast<std::shared_ptr<MenuCallers>*>(data)->get();
    std::lock_guard<std::mutex> hold(callers->lock);
    if (callers->senders.size() < 16) callers->senders.insert(sender);
    callers->groupShow = callers->groupShow || groupShow;
  }
  return message;
}

void onItemActivated(DbusmenuMenuitem* item, guint, gpointer data) {
  auto* self = static_cast<TrayItem::Impl*>(data);
  auto it = self->entryOfItem.find(dbusmenu_menuitem_get_id(item));
  if (it != self->entryOfItem.end()) self->choose(it->second);
}

gboolean onAboutToShow(DbusmenuMenuitem*, gpointer data) {
  auto* self = static_cast<TrayItem::Impl*>(data);
  if (self->takeGroupShow()) self->markMenuOpen(self->takeMenuCallers());
  return FALSE;
}

gboolean onRootEvent(DbusmenuMenuitem*, gchar* name, GVariant*, guint, gpointer data) {
  auto* self = static_cast<TrayItem::Impl*>(data);
  if (g_strcmp0(name, DBUSMENU_MENUITEM_EVENT_OPENED) == 0)
    self->markMenuOpen(self->takeMenuCallers());
  else if (g_strcmp0(name, DBUSMENU_MENUITEM_EVENT_CLOSED) == 0)
    self->releaseMenu();
  return FALSE;
}

// The same images come back at every build: each PNG is made once per
// content, and kept while the exported menu shows it.
std::string storePng(TrayItem::Impl& s, const MenuEntry& entry) {
  std::string key = entry.iconName;
  if (key.empty() && entry.image) {
    const Image& img = *entry.image;
    std::string_view pixels(reinterpret_cast<const char*>(img.rgba.data()), img.rgba.size());
    key = std::to_string(img.width) + "x" + std::to_string(img.height) + "@" +
          std::to_string(img.pointWidth) + "x" + std::to_string(img.pointHeight) + "#" +
          std::to_string(std::hash<std::string_view>()(pixels));
  }
  if (!s.pngs.count(key)) s.pngs[key] = pngOf(entry);
  return key;
}

DbusmenuMenuitem* newMenuItem(TrayItem::Impl& s, const ExportedEntry& e) {
  DbusmenuMenuitem* item = dbusmenu_menuitem_new();
  if (e.separator) {
    dbusmenu_menuitem_property_set(item, DBUSMENU_MENUITEM_PROP_TYPE,
                                   DBUSMENU_CLIENT_TYPES_SEPARATOR);
    return item;
  }
  dbusmenu_menuitem_property_set(item, DBUSMENU_MENUITEM_PROP_LABEL, e.label.c_str());
  dbusmenu_menuitem_property_set_bool(item, DBUSMENU_MENUITEM_PROP_ENABLED, e.enabled);
  const std::vector<std::uint8_t>& png = s.pngs[e.image];
  if (!png.empty())
    dbusmenu_menuitem_property_set_byte_array(item, DBUSMENU_MENUITEM_PROP_ICON_DATA, png.data(),
                                              png.size());
  // The pixels of a themed symbol are drawn in our theme's colours; a host
  // that knows the name draws it in the menu's own.
  if (!e.iconName.empty())
    dbusmenu_menuitem_property_set(item, DBUSMENU_MENUITEM_PROP_ICON_NAME, e.iconName.c_str());
  g_signal_connect(item, DBUSMENU_MENUITEM_SIGNAL_ITEM_ACTIVATED, G_CALLBACK(onItemActivated), &s);
  return item;
}

}  // namespace

std::vector<std::uint8_t> pngOf(const MenuEntry& entry) {
  GdkPixbuf* pixels = nullptr;
  if (!entry.iconName.empty())
    pixels = gtk_icon_theme_load_icon(gtk_icon_theme_get_default(), entry.iconName.c_str(), 16,
                                      GTK_ICON_LOOKUP_FORCE_SIZE, nullptr);
  else if (entry.image)
    pixels = pixbufAtPointSize(*entry.image);
  if (!pixels) {
    pixels = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 16, 16);
    gdk_pixbuf_fill(pixels, 0);
  }
  gchar* buffer = nullptr;
  gsize size = 0;
  std::vector<std::uint8_t> png;
  if (gdk_pixbuf_save_to_buffer(pixels, &buffer, &size, "png", nullptr, nullptr))
    png.assign(buffer, buffer + size);
  g_free(buffer);
  g_object_unref(pixels);
  return png;
}

void TrayItem::Impl::startMenuServer() {
  server = dbusmenu_server_new(kMenuPath);
  callers = std::make_shared<MenuCallers>();
  filter = g_dbus_connection_add_filter(bus, noteMenuCaller,
                                        new std::shared_ptr<MenuCallers>(callers), [](gpointer p) {
                                          delete static_cast<std::shared_ptr<MenuCallers>*>(p);
                                        });
  exportMenu();
}

void TrayItem::Impl::stopMenuServer() {
  if (filter) g_dbus_connection_remove_filter(bus, filter);
  filter = 0;
  if (root) g_signal_handlers_disconnect_by_data(root, this);
  for (auto& [id, item] : itemOfEntry) g_signal_handlers_disconnect_by_data(item, this);
  itemOfEntry.clear();
  g_clear_object(&root);
  g_clear_object(&server);
}

std::set<std::string> TrayItem::Impl::takeMenuCallers() {
  if (!callers) return {};
  std::lock_guard<std::mutex> hold(callers->lock);
  return std::exchange(callers->senders, {});
}

bool TrayItem::Impl::takeGroupShow() {
  if (!callers) return false;
  std::lock_guard<std::mutex> hold(callers->lock);
  return std::exchange(callers->groupShow, false);
}

void TrayItem::Impl::exportMenu() {
  if (!server) return;
  std::vector<ExportedEntry> wanted;
  if (model) {
    for (const MenuEntry& e : model->entries)
      wanted.push_back(e.separator ? ExportedEntry{true, 0, {}, true, {}, {}}
                                   : ExportedEntry{false, e.id, dbusmenuLabel(e.text), e.enabled,
                                                   storePng(*this, e), e.iconName});
  }
  if (root && wanted == exported) return;
  exported = std::move(wanted);
  std::erase_if(pngs, [&](const auto& png) {
    return std::none_of(exported.begin(), exported.end(),
                        [&](const ExportedEntry& e) { return !e.separator && e.image == png.first; });
  });

  DbusmenuMenuitem* fresh = dbusmenu_menuitem_new();
  g_signal_connect(fresh, DBUSMENU_MENUITEM_SIGNAL_ABOUT_TO_SHOW, G_CALLBACK(onAboutToShow), this);
  g_signal_connect(fresh, DBUSMENU_MENUITEM_SIGNAL_EVENT, G_CALLBACK(onRootEvent), this);
  std::map<int, std::int64_t> entries;
  std::map<std::int64_t, DbusmenuMenuitem*> items;
  for (const ExportedEntry& e : exported) {
    DbusmenuMenuitem* item = newMenuItem(*this, e);
    if (!e.separator) {
      entries[dbusmenu_menuitem_get_id(item)] = e.id;
      items[e.id] = item;
    }
    dbusmenu_menuitem_child_append(fresh, item);
    g_object_unref(item);  // the parent holds it
  }
  dbusmenu_server_set_root(server, fresh);
  if (root) {
    g_signal_handlers_disconnect_by_data(root, this);
    for (auto& [id, item] : itemOfEntry) g_signal_handlers_disconnect_by_data(item, this);
    g_object_unref(root);
  }
  root = fresh;
  entryOfItem = std::move(entries);
  itemOfEntry = std::move(items);
}

void TrayItem::Impl::exportEnabled(std::int64_t id, bool enabled) {
  auto it = itemOfEntry.find(id);
  if (it == itemOfEntry.end()) return;
  dbusmenu_menuitem_property_set_bool(it->second, DBUSMENU_MENUITEM_PROP_ENABLED, enabled);
  for (ExportedEntry& e : exported)
    if (!e.separator && e.id == id) e.enabled = enabled;
}

}  // namespace larkspur
