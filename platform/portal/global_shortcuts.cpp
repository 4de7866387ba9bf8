#include "platform/portal/global_shortcuts.h"

#include <gio/gio.h>

#include <algorithm>

namespace larkspur {
namespace {

constexpr char kPortalName[] = "org.freedesktop.portal.Desktop";
constexpr char kPortalPath[] = "/org/freedesktop/portal/desktop";
constexpr char kInterface[] = "org.freedesktop.portal.GlobalShortcuts";

GVariant* shortcutList(const std::vector<PortalShortcut>& shortcuts) {
  GVariantBuilder list;
  g_variant_builder_init(&list, G_VARIANT_TYPE("a(sa{sv})"));
  for (const PortalShortcut& s : shortcuts) {
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "description", g_variant_new_string(s.description.c_str()));
    if (!s.trigger.empty())
      g_variant_builder_add(&options, "{sv}", "preferred_trigger", g_variant_new_string(s.trigger.c_str()));
    g_variant_builder_add(&list, "(s@a{sv})", s.id.c_str(), g_variant_builder_end(&options));
  }
  return g_variant_builder_end(&list);
}

}  // namespace

struct GlobalShortcutsPortal::Impl {
  GDBusConnection* bus = nullptr;
  GCancellable* cancel = g_cancellable_new();  // the calls still out when we go
  std::function<void(const std::string&)> onActivated;
  guint watch = 0, activatedSignal = 0, responseSignal = 0;
  bool present = false;
  // A request is out; its answer, when it comes, must belong to this round
  // (the portal may have gone and come back meanwhile).
  bool busy = false;
  unsigned round = 0, token = 0;
  std::string session;
  std::vector<PortalShortcut> wanted, tried;  // tried: bound, or refused

  void sync();
  void forget();
  void request(const char* method, GVariant* args, const std::string& token, bool creating);
  void answered(bool creating, guint32 response, GVariant* results);
  void closeSession();
};

namespace {

struct Pending {
  GlobalShortcutsPortal::Impl* impl;
  unsigned round;
  bool creating;
};

void onResponse(GDBusConnection*, const char*, const char*, const char*, const char*,
                GVariant* parameters, gpointer data) {
  auto* pending = static_cast<Pending*>(data);
  GlobalShortcutsPortal::Impl* impl = pending->impl;
  bool creating = pending->creating;
  if (pending->round != impl->round || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})")))
    return;
  guint32 response = 2;
  GVariant* results = nullptr;
  g_variant_get(parameters, "(u@a{sv})", &response, &results);
  g_dbus_connection_signal_unsubscribe(impl->bus, impl->responseSignal);  // frees pending
  impl->responseSignal = 0;
  impl->answered(creating, response, results);
  g_variant_unref(results);
}

void onCallReturned(GObject* source, GAsyncResult* result, gpointer data) {
  auto* round = static_cast<std::pair<GlobalShortcutsPortal::Impl*, unsigned>*>(data);
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
  if (reply) g_variant_unref(reply);
  // A refused call never gets a Response: the round ends here.
  else if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED) &&
           round->second == round->first->round)
    round->first->answered(false, 2, nullptr);
  if (error) g_error_free(error);
  delete round;
}

void onActivated(GDBusConnection*, const char*, const char*, const char*, const char*,
                 GVariant* parameters, gpointer data) {
  auto* impl = static_cast<GlobalShortcutsPortal::Impl*>(data);
  if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(osta{sv})"))) return;
  const char* session = nullptr;
  const char* id = nullptr;
  g_variant_get(parameters, "(&o&st@a{sv})", &session, &id, nullptr, nullptr);
  if (!impl->session.empty() && impl->session == session && impl->onActivated)
    impl->onActivated(id);
}

void onPortalAppeared(GDBusConnection*, const char*, const char*, gpointer data) {
  auto* impl = static_cast<GlobalShortcutsPortal::Impl*>(data);
  impl->present = true;
  impl->sync();
}

void onPortalVanished(GDBusConnection*, const char*, gpointer data) {
  auto* impl = static_cast<GlobalShortcutsPortal::Impl*>(data);
  impl->present = false;
  impl->forget();
}

}  // namespace

void GlobalShortcutsPortal::Impl::forget() {
  ++round;
  busy = false;
  session.clear();
  tried.clear();
  if (responseSignal) g_dbus_connection_signal_unsubscribe(bus, responseSignal);
  responseSignal = 0;
}

