#include "platform/mpris/session_bus.h"

#include <dbus/dbus.h>
#include <gio/gio.h>

#include <cstring>

#include "platform/mpris/mpris_names.h"

namespace larkspur {
namespace {

using mpris::BusPath;
using mpris::BusService;

struct MessageUnref {
  void operator()(DBusMessage* m) const { dbus_message_unref(m); }
};
using Message = std::unique_ptr<DBusMessage, MessageUnref>;

class Error {
 public:
  Error() { dbus_error_init(&error_); }
  ~Error() { dbus_error_free(&error_); }
  Error(const Error&) = delete;
  Error& operator=(const Error&) = delete;
  DBusError* get() { return &error_; }

 private:
  DBusError error_;
};

// The parameters our calls send: strings, object paths, numbers, booleans
// and variants of them. Anything else fails the call rather than sending a
// message the callee did not ask for.
bool appendValue(DBusMessageIter* it, GVariant* v) {
  switch (g_variant_classify(v)) {
    case G_VARIANT_CLASS_BOOLEAN: {
      dbus_bool_t b = g_variant_get_boolean(v);
      return dbus_message_iter_append_basic(it, DBUS_TYPE_BOOLEAN, &b);
    }
    case G_VARIANT_CLASS_INT64: {
      dbus_int64_t x = g_variant_get_int64(v);
      return dbus_message_iter_append_basic(it, DBUS_TYPE_INT64, &x);
    }
    case G_VARIANT_CLASS_DOUBLE: {
      double d = g_variant_get_double(v);
      return dbus_message_iter_append_basic(it, DBUS_TYPE_DOUBLE, &d);
    }
    case G_VARIANT_CLASS_STRING:
    case G_VARIANT_CLASS_OBJECT_PATH: {
      const char* s = g_variant_get_string(v, nullptr);
      int type = g_variant_is_of_type(v, G_VARIANT_TYPE_STRING) ? DBUS_TYPE_STRING
                                                                 : DBUS_TYPE_OBJECT_PATH;
      return dbus_message_iter_append_basic(it, type, &s);
    }
    case G_VARIANT_CLASS_VARIANT: {
      Variant inner(g_variant_get_variant(v));
      DBusMessageIter sub;
      if (!dbus_message_iter_open_container(it, DBUS_TYPE_VARIANT,
                                            g_variant_get_type_string(inner.get()), &sub))
        return false;
      if (!appendValue(&sub, inner.get())) {
        dbus_message_iter_abandon_container(it, &sub);
        return false;
      }
      return dbus_message_iter_close_container(it, &sub);
    }
    default: return false;
  }
}

// libdbus aborts the process on a malformed name or path rather than
// failing the call, so whatever did not come from our own constants is
// checked first.
Message methodCall(const std::string& dest, const char* path, const char* iface,
                   const char* method, GVariant* params) {
  if (!g_dbus_is_name(dest.c_str()) || !g_variant_is_object_path(path)) return nullptr;
  Message m(dbus_message_new_method_call(dest.c_str(), path, iface, method));
  if (!m) return nullptr;
  dbus_message_set_auto_start(m.get(), FALSE);
  if (!params) return m;
  if (!g_variant_is_of_type(params, G_VARIANT_TYPE_TUPLE)) return nullptr;
  DBusMessageIter it;
  dbus_message_iter_init_append(m.get(), &it);
  for (gsize i = 0; i < g_variant_n_children(params); ++i) {
    Variant child(g_variant_get_child_value(params, i));
    if (!appendValue(&it, child.get())) return nullptr;
  }
  return m;
}

// GLib reads the reply from its wire form, so the answers are GVariants
// checked exactly as GDBus would check them.
Variant bodyOf(DBusMessage* reply, const char* replyType) {
  char* data = nullptr;
  int length = 0;
  if (!dbus_message_marshal(reply, &data, &length)) return nullptr;
  GError* error = nullptr;
  GDBusMessage* message = g_dbus_message_new_from_blob(reinterpret_cast<guchar*>(data),
                                                       static_cast<gsize>(length),
                                                       G_DBUS_CAPABILITY_FLAGS_NONE, &error);
  dbus_free(data);
  g_clear_error(&error);
  if (!message) return nullptr;
  GVariant* body = g_dbus_message_get_body(message);
  Variant out(g_variant_ref_sink(body ? body : g_variant_new_tuple(nullptr, 0)));
  g_object_unref(message);
  if (replyType && !g_variant_is_of_type(out.get(), G_VARIANT_TYPE(replyType))) return nullptr;
  return out;
}

}  // namespace

// Replies to our own calls are taken by their pending calls before filters
// run, so only signals (and late replies nobody waits for) come here.
struct SessionBusFilter {
  static DBusHandlerResult onMessage(DBusConnection*, DBusMessage* m, void* data) {
    auto* self = static_cast<SessionBus*>(data);
    if (dbus_message_get_type(m) != DBUS_MESSAGE_TYPE_SIGNAL) return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    const char* sender = dbus_message_get_sender(m);
    for (const SessionBus::Subscription& s : self->subscriptions_) {
      if (!dbus_message_is_signal(m, s.iface.c_str(), s.member.c_str())) continue;
      // Nothing may unwind through libdbus.
      try {
        if (Variant body = bodyOf(m, s.bodyType.c_str())) s.handler(sender ? sender : "", body.get());
      } catch (...) {
      }
    }
    return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
  }
};

// The socket is watched by the main loop, and so is libdbus's own queue:
// a call that waited for its reply may have read messages behind it that
// the socket no longer shows.
struct SessionBusSource {
  GSource base;
  SessionBus* bus;
  gpointer fd;

