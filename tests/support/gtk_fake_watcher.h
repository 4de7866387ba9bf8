#pragma once
// A stand-in for the tray host's StatusNotifierWatcher: owns the well-known
// name, accepts item registrations and records who registered what, and the
// signals items and menus send. Also a small D-Bus client (a tray host reading
// the item) that waits on the main loop, since the item under test answers
// from this same thread.
#include <string>
#include <vector>

typedef struct _GVariant GVariant;
typedef struct _GDBusConnection GDBusConnection;
typedef struct _GDBusNodeInfo GDBusNodeInfo;

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
  explicit FakeStatusWatcher(bool watch = true);
  ~FakeStatusWatcher();
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
                 std::string* error = nullptr);
  // A call whose reply is not waited for.
  void send(const std::string& destination, const std::string& path,
            const std::string& interface, const std::string& method, GVariant* parameters);
  // A property through org.freedesktop.DBus.Properties.Get, unwrapped.
  GVariant* property(const std::string& destination, const std::string& path,
                     const std::string& interface, const std::string& name);

  // The visible top-level entries of the menu at `path` (GetLayout).
  std::vector<MenuLine> menuLayout(const std::string& destination, const std::string& path);

 private:
  GDBusConnection* connection_ = nullptr;
  GDBusNodeInfo* node_ = nullptr;
  unsigned object_ = 0, name_ = 0, subscription_ = 0;
  bool owned_ = false;
  std::vector<Registration> registrations_;
  std::vector<std::string> signals_;
};

}  // namespace larkspur::test
