#include "support/gtk_fake_watcher.h"

#include <gio/gio.h>

namespace larkspur::test {

struct FakeStatusWatcher::Impl {
  GDBusConnection* connection = nullptr;
  GDBusNodeInfo* node = nullptr;
  guint object = 0, name = 0, subscription = 0;
  bool owned = false;
  std::vector<Registration> registrations;
  std::vector<std::string> signals;
};

FakeStatusWatcher::FakeStatusWatcher(bool watch) : impl_(std::make_unique<Impl>()) {
  g_autofree gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  // A connection of its own, as a host has; not the item's shared one.
  impl_->connection = !address ? nullptr
                               : g_dbus_connection_new_for_address_sync(
                                     address, GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                                   G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                                     nullptr, nullptr, nullptr);
  if (!impl_->connection) return;
  impl_->subscription = g_dbus_connection_signal_subscribe(
      impl_->connection, nullptr, nullptr, nullptr, nullptr, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, const gchar*, const gchar* interface, const gchar* member, GVariant*,
         gpointer data) {
        if (g_str_equal(interface, "org.kde.StatusNotifierItem") || g_str_equal(interface, "com.canonical.dbusmenu"))
          static_cast<Impl*>(data)->signals.push_back(member);
      },
      impl_.get(), nullptr);
  if (!watch) return;
  impl_->node = g_dbus_node_info_new_for_xml(
      "<node><interface name='org.kde.StatusNotifierWatcher'><method name='RegisterStatusNotifierItem'>"
      "<arg type='s' direction='in'/></method></interface></node>", nullptr);
  static const GDBusInterfaceVTable vtable = {
      [](GDBusConnection*, const gchar* sender, const gchar*, const gchar*, const gchar*, GVariant* parameters,
         GDBusMethodInvocation* invocation, gpointer data) {
        const gchar* service = nullptr;
        g_variant_get(parameters, "(&s)", &service);
        // Items send either their object path or a bus name.
        bool isPath = service[0] == '/';
        static_cast<Impl*>(data)->registrations.push_back(
            {isPath || !*service ? sender : service, isPath ? service : "/StatusNotifierItem"});
        g_dbus_method_invocation_return_value(invocation, nullptr);
      },
      nullptr, nullptr, {}};
  impl_->object = g_dbus_connection_register_object(impl_->connection, "/StatusNotifierWatcher",
                                                    impl_->node->interfaces[0], &vtable, impl_.get(), nullptr, nullptr);
  impl_->name = g_bus_own_name_on_connection(
      impl_->connection, "org.kde.StatusNotifierWatcher", G_BUS_NAME_OWNER_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, gpointer data) { static_cast<Impl*>(data)->owned = true; }, nullptr,
      impl_.get(), nullptr);
}

FakeStatusWatcher::~FakeStatusWatcher() {
  if (impl_->name) g_bus_unown_name(impl_->name);
  if (impl_->node) g_dbus_node_info_unref(impl_->node);
  if (!impl_->connection) return;
  g_dbus_connection_signal_unsubscribe(impl_->connection, impl_->subscription);
  if (impl_->object) g_dbus_connection_unregister_object(impl_->connection, impl_->object);
  g_dbus_connection_close_sync(impl_->connection, nullptr, nullptr);
  g_object_unref(impl_->connection);
}

bool FakeStatusWatcher::ready() const { return impl_->owned; }

const std::vector<FakeStatusWatcher::Registration>& FakeStatusWatcher::registrations() const {
  return impl_->registrations;
}

const std::vector<std::string>& FakeStatusWatcher::signals() const { return impl_->signals; }

void FakeStatusWatcher::send(const std::string& destination, const std::string& path, const std::string& interface,
                             const std::string& method, GVariant* parameters) {
  g_dbus_connection_call(impl_->connection, destination.c_str(), path.c_str(), interface.c_str(), method.c_str(),
                         parameters, nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
}

GVariant* FakeStatusWatcher::call(const std::string& destination, const std::string& path,
                                  const std::string& interface, const std::string& method, GVariant* parameters,
                                  std::string* error, int timeoutMs) {
  GAsyncResult* result = nullptr;
  g_dbus_connection_call(
      impl_->connection, destination.c_str(), path.c_str(), interface.c_str(), method.c_str(), parameters,
      nullptr, G_DBUS_CALL_FLAGS_NONE, timeoutMs, nullptr,
      [](GObject*, GAsyncResult* r, gpointer data) { *static_cast<GAsyncResult**>(data) = G_ASYNC_RESULT(g_object_ref(r)); },
      &result);
  // The reply always arrives (at worst as a time-out error), and `result`
  // must outlive the callback.
  while (!result) g_main_context_iteration(nullptr, TRUE);
  GError* e = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(impl_->connection, result, &e);
  g_object_unref(result);
  if (error) *error = e ? e->message : "";
  if (e) g_error_free(e);
  return reply;
}

GVariant* FakeStatusWatcher::property(const std::string& destination, const std::string& path,
                                      const std::string& interface, const std::string& name) {
  GVariant* reply = call(destination, path, "org.freedesktop.DBus.Properties", "Get",
                         g_variant_new("(ss)", interface.c_str(), name.c_str()));
  GVariant* boxed = nullptr;
  if (reply) g_variant_get(reply, "(v)", &boxed), g_variant_unref(reply);
  return boxed;
}

std::vector<MenuLine> FakeStatusWatcher::menuLayout(const std::string& destination, const std::string& path) {
  std::vector<MenuLine> out;
  GVariant* reply = call(destination, path, "com.canonical.dbusmenu", "GetLayout",
                         g_variant_new("(ii@as)", 0, -1, g_variant_new_strv(nullptr, 0)));
  if (!reply) return out;
  g_autoptr(GVariant) layout = g_variant_get_child_value(reply, 1);
  g_autoptr(GVariant) children = g_variant_get_child_value(layout, 2);
  for (gsize i = 0; i < g_variant_n_children(children); ++i) {
    g_autoptr(GVariant) child = g_variant_get_child_value(children, i);
    g_autoptr(GVariant) entry = g_variant_get_variant(child);
    g_autoptr(GVariant) props = g_variant_get_child_value(entry, 1);
    g_autoptr(GVariant) icon = g_variant_lookup_value(props, "icon-data", nullptr);
    MenuLine line;
    const char *type = "", *label = "";
    gboolean enabled = TRUE, visible = TRUE;
    g_variant_get_child(entry, 0, "i", &line.id);
    g_variant_lookup(props, "type", "&s", &type);
    g_variant_lookup(props, "label", "&s", &label);
    g_variant_lookup(props, "enabled", "b", &enabled);
    g_variant_lookup(props, "visible", "b", &visible);
    if (visible) out.push_back({line.id, label, enabled != FALSE, icon != nullptr, g_str_equal(type, "separator")});
  }
  g_variant_unref(reply);
  return out;
}

}  // namespace larkspur::test