  static bool queued(GSource* s) {
    DBusConnection* c = reinterpret_cast<SessionBusSource*>(s)->bus->connection_;
    return c && dbus_connection_get_dispatch_status(c) == DBUS_DISPATCH_DATA_REMAINS;
  }
  static gboolean prepare(GSource* s, gint* timeout) {
    *timeout = -1;
    return queued(s);
  }
  static gboolean check(GSource* s) {
    return g_source_query_unix_fd(s, reinterpret_cast<SessionBusSource*>(s)->fd) != 0 || queued(s);
  }
  // A bus that went away leaves a socket that is always ready: the source
  // goes with it, and the next call's connection brings a new one.
  static gboolean dispatch(GSource* s, GSourceFunc, gpointer) {
    SessionBus* bus = reinterpret_cast<SessionBusSource*>(s)->bus;
    bus->pump();
    if (bus->connected()) return G_SOURCE_CONTINUE;
    g_source_unref(bus->source_);
    bus->source_ = nullptr;
    return G_SOURCE_REMOVE;
  }
};

namespace {
GSourceFuncs sessionBusSourceFuncs = {SessionBusSource::prepare, SessionBusSource::check,
                                      SessionBusSource::dispatch, nullptr, nullptr, nullptr};
}  // namespace

void SessionBus::handleInMainLoop() {
  inMainLoop_ = true;
  attachSource();
}

void SessionBus::attachSource() {
  int fd = -1;
  if (!inMainLoop_ || source_ || !connected() || !dbus_connection_get_unix_fd(connection_, &fd))
    return;
  source_ = g_source_new(&sessionBusSourceFuncs, sizeof(SessionBusSource));
  auto* s = reinterpret_cast<SessionBusSource*>(source_);
  s->bus = this;
  s->fd = g_source_add_unix_fd(source_, fd, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR));
  g_source_attach(source_, nullptr);
}

void SessionBus::detachSource() {
  if (!source_) return;
  g_source_destroy(source_);
  g_source_unref(source_);
  source_ = nullptr;
}

SessionBus::~SessionBus() { disconnect(); }

void SessionBus::disconnect() {
  detachSource();
  if (!connection_) return;
  dbus_connection_close(connection_);
  dbus_connection_unref(connection_);
  connection_ = nullptr;
}

// The address is looked up the way GLib does for the rest of the program,
// so the player is asked on the bus our tray item lives on.
bool SessionBus::connect() {
  if (connection_ && dbus_connection_get_is_connected(connection_)) return true;
  disconnect();
  GError* gerror = nullptr;
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &gerror);
  g_clear_error(&gerror);
  if (!address) return false;
  Error error;
  DBusConnection* c = dbus_connection_open_private(address, error.get());
  g_free(address);
  if (!c) return false;
  dbus_connection_set_exit_on_disconnect(c, FALSE);
  if (!dbus_bus_register(c, error.get()) ||
      !dbus_connection_add_filter(c, SessionBusFilter::onMessage, this, nullptr)) {
    dbus_connection_close(c);
    dbus_connection_unref(c);
    return false;
  }
  connection_ = c;
  ++generation_;
  // A rule that cannot be set costs only its signals; subscribers do not
  // depend on them alone.
  for (const Subscription& s : subscriptions_) addMatch(s);
  attachSource();
  return true;
}

