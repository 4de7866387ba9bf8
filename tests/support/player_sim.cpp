#include "support/player_sim.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <glib.h>

#include "support/gtk_session.h"

namespace larkspur::test {

std::vector<std::string> readLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

PlayerSim::PlayerSim(std::vector<std::string> args) : args_(std::move(args)) {
  args_.insert(args_.begin(), {SimExecutable, "--record", dir_.file("record.txt")});
}

PlayerSim::~PlayerSim() { stop(); }

bool PlayerSim::start() {
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

void PlayerSim::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  // Not on the main loop: a test's handlers there may be gone by now.
  int polls = 0;
  while (waitpid(pid_, nullptr, WNOHANG) != pid_ && ++polls < 500) g_usleep(10000);
  if (polls == 500) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

std::vector<std::string> PlayerSim::record() const { return readLines(dir_.file("record.txt")); }

SimOnPath::SimOnPath(const std::string& simArgs) {
  std::filesystem::create_symlink(SimExecutable, dir_.file("spotify"));
  oldPath_ = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
  setenv("PATH", (dir_.path() + ":" + oldPath_).c_str(), 1);
  setenv("LARKSPUR_SIM_ARGS", simArgs.c_str(), 1);
}

SimOnPath::~SimOnPath() {
  setenv("PATH", oldPath_.c_str(), 1);
  unsetenv("LARKSPUR_SIM_ARGS");
}

}  // namespace larkspur::test
