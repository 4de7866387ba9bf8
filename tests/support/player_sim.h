#pragma once
// The simulated player client (build/tools/spotify-sim) under a test's
// control: started on the current session bus with a record file of its own,
// its record read back, and stopped at the end.
#include <sys/types.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace larkspur::test {

inline constexpr const char* SimBusName = "org.mpris.MediaPlayer2.spotify";
inline constexpr const char* SimExecutable = LARKSPUR_BINARY_DIR "tools/spotify-sim";

class PlayerSim {
 public:
  explicit PlayerSim(std::vector<std::string> args = {});
  ~PlayerSim();
  PlayerSim(const PlayerSim&) = delete;
  PlayerSim& operator=(const PlayerSim&) = delete;

  // Starts it (and the private bus, if not up yet) and waits until its name is on the bus.
  bool start();
  // Ends it (SIGTERM) and reaps it.
  void stop();

  std::vector<std::string> record() const;

 private:
  TempDir dir_;
  std::vector<std::string> args_;
  pid_t pid_ = -1;
};

std::vector<std::string> readLines(const std::string& path);

// Puts the simulator first on PATH under the client's executable name, with
// the given options in LARKSPUR_SIM_ARGS, the way the program finds and
// starts the real client. Restores both on destruction.
class SimOnPath {
 public:
  explicit SimOnPath(const std::string& simArgs);
  ~SimOnPath();
  SimOnPath(const SimOnPath&) = delete;
  SimOnPath& operator=(const SimOnPath&) = delete;

 private:
  TempDir dir_;
  std::string oldPath_;
};

}  // namespace larkspur::test