bool SessionBus::connected() const {
  return connection_ && dbus_connection_get_is_connected(connection_);
}

bool SessionBus::addMatch(const Subscription& s) {
  return exchange(BusService, BusPath, BusService, "AddMatch", g_variant_new("(s)", s.rule.c_str()),
                  nullptr, setupTimeoutMs_)
      .body != nullptr;
}

void SessionBus::subscribe(std::string rule, std::string iface, std::string member,
                           std::string bodyType, SignalHandler handler) {
  subscriptions_.push_back(
      {std::move(rule), std::move(iface), std::move(member), std::move(bodyType), std::move(handler)});
  if (connection_ && dbus_connection_get_is_connected(connection_)) addMatch(subscriptions_.back());
}

BusReply SessionBus::call(const std::string& dest, const char* path, const char* iface,
                          const char* method, GVariant* params, const char* replyType,
                          int timeoutMs) {
  Variant held(params ? g_variant_ref_sink(params) : nullptr);
  if (!connect()) return {};
  return exchange(dest, path, iface, method, held.get(), replyType, timeoutMs);
}

// Waits by handling what arrives in order, so signals sent before the reply
// reach their subscribers before the caller sees the reply, and those sent
// after it stay queued for the next pump. libdbus's own blocking call would
// take the reply out of turn.
BusReply SessionBus::exchange(const std::string& dest, const char* path, const char* iface,
                              const char* method, GVariant* params, const char* replyType,
                              int timeoutMs) {
  Variant held(params ? g_variant_ref_sink(params) : nullptr);
  Message request = methodCall(dest, path, iface, method, held.get());
  DBusPendingCall* pending = nullptr;
  if (!request ||
      !dbus_connection_send_with_reply(connection_, request.get(), &pending, DBUS_TIMEOUT_INFINITE) ||
      !pending)
    return {};
  const gint64 deadline = g_get_monotonic_time() + gint64{timeoutMs} * 1000;
  while (!dbus_pending_call_get_completed(pending)) {
    gint64 leftMs = (deadline - g_get_monotonic_time() + 999) / 1000;
    if (leftMs <= 0 || !dbus_connection_read_write_dispatch(connection_, static_cast<int>(leftMs)))
      break;
  }
  BusReply out;
  if (!dbus_pending_call_get_completed(pending)) {
    // A reply that comes later finds nobody waiting and is dropped.
    dbus_pending_call_cancel(pending);
  } else if (Message reply{dbus_pending_call_steal_reply(pending)}) {
    if (dbus_message_get_type(reply.get()) == DBUS_MESSAGE_TYPE_METHOD_RETURN) {
      out.body = bodyOf(reply.get(), replyType);
      if (const char* sender = dbus_message_get_sender(reply.get())) out.sender = sender;
    } else if (const char* name = dbus_message_get_error_name(reply.get())) {
      out.nameGone = std::strcmp(name, DBUS_ERROR_NAME_HAS_NO_OWNER) == 0 ||
                     std::strcmp(name, DBUS_ERROR_SERVICE_UNKNOWN) == 0;
    }
  }
  dbus_pending_call_unref(pending);
  return out;
}

// A read takes what the socket holds, up to a few kilobytes; more rounds
// are taken while they bring whole messages.
void SessionBus::pump() {
  if (!connection_) return;
  for (int round = 0; round < 64; ++round) {
    dbus_connection_read_write(connection_, 0);
    if (dbus_connection_get_dispatch_status(connection_) != DBUS_DISPATCH_DATA_REMAINS) break;
    while (dbus_connection_dispatch(connection_) == DBUS_DISPATCH_DATA_REMAINS) {
    }
  }
}

bool SessionBus::waitForMessage(int timeoutMs) {
  if (!connection_) return false;
  if (!dbus_connection_read_write_dispatch(connection_, timeoutMs)) return false;
  while (dbus_connection_dispatch(connection_) == DBUS_DISPATCH_DATA_REMAINS) {
  }
  return dbus_connection_get_is_connected(connection_);
}

}  // namespace larkspur
