#pragma once
// A stand-in for the tray host's StatusNotifierWatcher: owns the well-known
// name, accepts item registrations and records who registered what, and the
// signals items and menus send. Also a small D-Bus client (a tray host reading
// the item) that waits on the main loop, since the item under test answers
// from this same thread.
#include <gio/gio.h>

#include <string>
#include <vector>

namespace larkspur::test {

// One visible top-level entry of an exported menu, as a tray host reads it.
struct MenuLine {
  int id = 0;
  std::string label;  // as exported: text, padding blanks and shortcut
  bool enabled = true, hasImage = false, separator = false;
};

class FakeStatusWatcher {
 public:
  // watch false: a host only, on a connection of its own, owning no name.
  explicit FakeStatusWatcher(bool watch = true) {
    g_autofree gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    // A connection of its own, as a host has; not the item's shared one.
    connection_ = !address ? nullptr
                           : g_dbus_connection_new_for_address_sync(
                                 address, GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                               G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                                 nullptr, nullptr, nullptr);
    if (!connection_) return;
    subscription_ = g_dbus_connection_signal_subscribe(
        connection_, nullptr, nullptr, nullptr, nullptr, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar* interface, const gchar* member, GVariant*,
           gpointer self) {
          if (g_str_equal(interface, "org.kde.StatusNotifierItem") || g_str_equal(interface, "com.canonical.dbusmenu"))
            static_cast<FakeStatusWatcher*>(self)->signals_.push_back(member);
        },
        this, nullptr);
    if (!watch) return;
    node_ = g_dbus_node_info_new_for_xml(
        "<node><interface name='org.kde.StatusNotifierWatcher'><method name='RegisterStatusNotifierItem'>"
        "<arg type='s' direction='in'/></method></interface></node>", nullptr);
    static const GDBusInterfaceVTable vtable = {
        [](GDBusConnection*, const gchar* sender, const gchar*, const gchar*, const gchar*, GVariant* parameters,
           GDBusMethodInvocation* invocation, gpointer self) {
          const gchar* service = nullptr;
          g_variant_get(parameters, "(&s)", &service);
          // Items send either their object path or a bus name.
          bool isPath = service[0] == '/';
          static_cast<FakeStatusWatcher*>(self)->registrations_.push_back(
              {isPath || !*service ? sender : service, isPath ? service : "/StatusNotifierItem"});
          g_dbus_method_invocation_return_value(invocation, nullptr);
        },
        nullptr, nullptr, {}};
    object_ = g_dbus_connection_register_object(connection_, "/StatusNotifierWatcher", node_->interfaces[0], &vtable,
                                                this, nullptr, nullptr);
    name_ = g_bus_own_name_on_connection(
        connection_, "org.kde.StatusNotifierWatcher", G_BUS_NAME_OWNER_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, gpointer self) { static_cast<FakeStatusWatcher*>(self)->owned_ = true; },
        nullptr, this, nullptr);
  }
  ~FakeStatusWatcher() {

    if (name_) g_bus_unown_name(name_);
    if (node_) g_dbus_node_info_unref(node_);
    if (!connection_) return;
    g_dbus_connection_signal_unsubscribe(connection_, subscription_);
    if (object_) g_dbus_connection_unregister_object(connection_, object_);
    g_dbus_connection_close_sync(connection_, nullptr, nullptr);
    g_object_unref(connection_);
  }
  FakeStatusWatcher(const FakeStatusWatcher&) = delete;
  FakeStatusWatcher& operator=(const FakeStatusWatcher&) = delete;

  // True once the watcher's name is owned on the bus.
  bool ready() const { return owned_; }

  struct Registration {
    std::string busName;     // the item's unique connection name
    std::string objectPath;  // from the registration argument
  };
  const std::vector<Registration>& registrations() const { return registrations_; }
  // The members of the item and menu signals received, in order.
  const std::vector<std::string>& signals() const { return signals_; }

  // A method call on the bus, waited for on the main loop. Null on error
  // (the message in *error); the caller owns the reply.
  GVariant* call(const std::string& destination, const std::string& path,
                 const std::string& interface, const std::string& method, GVariant* parameters,
                 std::string* error = nullptr) {
    GAsyncResult* result = nullptr;
    g_dbus_connection_call(
        connection_, destination.c_str(), path.c_str(), interface.c_str(), method.c_str(), parameters, nullptr,
        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr,
        [](GObject*, GAsyncResult* r, gpointer out) { *static_cast<GAsyncResult**>(out) = (GAsyncResult*)g_object_ref(r); },
        &result);
    // The reply always arrives (at worst as a time-out error), and `result`
    // must outlive the callback.
    while (!result) g_main_context_iteration(nullptr, TRUE);
    g_autoptr(GError) e = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(connection_, result, &e);
    g_object_unref(result);
    if (error) *error = e ? e->message : "";
    return reply;
  }
  // A call whose reply is not waited for.
  void send(const std::string& destination, const std::string& path,
            const std::string& interface, const std::string& method, GVariant* parameters) {
    g_dbus_connection_call(connection_, destination.c_str(), path.c_str(), interface.c_str(), method.c_str(),
                           parameters, nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
  }
  // A property through org.freedesktop.DBus.Properties.Get, unwrapped.
  GVariant* property(const std::string& destination, const std::string& path,
                     const std::string& interface, const std::string& name) {
    g_autoptr(GVariant) reply = call(destination, path, "org.freedesktop.DBus.Properties", "Get",
                                     g_variant_new("(ss)", interface.c_str(), name.c_str()));
    GVariant* boxed = nullptr;
    if (reply) g_variant_get(reply, "(v)", &boxed);
    return boxed;
  }

  // The visible top-level entries of the menu at `path` (GetLayout).
  std::vector<MenuLine> menuLayout(const std::string& destination, const std::string& path) {
    std::vector<MenuLine> out;
    g_autoptr(GVariant) reply = call(destination, path, "com.canonical.dbusmenu", "GetLayout",
                                     g_variant_new("(ii@as)", 0, -1, g_variant_new_strv(nullptr, 0)));
    g_autoptr(GVariantIter) children = nullptr;
    if (reply) g_variant_get(reply, "(u(ia{sv}av))", nullptr, nullptr, nullptr, &children);
    for (GVariant* entry; children && g_variant_iter_loop(children, "v", &entry);) {
      g_autoptr(GVariant) props = nullptr;
      int id = 0;
      const char *type = "", *label = "";
      gboolean enabled = TRUE, visible = TRUE;
      g_variant_get(entry, "(i@a{sv}av)", &id, &props, nullptr);
      g_autoptr(GVariant) icon = g_variant_lookup_value(props, "icon-data", nullptr);
      g_variant_lookup(props, "type", "&s", &type);
      g_variant_lookup(props, "label", "&s", &label);
      g_variant_lookup(props, "enabled", "b", &enabled);
      g_variant_lookup(props, "visible", "b", &visible);
      if (visible) out.push_back({id, label, enabled != FALSE, icon != nullptr, g_str_equal(type, "separator")});
    }
    return out;
  }

 private:
  GDBusConnection* connection_ = nullptr;
  GDBusNodeInfo* node_ = nullptr;
  unsigned object_ = 0, name_ = 0, subscription_ = 0;
  bool owned_ = false;
  std::vector<Registration> registrations_;
  std::vector<std::string> signals_;
};

}  // namespace larkspur::test
