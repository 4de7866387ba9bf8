#pragma once
#include "platform/ports.h"

namespace larkspur {

// Starts a program detached (double fork: no child, no zombie is left).
// Answers 1 when it was started, 0 when not.
class ProcessLauncher final : public LauncherPort {
 public:
  int open(const Text& program, const Text& parameters, const Text& directory) override;
};

}  // namespace larkspur
