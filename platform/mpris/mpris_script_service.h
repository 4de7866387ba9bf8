#pragma once
// The player behind the fixed script texts on Linux: the client's MPRIS 2
// interface on the session bus.
#include <memory>

#include "platform/endpoints.h"
#include "platform/ports.h"

namespace larkspur {

class MprisScriptService final : public ScriptService {
 public:
  // Every bus call gives up after callTimeoutMs, so a hung player cannot
  // freeze the program; starting the player waits at most startTimeoutMs for
  // its name to appear. The player's status and item are followed through
  // its change signals and read again at least every stateMaxAgeMs, or every
  // signalledMaxAgeMs once the player has shown that it signals its changes.
  explicit MprisScriptService(const Endpoints& endpoints, int callTimeoutMs = 2000,
                              int startTimeoutMs = 15000, int stateMaxAgeMs = 10000,
                              int signalledMaxAgeMs = 30000);
  ~MprisScriptService() override;
  MprisScriptService(const MprisScriptService&) = delete;
  MprisScriptService& operator=(const MprisScriptService&) = delete;

  // Answers the texts of PlayerScript; any other text has no result.
  std::optional<ScriptResult> execute(TextView script) override;
  long playerProcessId() override;
  // From now on the bus is also read while the main loop waits, so that a
  // change is heard as it comes.
  void watchChanges(std::function<void()> changed) override;
  int trustedForMs() const override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace larkspur
