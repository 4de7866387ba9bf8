#pragma once
// The simulated player client (build/tools/spotify-sim) under a test's
// control: started on the current session bus with a record file of its own,
// its record read back, and stopped at the end.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/gtk_session.h"
#include "support/temp_dir.h"

namespace larkspur::test {

inline constexpr const char* SimBusName = "org.mpris.MediaPlayer2.spotify";
inline constexpr const char* SimExecutable = LARKSPUR_BINARY_DIR "tools/spotify-sim";

inline std::vector<std::string> readLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class PlayerSim {
 public:
  explicit PlayerSim(std::vector<std::string> args = {}) : args_(std::move(args)) {
    args_.insert(args_.begin(), {SimExecutable, "--record", dir_.file("record.txt")});
  }
  ~PlayerSim() { stop(); }
  PlayerSim(const PlayerSim&) = delete;
  PlayerSim& operator=(const PlayerSim&) = delete;

  // Starts it (and the private bus, if not up yet) and waits until its name is on the bus.
  bool start() {
    startPrivateBus();
    std::vector<char*> argv;
    for (auto& a : args_) argv.push_back(a.data());
    argv.push_back(nullptr);
    if ((pid_ = fork()) == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);  // dies with the test
      execv(argv[0], argv.data());
      _exit(127);
    }
    return pid_ > 0 && iterateUntil([] { return busHasName(SimBusName); }, 10000);
  }
  // Ends it (SIGTERM) and reaps it; not on the main loop, as a test's
  // handlers there may be gone by now.
  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int polls = 0;
    while (waitpid(pid_, nullptr, WNOHANG) != pid_ && ++polls < 500) usleep(10000);
    if (polls == 500) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  std::vector<std::string> record() const { return readLines(dir_.file("record.txt")); }

 private:
  TempDir dir_;
  std::vector<std::string> args_;
  pid_t pid_ = -1;
};

// Puts the simulator first on PATH under the client's executable name, with
// the given options in LARKSPUR_SIM_ARGS, the way the program finds and
// starts the real client. Restores both on destruction.
class SimOnPath {
 public:
  explicit SimOnPath(const std::string& simArgs) {
    std::filesystem::create_symlink(SimExecutable, dir_.file("spotify"));
    oldPath_ = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    setenv("PATH", (dir_.path() + ":" + oldPath_).c_str(), 1);
    setenv("LARKSPUR_SIM_ARGS", simArgs.c_str(), 1);
  }
  ~SimOnPath() {
    setenv("PATH", oldPath_.c_str(), 1);
    unsetenv("LARKSPUR_SIM_ARGS");
  }
  SimOnPath(const SimOnPath&) = delete;
  SimOnPath& operator=(const SimOnPath&) = delete;

 private:
  TempDir dir_;
  std::string oldPath_;
};

}  // namespace larkspur::test