void GlobalShortcutsPortal::Impl::closeSession() {
  if (session.empty()) return;
  g_dbus_connection_call(bus, kPortalName, session.c_str(), "org.freedesktop.portal.Session",
                         "Close", nullptr, nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr,
                         nullptr, nullptr);
  session.clear();
}

// Shortcuts bound once stay bound for the session's life on some portals, so
// a change is a new session.
void GlobalShortcutsPortal::Impl::sync() {
  if (!present || busy || wanted == tried) return;
  tried = wanted;
  closeSession();
  if (wanted.empty()) return;
  std::string t = "larkspur" + std::to_string(++token);
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(t.c_str()));
  g_variant_builder_add(&options, "{sv}", "session_handle_token", g_variant_new_string(t.c_str()));
  // KDE Plasma 5.27 takes the shortcuts from here and ignores BindShortcuts;
  // other portals ignore the key.
  g_variant_builder_add(&options, "{sv}", "shortcuts", shortcutList(wanted));
  request("CreateSession", g_variant_new("(a{sv})", &options), t, true);
}

void GlobalShortcutsPortal::Impl::request(const char* method, GVariant* args,
                                          const std::string& handleToken, bool creating) {
  // The Response may come before the call's reply, so its path is worked out
  // from our unique name and the token and listened on first.
  std::string sender = g_dbus_connection_get_unique_name(bus) + 1;
  std::replace(sender.begin(), sender.end(), '.', '_');
  std::string path = std::string(kPortalPath) + "/request/" + sender + "/" + handleToken;
  busy = true;
  ++round;
  responseSignal = g_dbus_connection_signal_subscribe(
      bus, nullptr, "org.freedesktop.portal.Request", "Response", path.c_str(), nullptr,
      G_DBUS_SIGNAL_FLAGS_NONE, onResponse, new Pending{this, round, creating},
      [](gpointer p) { delete static_cast<Pending*>(p); });
  g_dbus_connection_call(bus, kPortalName, kPortalPath, kInterface, method, args, nullptr,
                         G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, cancel, onCallReturned,
                         new std::pair<Impl*, unsigned>(this, round));
}

void GlobalShortcutsPortal::Impl::answered(bool creating, guint32 response, GVariant* results) {
  busy = false;
  if (responseSignal) g_dbus_connection_signal_unsubscribe(bus, responseSignal);
  responseSignal = 0;
  const char* handle = nullptr;
  // The handle is documented as a string; some versions send an object path.
  if (creating && response == 0 && results &&
      (g_variant_lookup(results, "session_handle", "&s", &handle) ||
       g_variant_lookup(results, "session_handle", "&o", &handle)) &&
      g_variant_is_object_path(handle)) {
    session = handle;
    std::string t = "larkspur" + std::to_string(++token);
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(t.c_str()));
    request("BindShortcuts",
            g_variant_new("(o@a(sa{sv})sa{sv})", handle, shortcutList(tried), "", &options), t,
            false);
    return;
  }
  sync();  // the shortcuts may have changed while we waited
}

GlobalShortcutsPortal::GlobalShortcutsPortal(void* bus,
                                             std::function<void(const std::string&)> onActivated)
    : impl_(std::make_unique<Impl>()) {
  impl_->bus = G_DBUS_CONNECTION(g_object_ref(bus));
  impl_->onActivated = std::move(onActivated);
  impl_->activatedSignal = g_dbus_connection_signal_subscribe(
      impl_->bus, nullptr, kInterface, "Activated", kPortalPath, nullptr,
      G_DBUS_SIGNAL_FLAGS_NONE, larkspur::onActivated, impl_.get(), nullptr);
  impl_->watch = g_bus_watch_name_on_connection(impl_->bus, kPortalName,
                                                G_BUS_NAME_WATCHER_FLAGS_NONE, onPortalAppeared,
                                                onPortalVanished, impl_.get(), nullptr);
}

GlobalShortcutsPortal::~GlobalShortcutsPortal() {
  g_bus_unwatch_name(impl_->watch);
  g_dbus_connection_signal_unsubscribe(impl_->bus, impl_->activatedSignal);
  impl_->closeSession();
  impl_->forget();
  g_cancellable_cancel(impl_->cancel);
  g_object_unref(impl_->cancel);
  g_object_unref(impl_->bus);
}

void GlobalShortcutsPortal::setShortcuts(std::vector<PortalShortcut> shortcuts) {
  impl_->wanted = std::move(shortcuts);
  impl_->sync();
}

}  // namespace larkspur
