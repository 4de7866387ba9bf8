// The org.kde.StatusNotifierItem interface, exported with GDBus on the
// program's session-bus connection at one path for the program's life, and
// its registration with the watcher. Every change goes out as the interface's
// own signal, and only when the value did change: hosts re-read the item at
// each signal, and the label and tooltip are set once a second.
#include <cstring>

#include "platform/tray/tray_impl.h"

namespace larkspur {
namespace {

constexpr const char* kInterface = "org.kde.StatusNotifierItem";
constexpr const char* kIntrospection = R"xml(
<node>
  <interface name="org.kde.StatusNotifierItem">
    <property name="Category" type="s" access="read"/>
    <property name="Id" type="s" access="read"/>
    <property name="Title" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="WindowId" type="i" access="read"/>
    <property name="IconThemePath" type="s" access="read"/>
    <property name="IconName" type="s" access="read"/>
    <property name="IconPixmap" type="a(iiay)" access="read"/>
    <property name="OverlayIconName" type="s" access="read"/>
    <property name="OverlayIconPixmap" type="a(iiay)" access="read"/>
    <property name="AttentionIconName" type="s" access="read"/>
    <property name="AttentionIconPixmap" type="a(iiay)" access="read"/>
    <property name="AttentionMovieName" type="s" access="read"/>
    <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
    <property name="ItemIsMenu" type="b" access="read"/>
    <property name="Menu" type="o" access="read"/>
    <property name="XAyatanaLabel" type="s" access="read"/>
    <property name="XAyatanaLabelGuide" type="s" access="read"/>
    <method name="ContextMenu"><arg type="i" direction="in"/><arg type="i" direction="in"/></method>
    <method name="Activate"><arg type="i" direction="in"/><arg type="i" direction="in"/></method>
    <method name="SecondaryActivate"><arg type="i" direction="in"/><arg type="i" direction="in"/></method>
    <method name="XAyatanaSecondaryActivate"><arg type="u" direction="in"/></method>
    <method name="Scroll"><arg type="i" direction="in"/><arg type="s" direction="in"/></method>
    <signal name="NewTitle"/>
    <signal name="NewIcon"/>
    <signal name="NewAttentionIcon"/>
    <signal name="NewOverlayIcon"/>
    <signal name="NewToolTip"/>
    <signal name="NewStatus"><arg type="s"/></signal>
    <signal name="XAyatanaNewLabel"><arg type="s"/><arg type="s"/></signal>
  </interface>
</node>)xml";

GVariant* pixmapsOf(const TrayIcon& icon) {
  GVariantBuilder pixmaps;
  g_variant_builder_init(&pixmaps, G_VARIANT_TYPE("a(iiay)"));
  if (!icon.argb.empty()) {
    GVariant* bytes = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, icon.argb.data(),
                                                icon.argb.size(), 1);
    g_variant_builder_add(&pixmaps, "(ii@ay)", icon.width, icon.height, bytes);
  }
  return g_variant_builder_end(&pixmaps);
}

GVariant* emptyPixmaps() { return g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0); }

// The title hosts list the item by; the tooltip text while there is one.
std::string titleOf(const TrayItem::Impl& s) { return s.toolTip.empty() ? "Larkspur" : s.toolTip; }

// Which way the wheel turned. GNOME's AppIndicator extension passes Clutter's
// smooth delta and xfce's panel GDK's scroll direction, both negative for a
// wheel turned away from the user, with the orientation "vertical". KDE's
// Plasma passes Qt's angle delta, positive away from the user, and spells it
// "Vertical". Horizontal scrolling means nothing here.
bool scrollsAway(gint32 delta, const char* orientation, bool* vertical) {
  *vertical = g_ascii_strcasecmp(orientation, "vertical") == 0 && delta != 0;
  return std::strcmp(orientation, "Vertical") == 0 ? delta > 0 : delta < 0;
}

void onMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                  GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
  auto* self = static_cast<TrayItem::Impl*>(data);
  if (g_strcmp0(method, "SecondaryActivate") == 0 ||
      g_strcmp0(method, "XAyatanaSecondaryActivate") == 0) {
    self->choose(self->mouse.middleClick);
  } else if (g_strcmp0(method, "Scroll") == 0) {
    gint32 delta = 0;
    const gchar* orientation = "";
    g_variant_get(parameters, "(i&s)", &delta, &orientation);
    bool vertical = false;
    bool away = scrollsAway(delta, orientation, &vertical);
    if (vertical) self->scroll(away);
  }
  // Activate and ContextMenu: the item is a menu (ItemIsMenu), which the
  // host opens itself; a host that calls them anyway gets a plain answer.
  g_dbus_method_invocation_return_value(invocation, nullptr);
}

