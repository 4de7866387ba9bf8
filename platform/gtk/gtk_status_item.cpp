// The status item as a StatusNotifierItem (libayatana-appindicator3) with its
// menu exported over D-Bus. Hosts cache icons by name, so every image change
// is written under a new file name in our private runtime directory.
#include <gtk/gtk.h>
#include <libayatana-appindicator/app-indicator.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "platform/gtk/gtk_desktop_impl.h"

namespace larkspur {
namespace {

constexpr const char* kIndicatorId = "larkspur";

// Without a tray host the library falls back on its own and may repeat the
// same complaint at every rebuild: each distinct message is shown once.
void onIndicatorLog(const gchar* domain, GLogLevelFlags level, const gchar* message,
                    gpointer) {
  static std::set<std::string> seen;
  if (!message || !seen.insert(message).second) return;
  g_log_default_handler(domain, level, message, nullptr);
}

void installLogFilter() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  auto levels = GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE | G_LOG_LEVEL_INFO |
                               G_LOG_LEVEL_CRITICAL);
  for (const char* domain : {"libayatana-appindicator", "libdbusmenu-glib", "libdbusmenu-gtk"})
    g_log_set_handler(domain, levels, onIndicatorLog, nullptr);
}

std::string makeRuntimeDir() {
  // GLib answers the cache directory when there is no runtime directory; a
  // crash would leave our icons there for good, so /tmp instead.
  const char* base = g_getenv("XDG_RUNTIME_DIR") ? g_get_user_runtime_dir() : nullptr;
  std::string dir = std::string(base && *base ? base : "/tmp") + "/larkspur-" +
                    std::to_string(static_cast<long>(getpid()));
  if (g_mkdir_with_parents(dir.c_str(), 0700) != 0) {
    dir = "/tmp/larkspur-" + std::to_string(static_cast<long>(getpid()));
    g_mkdir_with_parents(dir.c_str(), 0700);
  }
  chmod(dir.c_str(), 0700);
  return dir;
}

void onMenuItemActivate(GtkMenuItem*, gpointer data) {
  auto* link = static_cast<MenuItemLink*>(data);
  const MenuModel* model = link->impl->menuModel;
  if (!model || !link->impl->indicator) return;
  // Hosts deliver clicks on disabled items too; only enabled ones count.
  for (const auto& e : model->entries) {
    if (!e.separator && e.id == link->id) {
      if (e.enabled) link->impl->queue.enqueue(EventMenu, link->id, 0, 0);
      return;
    }
  }
}

GtkWidget* blankImage() {
  GdkPixbuf* blank = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 16, 16);
  gdk_pixbuf_fill(blank, 0);
  GtkWidget* image = gtk_image_new_from_pixbuf(blank);
  g_object_unref(blank);
  return image;
}

GtkWidget* imageFor(const MenuEntry& entry) {
  if (!entry.iconName.empty())
    return gtk_image_new_from_icon_name(entry.iconName.c_str(), GTK_ICON_SIZE_MENU);
  if (entry.image) {
    if (GdkPixbuf* pixels = pixbufAtPointSize(*entry.image)) {
      GtkWidget* image = gtk_image_new_from_pixbuf(pixels);
      g_object_unref(pixels);
      return image;
    }
  }
  return blankImage();
}

GtkWidget* menuItemFor(const MenuEntry& entry) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  // The indicator exports item icons only from image menu items.
  GtkWidget* item = gtk_image_menu_item_new_with_label(toUtf8(entry.text).c_str());
  gtk_image_menu_item_set_image(GTK_IMAGE_MENU_ITEM(item), imageFor(entry));
  gtk_image_menu_item_set_always_show_image(GTK_IMAGE_MENU_ITEM(item), TRUE);
#pragma GCC diagnostic pop
  gtk_widget_set_sensitive(item, entry.enabled);
  return item;
}

}  // namespace

void GtkDesktop::createStatusItem() {
  if (impl_->indicator) return;
  installLogFilter();
  if (impl_->runtimeDir.empty()) impl_->runtimeDir = makeRuntimeDir();
  impl_->indicator =
      app_indicator_new(kIndicatorId, "", APP_INDICATOR_CATEGORY_APPLICATION_STATUS);
  app_indicator_set_icon_theme_path(impl_->indicator, impl_->runtimeDir.c_str());
  setStatusImage(nullptr, false);
  app_indicator_set_status(impl_->indicator, APP_INDICATOR_STATUS_ACTIVE);
  // The indicator registers with the tray host only once it has a menu.
  if (impl_->menu) app_indicator_set_menu(impl_->indicator, GTK_MENU(impl_->menu));
}

