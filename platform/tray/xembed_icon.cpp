// The item while no StatusNotifierWatcher takes it (XEmbed trays, a desktop
// whose panel is not up yet): a GtkStatusIcon with the same image, tooltip,
// menu and mouse actions. GtkStatusIcon is deprecated, and is still how GTK 3
// docks into an XEmbed tray.
#include <cstdint>

#include "platform/gtk/gtk_pixbuf.h"
#include "platform/tray/tray_impl.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace larkspur {
namespace {

constexpr const char* kEntryKey = "larkspur-entry";

void onEntryActivate(GtkMenuItem* item, gpointer data) {
  auto id = static_cast<std::int64_t>(
      reinterpret_cast<std::intptr_t>(g_object_get_data(G_OBJECT(item), kEntryKey)));
  static_cast<TrayItem::Impl*>(data)->choose(id);
}

void popUp(TrayItem::Impl* self, guint button, guint32 time) {
  if (!self->gtkMenu) return;
  gtk_menu_popup(GTK_MENU(self->gtkMenu), nullptr, nullptr, gtk_status_icon_position_menu,
                 self->statusIcon, button, time);
}

void onActivate(GtkStatusIcon*, gpointer data) {
  popUp(static_cast<TrayItem::Impl*>(data), 0, gtk_get_current_event_time());
}

void onPopupMenu(GtkStatusIcon*, guint button, guint time, gpointer data) {
  popUp(static_cast<TrayItem::Impl*>(data), button, time);
}

gboolean onButtonPress(GtkStatusIcon*, GdkEventButton* event, gpointer data) {
  if (event->button != 2 || event->type != GDK_BUTTON_PRESS) return FALSE;
  auto* self = static_cast<TrayItem::Impl*>(data);
  self->choose(self->mouse.middleClick);
  return TRUE;
}

gboolean onScroll(GtkStatusIcon*, GdkEventScroll* event, gpointer data) {
  auto* self = static_cast<TrayItem::Impl*>(data);
  // GDK's up is the wheel turned away from the user, as is a negative
  // smooth delta.
  if (event->direction == GDK_SCROLL_UP) self->scroll(true);
  else if (event->direction == GDK_SCROLL_DOWN) self->scroll(false);
  else if (event->direction == GDK_SCROLL_SMOOTH && event->delta_y != 0)
    self->scroll(event->delta_y < 0);
  return TRUE;
}

void onMenuShown(GtkWidget*, gpointer data) { static_cast<TrayItem::Impl*>(data)->markMenuOpen({}); }

void onMenuHidden(GtkWidget*, gpointer data) { static_cast<TrayItem::Impl*>(data)->releaseMenu(); }

GtkWidget* imageFor(const MenuEntry& entry) {
  // The same pixels the exported menu carries, blank included, so the
  // texts line up in both.
  std::vector<std::uint8_t> png = pngOf(entry);
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  GtkWidget* image = nullptr;
  if (gdk_pixbuf_loader_write(loader, png.data(), png.size(), nullptr) &&
      gdk_pixbuf_loader_close(loader, nullptr))
    image = gtk_image_new_from_pixbuf(gdk_pixbuf_loader_get_pixbuf(loader));
  else
    gdk_pixbuf_loader_close(loader, nullptr);
  g_object_unref(loader);
  return image ? image : gtk_image_new();
}

GtkWidget* menuItemFor(TrayItem::Impl& s, const MenuEntry& entry) {
  GtkWidget* item = gtk_image_menu_item_new_with_label(toUtf8(entry.text).c_str());
  gtk_image_menu_item_set_image(GTK_IMAGE_MENU_ITEM(item), imageFor(entry));
  gtk_image_menu_item_set_always_show_image(GTK_IMAGE_MENU_ITEM(item), TRUE);
  gtk_widget_set_sensitive(item, entry.enabled);
  g_object_set_data(G_OBJECT(item), kEntryKey,
                    reinterpret_cast<gpointer>(static_cast<std::intptr_t>(entry.id)));
  g_signal_connect(item, "activate", G_CALLBACK(onEntryActivate), &s);
  return item;
}

}  // namespace

void TrayItem::Impl::showXembed() {
  if (statusIcon) return;
  statusIcon = gtk_status_icon_new();
  gtk_status_icon_set_visible(statusIcon, FALSE);
  gtk_status_icon_set_name(statusIcon, "larkspur");
  gtk_status_icon_set_title(statusIcon, "Larkspur");
  g_signal_connect(statusIcon, "activate", G_CALLBACK(onActivate), this);
  g_signal_connect(statusIcon, "popup-menu", G_CALLBACK(onPopupMenu), this);
  g_signal_connect(statusIcon, "button-press-event", G_CALLBACK(onButtonPress), this);
  g_signal_connect(statusIcon, "scroll-event", G_CALLBACK(onScroll), this);
  updateXembedIcon();
  rebuildGtkMenu();
  gtk_status_icon_set_visible(statusIcon, TRUE);
}

void TrayItem::Impl::hideXembed() {
  dropGtkMenu();
  if (!statusIcon) return;
  g_signal_handlers_disconnect_by_data(statusIcon, this);
  gtk_status_icon_set_visible(statusIcon, FALSE);
  g_clear_object(&statusIcon);
}

void TrayItem::Impl::updateXembedIcon() {
  if (!statusIcon) return;
  if (iconPixels) {
    gtk_status_icon_set_from_pixbuf(statusIcon, iconPixels);
  } else {
    // An XEmbed tray shows no label: without an icon nothing would be left
    // to click, so Hide Icon leaves the drawing for recolouring here.
    std::string symbolic = iconFolder + "/" + kSymbolicIconName + ".svg";
    GdkPixbuf* drawing = gdk_pixbuf_new_from_file_at_size(symbolic.c_str(), 16, 16, nullptr);
    if (drawing) gtk_status_icon_set_from_pixbuf(statusIcon, drawing);
    else gtk_status_icon_set_from_icon_name(statusIcon, "audio-x-generic");
    if (drawing) g_object_unref(drawing);
  }
  gtk_status_icon_set_tooltip_text(statusIcon, toolTip.empty() ? "Larkspur" : toolTip.c_str());
}

void TrayItem::Impl::dropGtkMenu() {
  if (gtkMenu) {
    // A new build while the menu is up takes it down.
    bool shown = gtk_widget_get_visible(gtkMenu);
    g_signal_handlers_disconnect_by_data(gtkMenu, this);
    gtk_widget_destroy(gtkMenu);
    g_clear_object(&gtkMenu);
    if (shown) releaseMenu();
  }
  gtkItems.clear();
}

void TrayItem::Impl::rebuildGtkMenu() {
  dropGtkMenu();
  if (!statusIcon || !model) return;
  gtkMenu = gtk_menu_new();
  g_object_ref_sink(gtkMenu);
  for (const MenuEntry& entry : model->entries) {
    GtkWidget* item = entry.separator ? gtk_separator_menu_item_new() : menuItemFor(*this, entry);
    if (!entry.separator) gtkItems[entry.id] = item;
    gtk_widget_show_all(item);
    gtk_menu_shell_append(GTK_MENU_SHELL(gtkMenu), item);
  }
  g_signal_connect(gtkMenu, "show", G_CALLBACK(onMenuShown), this);
  g_signal_connect(gtkMenu, "hide", G_CALLBACK(onMenuHidden), this);
}

void TrayItem::Impl::gtkEnabled(std::int64_t id, bool enabled) {
  auto it = gtkItems.find(id);
  if (it != gtkItems.end()) gtk_widget_set_sensitive(it->second, enabled);
}

}  // namespace larkspur
