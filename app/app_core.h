#pragma once
// What the subsystems ask of the application core: the network probe, the
// command counter, the status-item teardown and the three ways out.
#include <string>

namespace larkspur {

class AppCore {
 public:
  virtual ~AppCore() = default;
  // Returns unless the user declines to retry, which ends the process.
  virtual void probeNetwork() = 0;
  virtual void countCommand() = 0;
  // The first half of a status-item rebuild: title emptied, menu and status
  // item gone, timer window closed, every image freed.
  virtual void tearDownStatusItem() = 0;
  [[noreturn]] virtual void quit() = 0;
  [[noreturn]] virtual void relaunch() = 0;
  virtual const std::string& resourcesDirectory() const = 0;
};

}  // namespace larkspur