void GtkDesktop::removeStatusItem() {
  impl_->destroyStatusItem();
  impl_->dropMenu();
  impl_->title.clear();
  impl_->toolTip.clear();
}

bool GtkDesktop::hasStatusItem() const { return impl_->indicator != nullptr; }

void GtkDesktop::Impl::destroyStatusItem() {
  if (indicator) {
    app_indicator_set_status(indicator, APP_INDICATOR_STATUS_PASSIVE);
    g_object_unref(indicator);
    indicator = nullptr;
  }
  if (!iconFile.empty()) {
    g_unlink(iconFile.c_str());
    iconFile.clear();
  }
}

void GtkDesktop::setStatusImage(const Image* image, bool /*templateImage*/) {
  if (!impl_->indicator) return;
  GdkPixbuf* pixels = image ? pixbufAtPointSize(*image) : nullptr;
  if (!pixels) {
    // No image: a transparent one, so the host keeps a place for the label.
    pixels = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 16, 16);
    gdk_pixbuf_fill(pixels, 0);
  }
  std::string name = "status-" + std::to_string(++impl_->iconSerial);
  std::string path = impl_->runtimeDir + "/" + name + ".png";
  bool saved = gdk_pixbuf_save(pixels, path.c_str(), "png", nullptr, nullptr);
  g_object_unref(pixels);
  if (!saved) return;
  app_indicator_set_icon_full(impl_->indicator, name.c_str(), impl_->toolTip.c_str());
  if (!impl_->iconFile.empty()) g_unlink(impl_->iconFile.c_str());
  impl_->iconFile = path;
}

// Both are set once a second, nearly always to what the item already shows;
// each setting notifies and signals the host over the bus, so an unchanged
// text is not set again. The item itself is asked, as it may be a new one.
void GtkDesktop::setStatusTitle(const Text& title) {
  impl_->title = toUtf8(title);
  if (impl_->indicator &&
      g_strcmp0(app_indicator_get_label(impl_->indicator), impl_->title.c_str()) != 0)
    app_indicator_set_label(impl_->indicator, impl_->title.c_str(), impl_->title.c_str());
}

void GtkDesktop::setStatusToolTip(const Text& toolTip) {
  // The item exports no tool tip of its own; its title is what hosts show.
  impl_->toolTip = toUtf8(toolTip);
  if (impl_->indicator &&
      g_strcmp0(app_indicator_get_title(impl_->indicator), impl_->toolTip.c_str()) != 0)
    app_indicator_set_title(impl_->indicator, impl_->toolTip.c_str());
}

void GtkDesktop::setStatusMenu(const MenuModel* model) {
  impl_->menuModel = model;
  impl_->rebuildMenu();
}

void GtkDesktop::Impl::rebuildMenu() {
  GtkWidget* old = menu;
  std::vector<std::unique_ptr<MenuItemLink>> oldLinks = std::move(menuLinks);
  menuItems.clear();
  menu = nullptr;
  if (menuModel) {
    menu = gtk_menu_new();
    g_object_ref_sink(menu);
    for (const auto& entry : menuModel->entries) {
      GtkWidget* item;
      if (entry.separator) {
        item = gtk_separator_menu_item_new();
      } else {
        item = menuItemFor(entry);
        auto link = std::make_unique<MenuItemLink>(MenuItemLink{this, entry.id});
        g_signal_connect(item, "activate", G_CALLBACK(onMenuItemActivate), link.get());
        menuLinks.push_back(std::move(link));
        menuItems[entry.id] = item;
      }
      gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    }
    gtk_widget_show_all(menu);
    if (indicator) app_indicator_set_menu(indicator, GTK_MENU(menu));
  }
  if (old) {
    gtk_widget_destroy(old);
    g_object_unref(old);
  }
}

void GtkDesktop::menuItemEnabledChanged(const MenuModel& model, std::int64_t id) {
  if (impl_->menuModel != &model) return;
  auto item = impl_->menuItems.find(id);
  if (item == impl_->menuItems.end()) return;
  for (const auto& e : model.entries)
    if (!e.separator && e.id == id) gtk_widget_set_sensitive(item->second, e.enabled);
}

void GtkDesktop::menuFreed(const MenuModel& model) {
  // The widgets stay with the indicator until it is rebuilt or removed; they
  // only stop answering.
  if (impl_->menuModel == &model) impl_->menuModel = nullptr;
}

void GtkDesktop::Impl::dropMenu() {
  menuModel = nullptr;
  menuItems.clear();
  if (menu) {
    gtk_widget_destroy(menu);
    g_object_unref(menu);
    menu = nullptr;
  }
  menuLinks.clear();
}

}  // namespace larkspur