GVariant* onGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                        const gchar* name, GError**, gpointer data) {
  return static_cast<TrayItem::Impl*>(data)->property(name);
}

void onRegistered(GObject* source, GAsyncResult* result, gpointer data) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
  if (reply) g_variant_unref(reply);
  // Cancelled: the item is gone or the watcher went first; `data` may be too.
  if (error && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
    g_error_free(error);
    return;
  }
  auto* self = static_cast<TrayItem::Impl*>(data);
  g_clear_object(&self->registering);
  self->registered = error == nullptr;
  if (error) {
    // A watcher that refuses us shows nothing of us; the XEmbed icon does.
    g_warning("the tray's watcher refused the item: %s", error->message);
    g_error_free(error);
    self->showXembed();
  } else {
    self->hideXembed();
  }
}

}  // namespace

bool TrayItem::Impl::exportItem() {
  node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
  if (!node) return false;
  static const GDBusInterfaceVTable vtable = {onMethodCall, onGetProperty, nullptr, {}};
  GError* error = nullptr;
  object = g_dbus_connection_register_object(bus, kItemPath, node->interfaces[0], &vtable, this,
                                             nullptr, &error);
  if (error) {
    g_warning("cannot export the tray item: %s", error->message);
    g_error_free(error);
  }
  sentTitle = titleOf(*this);
  sentLabel = label;
  sentToolTip = toolTip;
  sentIcon = icon;
  return object != 0;
}

void TrayItem::Impl::unexportItem() {
  if (object) g_dbus_connection_unregister_object(bus, object);
  object = 0;
  if (node) g_dbus_node_info_unref(node);
  node = nullptr;
}

void TrayItem::Impl::registerWithWatcher() {
  if (registering) {
    g_cancellable_cancel(registering);
    g_clear_object(&registering);
  }
  registering = g_cancellable_new();
  g_dbus_connection_call(bus, "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                         "org.kde.StatusNotifierWatcher", "RegisterStatusNotifierItem",
                         g_variant_new("(s)", g_dbus_connection_get_unique_name(bus)), nullptr,
                         G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, registering, onRegistered, this);
}

void TrayItem::Impl::emitChanges() {
  if (!object) return;
  auto emit = [&](const char* signal, GVariant* args) {
    g_dbus_connection_emit_signal(bus, nullptr, kItemPath, kInterface, signal, args, nullptr);
  };
  if (titleOf(*this) != sentTitle) {
    sentTitle = titleOf(*this);
    emit("NewTitle", nullptr);
  }
  if (toolTip != sentToolTip) {
    sentToolTip = toolTip;
    emit("NewToolTip", nullptr);
  }
  if (!(icon == sentIcon)) {
    sentIcon = icon;
    emit("NewIcon", nullptr);
  }
  if (label != sentLabel) {
    sentLabel = label;
    emit("XAyatanaNewLabel", g_variant_new("(ss)", label.c_str(), label.c_str()));
  }
}

GVariant* TrayItem::Impl::property(const char* name) {
  auto is = [name](const char* n) { return g_strcmp0(name, n) == 0; };
  if (is("Category")) return g_variant_new_string("ApplicationStatus");
  if (is("Id")) return g_variant_new_string("larkspur");
  if (is("Title")) return g_variant_new_string(sentTitle.c_str());
  // Never Passive while the program runs: hosts hide a passive item, and
  // some never show it again.
  if (is("Status")) return g_variant_new_string("Active");
  if (is("WindowId")) return g_variant_new_int32(0);
  if (is("IconThemePath")) return g_variant_new_string(iconFolder.c_str());
  if (is("IconName")) return g_variant_new_string(sentIcon.name.c_str());
  if (is("IconPixmap")) return pixmapsOf(sentIcon);
  if (is("OverlayIconPixmap") || is("AttentionIconPixmap")) return emptyPixmaps();
  if (is("ToolTip"))
    return g_variant_new("(s@a(iiay)ss)", "", emptyPixmaps(), sentToolTip.c_str(), "");
  if (is("ItemIsMenu")) return g_variant_new_boolean(TRUE);
  if (is("Menu")) return g_variant_new_object_path(kMenuPath);
  if (is("XAyatanaLabel") || is("XAyatanaLabelGuide"))
    return g_variant_new_string(sentLabel.c_str());
  return g_variant_new_string("");  // the overlay and attention names, the movie
}

}  // namespace larkspur
