#pragma once
// Our own connection to the session bus, whose calls block the calling
// thread and nothing else. Through GDBus every call hands its message to an
// I/O thread and takes the reply back through a fresh main context: three
// thread switches where one would do, and on a desktop that asks the player
// every second, most of the program's idle cost.
//
// Signals are read only when asked for (pump, waitForMessage, or while a
// call waits), strictly in the order they came, so a subscriber can tell
// what happened before and after a reply.
//
// Values travel as GVariants, the form the answers are read in.
#include <glib.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct DBusConnection;

namespace larkspur {

struct VariantUnref {
  void operator()(GVariant* v) const { g_variant_unref(v); }
};
using Variant = std::unique_ptr<GVariant, VariantUnref>;

struct BusReply {
  Variant body;         // null on any failure
  std::string sender;   // the unique name that answered
  bool nameGone = false;  // nobody owned the destination
};

class SessionBus {
 public:
  // Gets the sender's unique name and the signal's body.
  using SignalHandler = std::function<void(const std::string& sender, GVariant* body)>;

  explicit SessionBus(int setupTimeoutMs) : setupTimeoutMs_(setupTimeoutMs) {}
  ~SessionBus();
  SessionBus(const SessionBus&) = delete;
  SessionBus& operator=(const SessionBus&) = delete;

  // Connects when there is no live connection. A connection the bus closed
  // is dropped and made again, so a restarted bus is found.
  bool connect();
  bool connected() const;
  // Changes with every new connection: what was learnt from signals on an
  // older one may have missed some.
  std::uint64_t generation() const { return generation_; }

  // Calls `method` and waits at most timeoutMs. `params` is a tuple or null
  // (a floating reference is taken over). The body is the reply's, checked
  // against `replyType` when one is given, "()" for an empty reply. Never
  // starts a service by bus activation. A `params` without a floating
  // reference is only borrowed.
  BusReply call(const std::string& dest, const char* path, const char* iface,
                const char* method, GVariant* params, const char* replyType, int timeoutMs);

  // Signals matching the bus match `rule` whose body is of `bodyType` go to
  // `handler`, which must not use the bus itself. The rule is set on every
  // connection made from now on.
  void subscribe(std::string rule, std::string iface, std::string member, std::string bodyType,
                 SignalHandler handler);

  // Handles what has arrived, without waiting.
  void pump();
  // Waits at most timeoutMs for something to arrive and handles it; false
  // at the time-out or when the bus is gone.
  bool waitForMessage(int timeoutMs);
  // From now on, what arrives while GLib's default main context waits is
  // handled there, as it comes, on this and every later connection.
  void handleInMainLoop();

 private:
  struct Subscription {
    std::string rule, iface, member, bodyType;
    SignalHandler handler;
  };
  BusReply exchange(const std::string& dest, const char* path, const char* iface,
                    const char* method, GVariant* params, const char* replyType, int timeoutMs);
  bool addMatch(const Subscription& s);
  void disconnect();
  void attachSource();
  void detachSource();
  friend struct SessionBusFilter;
  friend struct SessionBusSource;

  int setupTimeoutMs_;
  DBusConnection* connection_ = nullptr;
  std::uint64_t generation_ = 0;
  std::vector<Subscription> subscriptions_;
  bool inMainLoop_ = false;
  GSource* source_ = nullptr;  // watches the connection's socket
};

}  // namespace larkspur
