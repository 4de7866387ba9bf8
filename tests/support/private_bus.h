#pragma once
// A D-Bus session bus of the test's own: started in the constructor, made the
// session bus of this process and its children, ended in the destructor. It
// keeps tests apart from each other and from whatever bus the runner has.
#include <functional>
#include <optional>
#include <string>

typedef struct _GTestDBus GTestDBus;

namespace larkspur::test {

// Polls `condition` until it holds or `timeoutMs` have passed.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs);

class PrivateBus {
 public:
  PrivateBus();
  ~PrivateBus();
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  bool ok() const { return !address_.empty(); }
  const std::string& address() const { return address_; }

 private:
  GTestDBus* bus_;
  std::string address_;
  std::optional<std::string> previous_, display_;
};

// Whether a name on the current session bus starts with `prefix`.
bool busHasNameWithPrefix(const std::string& prefix);

}  // namespace larkspur::test
