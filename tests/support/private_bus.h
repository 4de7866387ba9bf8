#pragma once
// A D-Bus session bus of the test's own: started in the constructor, made the
// session bus of this process and its children, ended in the destructor. It
// keeps tests apart from each other and from whatever bus the runner has.
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

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
  pid_t pid_ = -1;
  std::string address_;
  std::optional<std::string> previous_;
};

// Names on the current session bus; empty when it cannot be reached.
std::vector<std::string> busNames();
bool busHasNameWithPrefix(const std::string& prefix);

}  // namespace larkspur::test
