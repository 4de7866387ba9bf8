#include "support/gtk_fake_watcher.h"

#include <gio/gio.h>

#include "support/gtk_session.h"

namespace larkspur::test {
namespace {

constexpr const char* kIntrospection = R"(
<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
  </interface>
</node>)";

}  // namespace

struct FakeStatusWatcher::Impl {
  GDBusConnection* connection = nullptr;
  GDBusNodeInfo* node = nullptr;
  guint object = 0;
  guint name = 0;
  bool owned = false;
  guint subscription = 0;
  std::vector<Registration> registrations;
  std::vector<std::string> signals;

  static void onSignal(GDBusConnection*, const gchar*, const gchar*, const gchar* interface,
                       const gchar* member, GVariant*, gpointer data) {
    if (g_str_equal(interface, "org.kde.StatusNotifierItem") ||
        g_str_equal(interface, "com.canonical.dbusmenu"))
      static_cast<Impl*>(data)->signals.push_back(member);
  }

  static void onCall(GDBusConnection*, const gchar* sender, const gchar*, const gchar*,
                     const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                     gpointer data) {
    auto* self = static_cast<Impl*>(data);
    if (g_strcmp0(method, "RegisterStatusNotifierItem") == 0) {
      const gchar* service = nullptr;
      g_variant_get(parameters, "(&s)", &service);
      // Items send either their object path or a bus name.
      bool isPath = service && service[0] == '/';
      self->registrations.push_back({isPath || !service || !*service ? sender : service,
                                     isPath ? service : "/StatusNotifierItem"});
    }
    g_dbus_method_invocation_return_value(invocation, nullptr);
  }

  static GVariant* onGet(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                         const gchar* property, GError**, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    if (g_strcmp0(property, "IsStatusNotifierHostRegistered") == 0)
      return g_variant_new_boolean(TRUE);
    if (g_strcmp0(property, "ProtocolVersion") == 0) return g_variant_new_int32(0);
    GVariantBuilder items;
    g_variant_builder_init(&items, G_VARIANT_TYPE("as"));
    for (const auto& r : self->registrations)
      g_variant_builder_add(&items, "s", (r.busName + r.objectPath).c_str());
    return g_variant_builder_end(&items);
  }
};

FakeStatusWatcher::FakeStatusWatcher(bool watch) : impl_(std::make_unique<Impl>()) {
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (!address) return;
  impl_->connection = g_dbus_connection_new_for_address_sync(
      address,
      GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                           G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, nullptr);
  g_free(address);
  if (!impl_->connection) return;
  impl_->subscription = g_dbus_connection_signal_subscribe(
      impl_->connection, nullptr, nullptr, nullptr, nullptr, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
      Impl::onSignal, impl_.get(), nullptr);
  if (!watch) return;
  impl_->node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
  static const GDBusInterfaceVTable vtable = {Impl::onCall, Impl::onGet, nullptr, {}};
  impl_->object = g_dbus_connection_register_object(
      impl_->connection, "/StatusNotifierWatcher", impl_->node->interfaces[0], &vtable,
      impl_.get(), nullptr, nullptr);
  impl_->name = g_bus_own_name_on_connection(
      impl_->connection, "org.kde.StatusNotifierWatcher", G_BUS_NAME_OWNER_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, gpointer data) { static_cast<Impl*>(data)->owned = true; },
      nullptr, impl_.get(), nullptr);
}

FakeStatusWatcher::~FakeStatusWatcher() {
  if (impl_->name) g_bus_unown_name(impl_->name);
  if (impl_->subscription) g_dbus_connection_signal_unsubscribe(impl_->connection, impl_->subscription);
  if (impl_->object) g_dbus_connection_unregister_object(impl_->connection, impl_->object);
  if (impl_->node) g_dbus_node_info_unref(impl_->node);
  if (impl_->connection) {
    g_dbus_connection_close_sync(impl_->connection, nullptr, nullptr);
    g_object_unref(impl_->connection);
  }
}

bool FakeStatusWatcher::ready() const { return impl_->owned; }

const std::vector<FakeStatusWatcher::Registration>& FakeStatusWatcher::registrations() const {
  return impl_->registrations;
}

const std::vector<std::string>& FakeStatusWatcher::signals() const { return impl_->signals; }

void FakeStatusWatcher::send(const std::string& destination, const std::string& path,
                             const std::string& interface, const std::string& method,
                             GVariant* parameters) {
  g_dbus_connection_call(impl_->connection, destination.c_str(), path.c_str(), interface.c_str(),
                         method.c_str(), parameters, nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
                         nullptr, nullptr);
}

GVariant* FakeStatusWatcher::call(const std::string& destination, const std::string& path,
                                  const std::string& interface, const std::string& method,
                                  GVariant* parameters, std::string* error, int timeoutMs) {
  struct Pending {
    bool done = false;
    GVariant* reply = nullptr;
    std::string error;
  } pending;
  g_dbus_connection_call(
      impl_->connection, destination.c_str(), path.c_str(), interface.c_str(), method.c_str(),
      parameters, nullptr, G_DBUS_CALL_FLAGS_NONE, timeoutMs, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto* p = static_cast<Pending*>(data);
        GError* e = nullptr;
        p->reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &e);
        if (e) {
          p->error = e->message;
          g_error_free(e);
        }
        p->done = true;
      },
      &pending);
  // The reply always arrives (at worst as a time-out error), and `pending`
  // must outlive the callback.
  while (!pending.done) g_main_context_iteration(nullptr, TRUE);
  if (error) *error = pending.error;
  return pending.reply;
}

GVariant* FakeStatusWatcher::property(const std::string& destination, const std::string& path,
                                      const std::string& interface, const std::string& name) {
  GVariant* reply = call(destination, path, "org.freedesktop.DBus.Properties", "Get",
                         g_variant_new("(ss)", interface.c_str(), name.c_str()));
  if (!reply) return nullptr;
  GVariant* boxed = nullptr;
  g_variant_get(reply, "(v)", &boxed);
  g_variant_unref(reply);
  return boxed;
}

std::vector<MenuLine> FakeStatusWatcher::menuLayout(const std::string& destination,
                                                    const std::string& path) {
  std::vector<MenuLine> out;
  GVariant* reply = call(destination, path, "com.canonical.dbusmenu", "GetLayout",
                         g_variant_new("(ii@as)", 0, -1, g_variant_new_strv(nullptr, 0)));
  if (!reply) return out;
  GVariantIter* items = nullptr;
  g_variant_get(reply, "(u(ia{sv}av))", nullptr, nullptr, nullptr, &items);
  GVariant* child = nullptr;
  while (g_variant_iter_loop(items, "v", &child)) {
    MenuLine line;
    GVariant* props = nullptr;
    g_variant_get(child, "(i@a{sv}av)", &line.id, &props, nullptr);
    const char *type = "", *label = "";
    gboolean enabled = TRUE, visible = TRUE;
    g_variant_lookup(props, "type", "&s", &type);
    g_variant_lookup(props, "label", "&s", &label);
    g_variant_lookup(props, "enabled", "b", &enabled);
    g_variant_lookup(props, "visible", "b", &visible);
    GVariant* icon = g_variant_lookup_value(props, "icon-data", nullptr);
    line.label = label;
    line.enabled = enabled != FALSE;
    line.hasImage = icon != nullptr;
    line.separator = g_strcmp0(type, "separator") == 0;
    if (visible) out.push_back(std::move(line));
    if (icon) g_variant_unref(icon);
    g_variant_unref(props);
  }
  g_variant_iter_free(items);
  g_variant_unref(reply);
  return out;
}

}  // namespace larkspur::test
