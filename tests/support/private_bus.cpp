#include "private_bus.h"

#include <gio/gio.h>

#include <cstdlib>
#include <thread>

namespace larkspur::test {

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
  gint64 deadline = g_get_monotonic_time() + gint64(timeoutMs) * 1000;
  while (!condition()) {
    if (g_get_monotonic_time() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

PrivateBus::PrivateBus() : bus_(g_test_dbus_new(G_TEST_DBUS_NONE)) {
  if (const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS")) previous_ = old;
  // Bringing the bus up or down clears DISPLAY; the simulated player may
  // show a window.
  if (const char* display = std::getenv("DISPLAY")) display_ = display;
  g_test_dbus_up(bus_);  // also makes it the session bus
  if (display_) setenv("DISPLAY", display_->c_str(), 1);
  if (const char* address = g_test_dbus_get_bus_address(bus_)) address_ = address;
}

PrivateBus::~PrivateBus() {
  g_test_dbus_down(bus_);
  g_object_unref(bus_);
  if (previous_) setenv("DBUS_SESSION_BUS_ADDRESS", previous_->c_str(), 1);
  if (display_) setenv("DISPLAY", display_->c_str(), 1);
}

bool busHasNameWithPrefix(const std::string& prefix) {
  bool found = false;
  GDBusConnection* c = g_dbus_connection_new_for_address_sync(
      std::getenv("DBUS_SESSION_BUS_ADDRESS") ? std::getenv("DBUS_SESSION_BUS_ADDRESS") : "",
      GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                           G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, nullptr);
  if (!c) return false;
  GVariant* reply = g_dbus_connection_call_sync(
      c, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "ListNames",
      nullptr, G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
  if (reply) {
    GVariantIter* iter = nullptr;
    const gchar* name = nullptr;
    g_variant_get(reply, "(as)", &iter);
    while (g_variant_iter_loop(iter, "&s", &name)) found = found || g_str_has_prefix(name, prefix.c_str());
    g_variant_iter_free(iter);
    g_variant_unref(reply);
  }
  g_dbus_connection_close_sync(c, nullptr, nullptr);
  g_object_unref(c);
  return found;
}

}  // namespace larkspur::test
