#include "platform/command_service.h"

#include <gio/gio.h>
#include <signal.h>

#include <cstring>
#include <fstream>

namespace larkspur {
namespace {

constexpr char kIntrospection[] =
    "<node><interface name='org.example.larkspur.Commands'>"
    "<method name='Next'/><method name='Previous'/><method name='Repeat'/>"
    "<method name='Shuffle'/><method name='Pause'/><method name='Details'/>"
    "</interface></node>";

constexpr guint32 kDoNotQueue = 4, kPrimaryOwner = 1, kAlreadyOwner = 4;

// A process that has ended but is not reaped yet still answers kill -0.
bool alive(long pid) {
  if (pid <= 0 || kill(static_cast<pid_t>(pid), 0) != 0) return false;
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with("State:")) return line.find('Z') == std::string::npos;
  return true;
}

GVariant* callBus(GDBusConnection* bus, const char* method, GVariant* args) {
  return g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                     "org.freedesktop.DBus", method, args, nullptr,
                                     G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
}

bool requestName(GDBusConnection* bus) {
  GVariant* reply = callBus(bus, "RequestName", g_variant_new("(su)", kCommandBusName, kDoNotQueue));
  guint32 result = 0;
  if (reply) g_variant_get(reply, "(u)", &result);
  if (reply) g_variant_unref(reply);
  return result == kPrimaryOwner || result == kAlreadyOwner;
}

long ownerPid(GDBusConnection* bus) {
  GVariant* reply =
      callBus(bus, "GetConnectionUnixProcessID", g_variant_new("(s)", kCommandBusName));
  guint32 pid = 0;
  if (reply) g_variant_get(reply, "(u)", &pid);
  if (reply) g_variant_unref(reply);
  return pid;
}

}  // namespace

struct CommandService::Impl {
  EventQueue& queue;
  GDBusConnection* bus = nullptr;
  GDBusNodeInfo* node = nullptr;
  guint registration = 0;
};

namespace {

void onMethodCall(GDBusConnection*, const char*, const char*, const char*, const char* method,
                  GVariant*, GDBusMethodInvocation* invocation, gpointer data) {
  auto* impl = static_cast<CommandService::Impl*>(data);
  for (const CommandAction& action : kCommandActions)
    if (std::strcmp(action.method, method) == 0)
      impl->queue.post(action.eventCode, NotGiven, NotGiven, NotGiven, nullptr);
  g_dbus_method_invocation_return_value(invocation, nullptr);
}

constexpr GDBusInterfaceVTable kVTable = {onMethodCall, nullptr, nullptr, {}};

}  // namespace

const CommandAction* findCommandAction(const std::string& name) {
  for (const CommandAction& action : kCommandActions)
    if (name == action.name) return &action;
  return nullptr;
}

const CommandAction* commandActionForEvent(std::int64_t eventCode) {
  for (const CommandAction& action : kCommandActions)
    if (eventCode == action.eventCode) return &action;
  return nullptr;
}

std::unique_ptr<CommandService> CommandService::claim(EventQueue& queue, long* otherPid) {
  *otherPid = 0;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (!bus) return nullptr;
  // A relaunch starts us once the old process has ended, but the bus may not
  // have seen its connection close yet: the name is ours as soon as it does.
  bool owned = requestName(bus);
  for (int tries = 0; !owned && tries < 100; ++tries) {
    *otherPid = ownerPid(bus);
    if (*otherPid > 0 && alive(*otherPid)) break;
    g_usleep(50000);
    owned = requestName(bus);
  }
  if (!owned) {
    g_object_unref(bus);
    return nullptr;
  }
  auto impl = std::unique_ptr<Impl>(new Impl{queue, bus});
  impl->node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
  impl->registration = g_dbus_connection_register_object(
      bus, kCommandObjectPath, impl->node->interfaces[0], &kVTable, impl.get(), nullptr, nullptr);
  return std::unique_ptr<CommandService>(new CommandService(std::move(impl)));
}

CommandService::CommandService(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

CommandService::~CommandService() {
  if (impl_->registration) g_dbus_connection_unregister_object(impl_->bus, impl_->registration);
  g_dbus_node_info_unref(impl_->node);
  g_object_unref(impl_->bus);
}

std::optional<std::string> sendCommand(const CommandAction& action) {
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (!bus) {
    std::string message = std::string("cannot reach the session bus: ") + error->message;
    g_error_free(error);
    return message;
  }
  GVariant* reply = g_dbus_connection_call_sync(
      bus, kCommandBusName, kCommandObjectPath, kCommandInterface, action.method, nullptr,
      nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, 5000, nullptr, &error);
  g_object_unref(bus);
  if (reply) {
    g_variant_unref(reply);
    return std::nullopt;
  }
  gchar* remote = g_dbus_error_get_remote_error(error);
  bool absent = remote && (std::strcmp(remote, "org.freedesktop.DBus.Error.ServiceUnknown") == 0 ||
                           std::strcmp(remote, "org.freedesktop.DBus.Error.NameHasNoOwner") == 0);
  std::string message = absent ? "Larkspur is not running"
                               : std::string("Larkspur did not take the command: ") +
                                     error->message;
  g_free(remote);
  g_error_free(error);
  return message;
}

}  // namespace larkspur
